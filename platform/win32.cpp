// The Windows backend: the real kernel calls, with the arguments the
// installer relies on.
#include "platform.h"

#include "fault_seam.h"

#define WIN32_LEAN_AND_MEAN
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <shellapi.h>
#include <tlhelp32.h>

// The error an injected fault reports: the device failed.
static const DWORD WIN32_FAULT_ERROR = ERROR_GEN_FAILURE;

// The steps that the code below tells apart by their pointers.
static const char *const WIN32_READ_FAILED = PLATFORM_STEP_READ_SOURCE;
static const char *const WIN32_WRITE_FAILED = PLATFORM_STEP_WRITE;
static const char *const WIN32_REPLACE_FAILED = PLATFORM_STEP_REPLACE;

// The longest path Windows has, in wide characters.
enum { WIN32_WIDE_PATH_SIZE = 32768 };

// Fills *error; 0, so that a failure is one return.
static int win32_fail(PlatformError *error, const char *step, const char *path, DWORD code)
{
    error->step = step;
    snprintf(error->path, sizeof error->path, "%s", path);
    error->code = code;
    return 0;
}

void platform_reason(const PlatformError *error, char *line, uint32_t size)
{
    char text[256];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                                  error->code, 0, text, sizeof text, NULL);
    // The system's text ends in a line end; the reason line holds none.
    while (length > 0 &&
           (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' '))
        --length;
    text[length] = '\0';
    if (length == 0)
        snprintf(text, sizeof text, "error %lu", (unsigned long)error->code);
    snprintf(line, size, "%s%s%s: %s", error->step, error->path[0] != '\0' ? " " : "", error->path,
             text);
}

uint32_t platform_own_path(char *buffer, uint32_t size, PlatformError *error)
{
    static const char *const step = PLATFORM_STEP_OWN_PATH;
    if (PLATFORM_FAULT(OWN_PATH))
        return win32_fail(error, step, "", WIN32_FAULT_ERROR);
    DWORD length = GetModuleFileNameA(NULL, buffer, size);
    if (length == 0)
        return win32_fail(error, step, "", GetLastError());
    // A path that does not fit comes back as size bytes, not terminated.
    return length >= size ? size : (uint32_t)length;
}

int platform_create_directory(const char *path, PlatformError *error)
{
    static const char *const step = PLATFORM_STEP_CREATE_FOLDER;
    if (PLATFORM_FAULT(MKDIR))
        return win32_fail(error, step, path, WIN32_FAULT_ERROR);
    if (CreateDirectoryA(path, NULL))
        return 1;
    DWORD code = GetLastError();
    DWORD attributes = GetFileAttributesA(path);
    if (code == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 1;
    return win32_fail(error, step, path, code);
}

// Opens path for reading as a copy's source: sharing reads only, so that a
// file someone is writing is not copied half-written. A directory cannot be
// opened so, and is refused with access denied.
static HANDLE win32_open_source(const char *path)
{
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN, NULL);
}

PlatformSourceResult platform_check_source(const char *path, PlatformError *error)
{
    if (PLATFORM_FAULT(EXISTS))
        return PLATFORM_SOURCE_MISSING;
    HANDLE file = win32_open_source(path);
    DWORD code = GetLastError();
    // A device or a pipe is no file to copy.
    if (file != INVALID_HANDLE_VALUE) {
        DWORD type = GetFileType(file);
        CloseHandle(file);
        if (type == FILE_TYPE_DISK)
            return PLATFORM_SOURCE_READABLE;
        code = ERROR_INVALID_FUNCTION;
    }
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
        return PLATFORM_SOURCE_MISSING;
    win32_fail(error, PLATFORM_STEP_OPEN_SOURCE, "", code);
    return PLATFORM_SOURCE_UNUSABLE;
}

// Opens path with no access asked for: this only looks, and so is never
// refused for sharing. A link opens as itself where the system allows it.
static HANDLE win32_open_to_look(const char *path)
{
    return CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, NULL);
}

// 1 when the file open as other is the file of *one: the same volume and
// the same index.
static int win32_same_identity(const BY_HANDLE_FILE_INFORMATION *one, HANDLE other)
{
    BY_HANDLE_FILE_INFORMATION two;
    return other != INVALID_HANDLE_VALUE && GetFileInformationByHandle(other, &two) &&
           one->dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
           one->nFileIndexHigh == two.nFileIndexHigh && one->nFileIndexLow == two.nFileIndexLow;
}

