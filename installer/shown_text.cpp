// Text from the command line or Install.ini as a message shows it.
#include "installer.h"

#include <stdio.h>
#include <string.h>

// The bytes of the character at c that a message shows as one code (a
// control byte: 1; a C1 control character in UTF-8 text: 2), or 0 when it
// shows it as it is.
static int coded_length(const char *c, int utf8)
{
    return is_control_byte(*c) ? 1 : utf8 ? utf8_control_length(c) : 0;
}

void shown_text(const char *text, int utf8, char shown[PATH_BUFFER_SIZE])
{
    size_t whole = 0;
    for (const char *c = text; *c != '\0';) {
        int coded = coded_length(c, utf8);
        whole += coded != 0 ? 6 : 1;
        c += coded != 0 ? coded : 1;
    }
    // Room before the "..." of a text cut short.
    const size_t room = whole < PATH_BUFFER_SIZE ? whole : PATH_BUFFER_SIZE - 4;
    size_t length = 0;
    while (*text != '\0') {
        int coded = coded_length(text, utf8);
        if (length + (coded != 0 ? 6 : 1) > room)
            break;
        if (coded == 0) {
            shown[length++] = *text++;
            continue;
        }
        // The code of the character: its last byte, in UTF-8 as alone.
        snprintf(shown + length, 7, "<0x%02X>", (unsigned)(unsigned char)text[coded - 1]);
        length += 6;
        text += coded;
    }
    strcpy(shown + length, *text != '\0' ? "..." : "");
}
