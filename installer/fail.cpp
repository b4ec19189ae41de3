// The one exit of every failure.
#include "installer.h"

#include <stdarg.h>
#include <stdlib.h>

void installer_fail(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    vfprintf(stderr, format, arguments);
    va_end(arguments);
    exit(1);
}