// 1 when destination reaches the file open as source: the same path spelled
// twice, or links.
static int win32_same_file(HANDLE source, const char *destination)
{
    HANDLE other = win32_open_to_look(destination);
    BY_HANDLE_FILE_INFORMATION one;
    int same = GetFileInformationByHandle(source, &one) && win32_same_identity(&one, other);
    if (other != INVALID_HANDLE_VALUE)
        CloseHandle(other);
    return same;
}

// Attributes without the read-only one, as SetFileAttributesA takes them.
static DWORD win32_writable(DWORD attributes)
{
    attributes &= ~(DWORD)FILE_ATTRIBUTE_READONLY;
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

static int win32_write_all(HANDLE file, const char *bytes, DWORD count)
{
    DWORD written = 0;
    if (!WriteFile(file, bytes, count, &written, NULL))
        return 0;
    if (written != count)
        SetLastError(ERROR_DISK_FULL);
    return written == count;
}

// Copies the rest of source into destination: null, or the step that
// failed, with GetLastError().
static const char *win32_copy_contents(HANDLE source, HANDLE destination)
{
    char chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(source, chunk, sizeof chunk, &got, NULL))
            return WIN32_READ_FAILED;
        if (got == 0)
            return NULL;
        if (!win32_write_all(destination, chunk, got))
            return WIN32_WRITE_FAILED;
    }
}

static int win32_flush(HANDLE file)
{
    if (PLATFORM_FAULT(FLUSH)) {
        SetLastError(WIN32_FAULT_ERROR);
        return 0;
    }
    return FlushFileBuffers(file) != 0;
}

// 1 when process id runs the file *image (matched by volume and index);
// name is room for its image's path.
static int win32_runs_image(DWORD id, const BY_HANDLE_FILE_INFORMATION *image, wchar_t *name)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == NULL)
        return 0;
    DWORD size = WIN32_WIDE_PATH_SIZE;
    BOOL named = QueryFullProcessImageNameW(process, 0, name, &size);
    CloseHandle(process);
    if (!named)
        return 0;
    HANDLE file = CreateFileW(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    int same = win32_same_identity(image, file);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return same;
}

// 1 when the file at path is the image of a running process, as a snapshot
// of the processes shows them. A process this one may not look at does not
// count.
static int win32_is_running_image(const char *path)
{
    HANDLE file = win32_open_to_look(path);
    BY_HANDLE_FILE_INFORMATION image;
    int known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &image);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    HANDLE snapshot =
        known ? CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0) : INVALID_HANDLE_VALUE;
    wchar_t *name = (wchar_t *)malloc(WIN32_WIDE_PATH_SIZE * sizeof(wchar_t));
    PROCESSENTRY32W process;
    process.dwSize = sizeof process;
    int running = 0;
    for (BOOL more = snapshot != INVALID_HANDLE_VALUE && name != NULL &&
                     Process32FirstW(snapshot, &process);
         more && !running; more = Process32NextW(snapshot, &process))
        running = win32_runs_image(process.th32ProcessID, &image, name);
    free(name);
    if (snapshot != INVALID_HANDLE_VALUE)
        CloseHandle(snapshot);
    return running;
}

// 1 when the system refused to replace destination (code) because it is in
// use: a sharing violation; or access denied for a file held open without
// delete sharing (opening it for deletion tells) or for the image of a
// running program. Any other refusal, a file the caller may not replace
// above all, is no use but a failure.
static int win32_in_use(const char *destination, DWORD code)
{
    if (code == ERROR_SHARING_VIOLATION)
        return 1;
    if (code != ERROR_ACCESS_DENIED)
        return 0;
    HANDLE file =
        CreateFileA(destination, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    NULL, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(file);
    return win32_is_running_image(destination);
}

// 1 for attributes of a link to a folder (a symbolic link or a junction).
static int win32_is_folder_link(DWORD attributes)
{
    const DWORD link = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & link) == link;
}

