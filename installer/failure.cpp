// A step's failure, made into the value installer_run prints.
#include "installer.h"

#include <stdarg.h>
#include <string.h>

int fail(Failure *failure, const PlatformError *reason, const char *then, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(failure->message, sizeof failure->message, format, arguments);
    va_end(arguments);
    // Only a root of many thousands of bytes makes a message this long.
    static const char cut[] = "...\n";
    if (length >= (int)sizeof failure->message)
        strcpy(failure->message + sizeof failure->message - sizeof cut, cut);
    failure->has_reason = reason != NULL;
    if (reason != NULL)
        failure->reason = *reason;
    failure->then = then;
    return 0;
}
