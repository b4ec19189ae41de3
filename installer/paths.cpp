// Composing paths into fixed buffers without ever truncating one.
#include "installer.h"

#include <stdarg.h>
#include <string.h>

int compose_path(char path[PATH_BUFFER_SIZE], const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(path, PATH_BUFFER_SIZE, format, arguments);
    va_end(arguments);
    // vsnprintf fails only on wide-character conversions, which no path
    // format holds; a path that does not fit is the case that happens.
    if (length < 0 || length >= PATH_BUFFER_SIZE) {  // GCOVR_EXCL_BR_LINE
        path[0] = '\0';
        return 0;
    }
    return 1;
}

int directory_has_room(const char *directory, size_t longest_name)
{
    return strlen(directory) + 1 + longest_name < PATH_BUFFER_SIZE;
}