// Removes the link to a folder at path as a name, never the folder it
// points to: the link is opened as itself, and goes only once that handle
// shows a reparse point. (Wine follows every link to a folder, even when
// asked not to: there the handle shows the folder, which stays.) 1 when
// the link is gone.
static int win32_remove_folder_link(const char *path)
{
    HANDLE link =
        CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (link == INVALID_HANDLE_VALUE)
        return 0;
    FILE_ATTRIBUTE_TAG_INFO tag;
    FILE_DISPOSITION_INFO gone = {TRUE};
    int removed = GetFileInformationByHandleEx(link, FileAttributeTagInfo, &tag, sizeof tag) &&
                  (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                  SetFileInformationByHandle(link, FileDispositionInfo, &gone, sizeof gone);
    CloseHandle(link);
    return removed;
}

// Creates the scratch file anew, for writing. Whatever stands at its name
// goes as a name first: a link to a folder is removed as a link; a file
// (left by a killed run, read-only maybe, or a link to a file) has an empty
// file of this run's renamed over it, which never follows a link (deleting
// a link under Wine removes the file it points to), and is then deleted.
// A real folder stays, and the creation fails.
static HANDLE win32_create_scratch(const char *scratch)
{
    const DWORD flags = FILE_ATTRIBUTE_NORMAL;
    HANDLE file = CreateFileA(scratch, GENERIC_WRITE, 0, NULL, CREATE_NEW, flags, NULL);
    DWORD code = GetLastError();
    if (file != INVALID_HANDLE_VALUE)
        return file;
    // Windows refuses to create a file over a folder, or a link to one,
    // with access denied.
    DWORD attributes = GetFileAttributesA(scratch);
    if (win32_is_folder_link(attributes) && win32_remove_folder_link(scratch))
        return CreateFileA(scratch, GENERIC_WRITE, 0, NULL, CREATE_NEW, flags, NULL);
    if ((code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetLastError(code);
        return INVALID_HANDLE_VALUE;
    }
    char folder[PATH_BUFFER_SIZE];
    snprintf(folder, sizeof folder, "%s", scratch);
    char *separator = strrchr(folder, '\\');
    if (separator != NULL)
        *separator = '\0';
    char empty[MAX_PATH];
    if (GetTempFileNameA(separator != NULL ? folder : ".", "qvl", 0, empty) == 0) {
        SetLastError(code);
        return INVALID_HANDLE_VALUE;
    }
    // Windows renames over a read-only file only once the attribute is gone.
    if (!MoveFileExA(empty, scratch, MOVEFILE_REPLACE_EXISTING) &&
        !(SetFileAttributesA(scratch, FILE_ATTRIBUTE_NORMAL) &&
          MoveFileExA(empty, scratch, MOVEFILE_REPLACE_EXISTING))) {
        DeleteFileA(empty);
        SetLastError(code);
        return INVALID_HANDLE_VALUE;
    }
    DeleteFileA(scratch);
    return CreateFileA(scratch, GENERIC_WRITE, 0, NULL, CREATE_NEW, flags, NULL);
}

// Puts new content in place of destination through its scratch file
// (platform.h): created anew, filled from source, or from bytes when source
// is INVALID_HANDLE_VALUE, forced to the disk, and renamed over
// destination. The scratch file goes on every failure.
static PlatformCopyResult win32_replace(const char *destination, HANDLE source, const char *bytes,
                                        DWORD count, PlatformError *error)
{
    // A link is replaced as a name, whatever it points to; a directory stays.
    DWORD attributes = GetFileAttributesA(destination);
    int replaced_file =
        attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (replaced_file && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        win32_fail(error, WIN32_REPLACE_FAILED, "", ERROR_ACCESS_DENIED);
        return PLATFORM_COPY_FAILED;
    }
    // The very same file (a link, or bin a link to the versioned bin): the
    // copy is made.
    if (replaced_file && source != INVALID_HANDLE_VALUE && win32_same_file(source, destination))
        return PLATFORM_COPY_DONE;
    size_t length = strlen(destination);
    char last = length > 0 ? destination[length - 1] : '\\';
    char scratch[PATH_BUFFER_SIZE];
    if (length >= sizeof scratch || last == '\\' || last == '/' || last == ':' || last == '~') {
        win32_fail(error, PLATFORM_STEP_NO_SCRATCH, "", ERROR_INVALID_NAME);
        return PLATFORM_COPY_FAILED;
    }
    memcpy(scratch, destination, length + 1);
    scratch[length - 1] = '~';

    HANDLE file = win32_create_scratch(scratch);
    if (file == INVALID_HANDLE_VALUE) {
        win32_fail(error, PLATFORM_STEP_CREATE, scratch, GetLastError());
        return PLATFORM_COPY_FAILED;
    }
    const char *step = NULL;
    if (source != INVALID_HANDLE_VALUE)
        step = win32_copy_contents(source, file);
    else if (!win32_write_all(file, bytes, count))
        step = WIN32_WRITE_FAILED;
    if (step == NULL && !win32_flush(file))
        step = PLATFORM_STEP_FLUSH;
    DWORD code = GetLastError();
    CloseHandle(file);
    PlatformCopyResult result = PLATFORM_COPY_FAILED;
    if (step == NULL) {
        // Windows refuses to rename over a read-only file: the attribute
        // goes just before the rename and comes back if the rename fails.
        int read_only = replaced_file && (attributes & FILE_ATTRIBUTE_READONLY);
        if (read_only)
            SetFileAttributesA(destination, win32_writable(attributes));
        // No file can be renamed over a link to a folder: the link goes
        // first (a folder that is no link stays, and the rename fails).
        if (win32_is_folder_link(attributes))
            win32_remove_folder_link(destination);
        if (MoveFileExA(scratch, destination, MOVEFILE_REPLACE_EXISTING))
            return PLATFORM_COPY_DONE;
        code = GetLastError();
        step = WIN32_REPLACE_FAILED;
        result = win32_in_use(destination, code) ? PLATFORM_COPY_IN_USE : PLATFORM_COPY_FAILED;
        if (read_only)
            SetFileAttributesA(destination, attributes);
    }
    DeleteFileA(scratch);
    int scratch_at_fault = step != WIN32_READ_FAILED && step != WIN32_REPLACE_FAILED;
    win32_fail(error, step, scratch_at_fault ? scratch : "", code);
    return result;
}

PlatformCopyResult platform_copy_file(const char *source, const char *destination,
                                      PlatformError *error)
{
    int faulted = PLATFORM_FAULT(COPY);
    HANDLE from = faulted ? INVALID_HANDLE_VALUE : win32_open_source(source);
    if (from == INVALID_HANDLE_VALUE) {
        win32_fail(error, PLATFORM_STEP_OPEN_SOURCE, "",
                   faulted ? WIN32_FAULT_ERROR : GetLastError());
        return PLATFORM_COPY_FAILED;
    }
    PlatformCopyResult result = win32_replace(destination, from, NULL, 0, error);
    CloseHandle(from);
    return result;
}

int platform_write_file(const char *destination, const char *bytes, uint32_t count,
                        PlatformError *error)
{
    if (PLATFORM_FAULT(CREATE))
        return win32_fail(error, PLATFORM_STEP_CREATE, destination, WIN32_FAULT_ERROR);
    return win32_replace(destination, INVALID_HANDLE_VALUE, bytes, count, error) ==
           PLATFORM_COPY_DONE;
}

// Reads the rest of file into a new heap block (*bytes, *count bytes); 0
// with GetLastError() on failure, and no block. The block has room for the
// whole file and one byte more, which tells its end without growing; a
// file that grows meanwhile grows it, up to what a DWORD counts.
static int win32_read_whole(HANDLE file, char **bytes, size_t *count)
{
    LARGE_INTEGER length = {};
    DWORD size = GetFileSizeEx(file, &length) && length.QuadPart < 0x7FFFFFFF
                     ? (DWORD)length.QuadPart + 1
                     : 4096;
    DWORD filled = 0;
    char *block = (char *)malloc(size);
    for (;;) {
        DWORD got = 0;
        if (block == NULL || size == 0) {
            free(block);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        if (!ReadFile(file, block + filled, size - filled, &got, NULL)) {
            DWORD code = GetLastError();
            free(block);
            SetLastError(code);
            return 0;
        }
        if (got == 0) {
            *bytes = block;
            *count = filled;
            return 1;
        }
        filled += got;
        if (filled == size) {
            size *= 2;
            char *larger = (char *)realloc(block, size);
            if (larger == NULL)
                free(block);
            block = larger;
        }
    }
}

PlatformReadResult platform_lock_and_read(const char *path, PlatformFileLock *lock, char **bytes,
                                          size_t *count, PlatformError *error)
{
    lock->handle = (intptr_t)INVALID_HANDLE_VALUE;
    // Opened for reading and sharing reads and writes, so that editors
    // still save the file while it is held; a directory cannot be opened so.
    int faulted = PLATFORM_FAULT(OPEN);
    HANDLE file = faulted ? INVALID_HANDLE_VALUE
                          : CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        win32_fail(error, PLATFORM_STEP_OPEN_FILE, "",
                   faulted ? WIN32_FAULT_ERROR : GetLastError());
        return PLATFORM_READ_FAILED;
    }
    // The locked byte lies far beyond the end of any real file, so no read
    // or write ever meets it. A file system without locks lets the run go on
    // without one.
    OVERLAPPED far_away = {};
    far_away.OffsetHigh = 0x7FFFFFFF;
    if (!PLATFORM_FAULT(LOCK) &&
        !LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                    &far_away) &&
        GetLastError() == ERROR_LOCK_VIOLATION) {
        CloseHandle(file);
        return PLATFORM_READ_LOCKED;
    }
    faulted = PLATFORM_FAULT(READ);
    if (faulted || !win32_read_whole(file, bytes, count)) {
        win32_fail(error, PLATFORM_STEP_READ_FILE, "",
                   faulted ? WIN32_FAULT_ERROR : GetLastError());
        CloseHandle(file);
        return PLATFORM_READ_FAILED;
    }
    lock->handle = (intptr_t)file;
    return PLATFORM_READ_DONE;
}

void platform_unlock_file(PlatformFileLock *lock)
{
    if ((HANDLE)lock->handle != INVALID_HANDLE_VALUE)
        CloseHandle((HANDLE)lock->handle);
    lock->handle = (intptr_t)INVALID_HANDLE_VALUE;
}

int platform_stricmp(const char *a, const char *b)
{
    return _stricmp(a, b);
}

// ---- Roots given by the user ----------------------------------------------

int platform_is_relative(const char *path)
{
    int drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    int unc = path[0] == '\\' && path[1] == '\\';
    return !drive && !unc;
}

// The ANSI form of wide into a new heap block (free() it), with best fit
// when best_fit is set, as the system gives it to ANSI programs; without,
// *exact tells whether every character has a form of its own. Null when
// the conversion fails.
static char *win32_to_ansi(const wchar_t *wide, int best_fit, int *exact)
{
    // A code page of UTF-8 represents everything, and then refuses the
    // flag and the question.
    int utf8 = GetACP() == CP_UTF8;
    DWORD flags = best_fit || utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL used_default = FALSE;
    BOOL *asked = best_fit || utf8 ? NULL : &used_default;
    int size = WideCharToMultiByte(CP_ACP, flags, wide, -1, NULL, 0, NULL, NULL);
    char *ansi = size > 0 ? (char *)malloc((size_t)size) : NULL;
    if (ansi == NULL)
        return NULL;
    if (WideCharToMultiByte(CP_ACP, flags, wide, -1, ansi, size, NULL, asked) == 0) {
        free(ansi);
        return NULL;
    }
    if (exact != NULL)
        *exact = !used_default;
    return ansi;
}

// 1 when wide has an exact ANSI form; 0 when it has none, or when that
// cannot be told.
static int win32_is_exact(const wchar_t *wide)
{
    int exact = 0;
    char *ansi = win32_to_ansi(wide, 0, &exact);
    free(ansi);
    return ansi != NULL && exact;
}

// The ANSI form of wide into buffer (size bytes): PLATFORM_PATH_OK when
// every character has an exact one; PLATFORM_PATH_NOT_ANSI when not, the
// buffer then holding the look-alike the code page gives, for a message
// only; PLATFORM_PATH_TOO_LONG when the form does not fit.
static PlatformPathResult win32_ansi_form(const wchar_t *wide, char *buffer, uint32_t size)
{
    int exact = 0;
    char *ansi = win32_to_ansi(wide, 0, &exact);
    char *shown = ansi != NULL && exact ? ansi : win32_to_ansi(wide, 1, NULL);
    PlatformPathResult result = shown == NULL           ? PLATFORM_PATH_FAILED
                                : strlen(shown) >= size ? PLATFORM_PATH_TOO_LONG
                                : shown == ansi         ? PLATFORM_PATH_OK
                                                        : PLATFORM_PATH_NOT_ANSI;
    if (result == PLATFORM_PATH_OK || result == PLATFORM_PATH_NOT_ANSI)
        strcpy(buffer, shown);
    if (shown != ansi)
        free(shown);
    free(ansi);
    return result;
}

// The wide form of an ANSI string, in a new heap block, or null.
static wchar_t *win32_to_wide(const char *ansi)
{
    int count = MultiByteToWideChar(CP_ACP, 0, ansi, -1, NULL, 0);
    wchar_t *wide = count > 0 ? (wchar_t *)malloc((size_t)count * sizeof(wchar_t)) : NULL;
    if (wide != NULL && MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, count) == 0) {
        free(wide);
        return NULL;
    }
    return wide;
}

