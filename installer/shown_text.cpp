// Text from the command line or Install.ini as a message shows it.
#include "installer.h"

#include <stdio.h>
#include <string.h>

// Appends the shown form of c at shown + length; the new length.
static size_t show_byte(char c, char *shown, size_t length)
{
    if (!is_control_byte(c)) {
        shown[length] = c;
        return length + 1;
    }
    snprintf(shown + length, 7, "<0x%02X>", (unsigned)(unsigned char)c);
    return length + 6;
}

void shown_text(const char *text, char shown[PATH_BUFFER_SIZE])
{
    size_t whole = 0;
    for (const char *c = text; *c != '\0'; ++c)
        whole += is_control_byte(*c) ? 6 : 1;
    // Room before the "..." of a text cut short.
    const size_t room = whole < PATH_BUFFER_SIZE ? whole : PATH_BUFFER_SIZE - 4;
    size_t length = 0;
    for (; *text != '\0' && length + (is_control_byte(*text) ? 6 : 1) <= room; ++text)
        length = show_byte(*text, shown, length);
    strcpy(shown + length, *text != '\0' ? "..." : "");
}
