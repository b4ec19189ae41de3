// The one exit of every failure, and the reason line under a message.
#include "installer.h"
#include "messages.h"

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

// The message, then the reason line under it.
__attribute__((format(printf, 2, 0))) static void report(const PlatformError *error,
                                                         const char *format, va_list arguments)
{
    vfprintf(stderr, format, arguments);
    char line[2 * PATH_BUFFER_SIZE];
    platform_reason(error, line, sizeof line);
    fprintf(stderr, MSG_REASON, line);
}

void installer_report(const PlatformError *error, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    report(error, format, arguments);
    va_end(arguments);
}

void installer_fail_because(const PlatformError *error, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    report(error, format, arguments);
    va_end(arguments);
    exit(1);
}

void installer_fail_copy(const char *source, const char *destination, const PlatformError *error)
{
    installer_report(error, MSG_COPY_FAILED, source, destination);
    installer_fail(MSG_BAILING_OUT);
}