PlatformPathResult platform_full_path(const char *path, char *buffer, uint32_t size,
                                      PlatformError *error)
{
    static const char *const step = PLATFORM_STEP_CURRENT_FOLDER;
    if (PLATFORM_FAULT(FULL_PATH)) {
        win32_fail(error, step, "", WIN32_FAULT_ERROR);
        return PLATFORM_PATH_FAILED;
    }
    // Resolved in wide characters: the current directory may hold names
    // the ANSI code page lacks, and an ANSI call would fill in look-alikes.
    wchar_t *wide = win32_to_wide(path);
    DWORD needed = wide != NULL ? GetFullPathNameW(wide, 0, NULL, NULL) : 0;
    wchar_t *full = needed > 0 ? (wchar_t *)malloc(needed * sizeof(wchar_t)) : NULL;
    DWORD length = full != NULL ? GetFullPathNameW(wide, needed, full, NULL) : 0;
    DWORD code = GetLastError();
    free(wide);
    if (length == 0 || length >= needed) {
        free(full);
        win32_fail(error, step, "", code);
        return PLATFORM_PATH_FAILED;
    }
    PlatformPathResult result = win32_ansi_form(full, buffer, size);
    if (result == PLATFORM_PATH_FAILED)
        win32_fail(error, step, "", GetLastError());
    free(full);
    return result;
}

