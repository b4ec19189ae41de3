// Install.ini: the two versions that name the directories of the release.
#include "inifile.h"
#include "installer.h"
#include "messages.h"

#include <stdlib.h>
#include <string.h>

// The UTF-8 byte-order mark: a file that begins with it is UTF-8 text.
static const char UTF8_MARK[] = "\xEF\xBB\xBF";

int version_is_folder_name(const char *version, int utf8)
{
    if (version[0] == '\0' || strcmp(version, ".") == 0 || strcmp(version, "..") == 0 ||
        strpbrk(version, "\\/:") != NULL)
        return 0;
    for (; *version != '\0'; ++version) {
        if (is_control_byte(*version) || (utf8 && utf8_control_length(version) != 0))
            return 0;
    }
    return 1;
}

// The number of bytes of the UTF-8 sequence at text, or 0 when none starts
// there: the shortest form of a character up to U+10FFFF that is no
// surrogate.
static int utf8_sequence_length(const unsigned char *text)
{
    int length = text[0] >= 0xF0 ? 4 : text[0] >= 0xE0 ? 3 : text[0] >= 0xC2 ? 2 : 0;
    if (length == 0 || text[0] > 0xF4)
        return 0;
    // The second byte's range rules out overlong forms and surrogates.
    unsigned char low = text[0] == 0xE0 ? 0xA0 : text[0] == 0xF0 ? 0x90 : 0x80;
    unsigned char high = text[0] == 0xED ? 0x9F : text[0] == 0xF4 ? 0x8F : 0xBF;
    if (text[1] < low || text[1] > high)
        return 0;
    for (int i = 2; i < length; ++i) {
        if (text[i] < 0x80 || text[i] > 0xBF)
            return 0;
    }
    return length;
}

int is_utf8_beyond_ascii(const char *text)
{
    int beyond = 0;
    for (const unsigned char *c = (const unsigned char *)text; *c != '\0';) {
        int length = *c < 0x80 ? 1 : utf8_sequence_length(c);
        if (length == 0)
            return 0;
        beyond = beyond || length > 1;
        c += length;
    }
    return beyond;
}

// Keeps the value of key in the system's form in version: it must name one
// folder inside the tree, as anything else could lead the copies, and
// qvl.ini, out of it. A value is UTF-8 text in a file with the mark, or
// when every byte above 0x7F it holds forms UTF-8 sequences, as editors
// that save UTF-8 without the mark write it; otherwise its bytes are taken
// as they are.
static int keep_version(const IniSection *install, VersionKey key, int marked, InstallPlan *plan,
                        Failure *failure)
{
    const char *path = plan->release_file;
    const char *name = VERSION_KEYS[key];
    const char *value = section_get_value(install, name);
    if (value == NULL)
        return fail(failure, NULL, NULL, MSG_NO_KEY, name, path);
    int utf8 = marked || is_utf8_beyond_ascii(value);
    char *version = plan->versions[key];
    char shown[PATH_BUFFER_SIZE];
    // Checked in the file's own text: the system's form of a C1 control
    // character may be a plain byte of the code page, and a byte of a
    // double-byte code page's character may be a backslash.
    if (!version_is_folder_name(value, utf8)) {
        shown_text(value, utf8, shown);
        return fail(failure, NULL, NULL, MSG_NOT_A_FOLDER_NAME, name, path, shown);
    }
    PlatformPathResult converted = utf8 ? platform_from_utf8(value, version, PATH_BUFFER_SIZE)
                                   : compose_path(version, "%s", value) ? PLATFORM_PATH_OK
                                                                        : PLATFORM_PATH_TOO_LONG;
    if (converted == PLATFORM_PATH_TOO_LONG)
        return fail(failure, NULL, NULL, MSG_VALUE_TOO_LONG, name, path, PATH_BUFFER_SIZE - 1);
    if (converted != PLATFORM_PATH_OK) {
        shown_text(converted == PLATFORM_PATH_NOT_ANSI ? version : value, 0, shown);
        return fail(failure, NULL, NULL, MSG_VERSION_NOT_ANSI, name, path, shown);
    }
    return 1;
}

// Reads the document from the file's bytes and keeps its versions; the
// document dies here.
static int keep_versions(const char *bytes, size_t count, InstallPlan *plan, Failure *failure)
{
    IniError error;
    IniFile *ini = ini_load_from_memory(bytes, count, &error);
    if (ini == NULL)
        return fail(failure, NULL, NULL, MSG_CANNOT_OPEN_INIT MSG_REASON, plan->release_file,
                    error.message);
    const IniSection *install = ini_get_section(ini, "Install");
    int marked =
        count >= sizeof UTF8_MARK - 1 && memcmp(bytes, UTF8_MARK, sizeof UTF8_MARK - 1) == 0;
    int kept =
        install != NULL ? 1 : fail(failure, NULL, NULL, MSG_NO_INSTALL_SECTION, plan->release_file);
    for (size_t key = 0; kept && key < KEY_COUNT; ++key)
        kept = keep_version(install, (VersionKey)key, marked, plan, failure);
    ini_destroy(ini);
    return kept;
}

int read_release_description(InstallPlan *plan, PlatformFileLock *lock, Failure *failure)
{
    // One installation of a tree at a time: the run locks its release
    // description and holds the lock to its end, and a second run is
    // refused before it asks or changes anything. The lock and the read
    // share one opening of the file.
    char *bytes = NULL;
    size_t count = 0;
    PlatformError error;
    switch (platform_lock_and_read(plan->release_file, lock, &bytes, &count, &error)) {
    case PLATFORM_READ_LOCKED:
        return fail(failure, NULL, NULL, MSG_ANOTHER_INSTALLATION, plan->root);
    case PLATFORM_READ_FAILED:
        return fail(failure, &error, NULL, MSG_CANNOT_OPEN_INIT, plan->release_file);
    case PLATFORM_READ_DONE:
        break;
    }
    int kept = keep_versions(bytes, count, plan, failure);
    free(bytes);
    return kept;
}
