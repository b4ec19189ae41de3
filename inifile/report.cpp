// Filling an IniError: the one place that words what a load or a save
// reports, so that every failure of either is one line cut to fit.
#include "file.h"
#include "internal.h"

#include <stdarg.h>
#include <stdio.h>

void inifile_internal_report(IniError *error, IniErrorKind kind, int64_t line, int32_t system_error,
                             const char *format, ...)
{
    if (error == NULL)
        return;
    error->kind = kind;
    // Past 2^31 line feeds (a text of 2 GiB and more) the number no longer
    // fits: the last one that does stands for it.
    error->line = line > INT32_MAX ? INT32_MAX : (int32_t)line;
    error->system_error = system_error;
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(error->message, sizeof error->message, format, arguments);
    va_end(arguments);
}

void inifile_internal_report_system(IniError *error, IniErrorKind kind, int32_t system_error,
                                    const char *what)
{
    if (error == NULL)
        return;
    char text[sizeof error->message];
    inifile_internal_error_text(system_error, text, sizeof text);
    inifile_internal_report(error, kind, 0, system_error, "%s: %s", what, text);
}