// 1 when the best-fit form of wide, the form the C runtime was given, is
// argument.
static int win32_gave_argument(const wchar_t *wide, const char *argument)
{
    char *ansi = win32_to_ansi(wide, 1, NULL);
    int same = ansi != NULL && strcmp(ansi, argument) == 0;
    free(ansi);
    return same;
}

// The wide argument that the C runtime turned into argument: the one at
// index when the two parsers of the command line agree, else the first
// one whose best-fit form is argument. Null when none is.
static const wchar_t *win32_find_argument(wchar_t **arguments, int count, int index,
                                          const char *argument)
{
    if (index < count && win32_gave_argument(arguments[index], argument))
        return arguments[index];
    for (int i = 1; i < count; ++i) {
        if (win32_gave_argument(arguments[i], argument))
            return arguments[i];
    }
    return NULL;
}

int platform_argument_is_exact(int index, const char *argument)
{
    const wchar_t *command_line = GetCommandLineW();
    // A command line without a single look-alike holds none in any
    // argument: the common case needs no parsing.
    if (win32_is_exact(command_line))
        return 1;
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(command_line, &count);
    if (arguments == NULL)
        return 0;
    const wchar_t *wide = win32_find_argument(arguments, count, index, argument);
    // An argument that cannot be found is not known to be exact.
    int exact = wide != NULL && win32_is_exact(wide);
    LocalFree(arguments);
    return exact;
}

int platform_own_path_is_exact(void)
{
    wchar_t *wide = (wchar_t *)malloc(WIN32_WIDE_PATH_SIZE * sizeof(wchar_t));
    DWORD length = wide != NULL ? GetModuleFileNameW(NULL, wide, WIN32_WIDE_PATH_SIZE) : 0;
    // Without a wide path the ANSI one failed as well, and says so.
    int exact = length == 0 || length >= WIN32_WIDE_PATH_SIZE || win32_is_exact(wide);
    free(wide);
    return exact;
}

PlatformPathResult platform_from_utf8(const char *utf8, char *buffer, uint32_t size)
{
    int count = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, NULL, 0);
    wchar_t *wide = count > 0 ? (wchar_t *)malloc((size_t)count * sizeof(wchar_t)) : NULL;
    if (wide == NULL || MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, count) == 0) {
        free(wide);
        return PLATFORM_PATH_FAILED;
    }
    // Invalid UTF-8 arrives as U+FFFD, which no ANSI code page holds.
    PlatformPathResult result = win32_ansi_form(wide, buffer, size);
    free(wide);
    return result;
}

int platform_console_process_count(void)
{
    DWORD processes[2];
    return (int)GetConsoleProcessList(processes, 2);
}

// 1 when the standard handle is a console: only a console has a mode.
static int win32_is_console(DWORD handle)
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(handle), &mode) != 0;
}

int platform_console_streams(void)
{
    return (win32_is_console(STD_INPUT_HANDLE) ? PLATFORM_CONSOLE_INPUT : 0) |
           (win32_is_console(STD_OUTPUT_HANDLE) ? PLATFORM_CONSOLE_OUTPUT : 0) |
           (win32_is_console(STD_ERROR_HANDLE) ? PLATFORM_CONSOLE_ERROR : 0);
}
