// Loads arbitrary bytes as a configuration file and checks what the load
// reports, and that the same bytes loaded from memory give the same; when
// the load succeeds, saves the document to memory and loads that text
// again. A document the writer can reproduce (see document_round_trips)
// must come back identical; anything else only has to be handled without a
// crash or a leak. The same bytes are then loaded in the dialect their
// first two bytes choose (every switch on or off), from the file and from
// memory alike, and what a save of it writes must load back the same, or
// be refused whole. Loaded to keep its layout, a document saves back as
// the same bytes; after one edit that the next byte chooses, it saves to a
// text that loads back as the edited document, an entry's edit rewriting
// no header; and after a second edit, to one that loads back too.
#include "inifile.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

// Per-process scratch files: libFuzzer may run several processes at once.
static char input_path[4096];
static char scratch_dir[4096];

static void remove_scratch(void)
{
    unlink(input_path);
    rmdir(scratch_dir);
}

static void fail(const char *what)
{
    fprintf(stderr, "load_save_fuzzer: %s\n", what);
    abort();
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const char *base = getenv("TMPDIR");
    if (base == nullptr || base[0] == '\0')
        base = "/tmp";
    snprintf(scratch_dir, sizeof scratch_dir, "%s/inifile-fuzz-XXXXXX", base);
    if (mkdtemp(scratch_dir) == nullptr)
        fail("cannot create a scratch directory");
    snprintf(input_path, sizeof input_path, "%s/input.ini", scratch_dir);
    atexit(remove_scratch);
    return 0;
}

static void write_input(const uint8_t *data, size_t size)
{
    FILE *file = fopen(input_path, "wb");
    if (file == nullptr)
        fail("cannot create the input file");
    if (size > 0 && fwrite(data, 1, size, file) != size)
        fail("cannot write the input file");
    if (fclose(file) != 0)
        fail("cannot write the input file");
}

static bool has_line_break(const char *text)
{
    return strpbrk(text, "\n\r") != nullptr;
}

static bool has_outer_space(const char *text)
{
    size_t length = strlen(text);
    return length > 0 && (text[0] == ' ' || text[length - 1] == ' ');
}

// The writer reproduces a document exactly when no key is empty, no key or
// value begins or ends with a space, no key contains '=', no text contains
// a line break, and no section name is empty or contains ';', '\' or '='.
static bool document_round_trips(const IniFile *ini)
{
    for (int32_t s = 0; s < ini->count; ++s) {
        const IniSection *section = ini->sections[s];
        const char *name = section->name;
        if (name[0] == '\0' || strpbrk(name, ";\\=") != nullptr || has_line_break(name))
            return false;
        for (int32_t e = 0; e < section->count; ++e) {
            const IniEntry *entry = section->entries[e];
            if (entry->key[0] == '\0' || strchr(entry->key, '=') != nullptr)
                return false;
            if (has_outer_space(entry->key) || has_outer_space(entry->value))
                return false;
            if (has_line_break(entry->key) || has_line_break(entry->value))
                return false;
        }
    }
    return true;
}

// Same sections in the same order with the same names, each with the same
// entries in the same order.
static bool documents_equal(const IniFile *a, const IniFile *b)
{
    if (a->count != b->count)
        return false;
    for (int32_t s = 0; s < a->count; ++s) {
        const IniSection *x = a->sections[s];
        const IniSection *y = b->sections[s];
        if (strcmp(x->name, y->name) != 0 || x->count != y->count)
            return false;
        for (int32_t e = 0; e < x->count; ++e) {
            if (strcmp(x->entries[e]->key, y->entries[e]->key) != 0 ||
                strcmp(x->entries[e]->value, y->entries[e]->value) != 0)
                return false;
        }
    }
    return true;
}

// What a load reports holds together: a document exactly when nothing is
// wrong, a message for every failure, one line of it, a line number only
// for a syntax error and within the file, no system code for the format's
// own faults.
static void check_report(const IniFile *loaded, const IniError *error, const uint8_t *data,
                         size_t size)
{
    if ((loaded != nullptr) != (error->kind == INI_ERROR_NONE))
        fail("a document without INI_ERROR_NONE, or no document with it");
    size_t length = strnlen(error->message, sizeof error->message);
    if (length == sizeof error->message)
        fail("a message without its terminating zero");
    if ((length == 0) != (error->kind == INI_ERROR_NONE))
        fail("a failure without a message, or a message without a failure");
    if (has_line_break(error->message))
        fail("a message with a line end");
    // A syntax error names its line, and so does a zero byte (a byte-order
    // mark is no line's).
    if (error->kind == INI_ERROR_SYNTAX ||
        (error->kind == INI_ERROR_ENCODING && error->line != 0)) {
        size_t feeds = 0;
        for (size_t i = 0; i < size; ++i)
            feeds += data[i] == '\n';
        if (error->line < 1 || (size_t)error->line > feeds + 1)
            fail("a line at fault outside the file's lines");
        char prefix[32];
        snprintf(prefix, sizeof prefix, "line %d: ", (int)error->line);
        if (strncmp(error->message, prefix, strlen(prefix)) != 0)
            fail("a line at fault whose message names another line");
    } else if (error->line != 0) {
        fail("a line number for a failure of no line");
    }
    if (error->kind != INI_ERROR_OPEN && error->kind != INI_ERROR_READ && error->system_error != 0)
        fail("a system code for a failure of the text");
}

// The same document, or the same report of why there is none.
static bool same_outcome(const IniFile *a, const IniError *a_error, const IniFile *b,
                         const IniError *b_error)
{
    if (a != nullptr && b != nullptr)
        return documents_equal(a, b);
    return a == nullptr && b == nullptr && a_error->kind == b_error->kind &&
           a_error->line == b_error->line && strcmp(a_error->message, b_error->message) == 0;
}

// The switches of all nine bits of the first two bytes.
static IniOptions dialect_of(const uint8_t *data, size_t size)
{
    IniOptions options = {};
    options.flags = size >= 2 ? (uint32_t)(data[0] | data[1] << 8) & 0x1ffu : 0;  // not the layout
    return options;
}

static void check_dialect(const uint8_t *data, size_t size)
{
    IniOptions options = dialect_of(data, size);
    IniError error;
    IniFile *loaded = ini_load_with_options(input_path, &options, &error);
    check_report(loaded, &error, data, size);
    IniError memory_error;
    IniFile *in_memory =
        ini_load_from_memory_with_options((const char *)data, size, &options, &memory_error);
    if (!same_outcome(loaded, &error, in_memory, &memory_error))
        fail("a dialect's load from memory gave another outcome than the file");
    ini_destroy(in_memory);
    if (loaded == nullptr)
        return;
    size_t length = 0;
    char *text = ini_save_to_memory(loaded, &length, &error);
    if (text == nullptr && error.kind != INI_ERROR_UNSTORABLE)
        fail("a dialect's save failed but for what its text cannot carry");
    IniFile *reloaded = text != nullptr
                            ? ini_load_from_memory_with_options(text, length, &options, &error)
                            : nullptr;
    if (text != nullptr && (reloaded == nullptr || !documents_equal(loaded, reloaded)))
        fail("a document loaded in a dialect and saved in it came back different");
    free(text);
    ini_destroy(reloaded);
    ini_destroy(loaded);
}

// The lines of before that after does not keep where they stood: all
// between the longest common run of whole lines at the start and the one
// at the end.
static void changed_lines(const char *before, size_t before_length, const char *after,
                          size_t after_length, size_t *from, size_t *to)
{
    size_t head = 0;
    while (head < before_length && head < after_length && before[head] == after[head])
        head += 1;
    // All of before kept at the start of after (a line end added after its
    // last line, say) changes none of its lines.
    while (head > 0 && head < before_length && before[head - 1] != '\n')
        head -= 1;
    size_t tail = 0;
    while (tail < before_length - head && tail < after_length - head &&
           before[before_length - 1 - tail] == after[after_length - 1 - tail])
        tail += 1;
    // The common end starts a line: right after a line feed, or at head.
    while (tail > 0 && before_length - tail > head && before[before_length - tail - 1] != '\n')
        tail -= 1;
    *from = head;
    *to = before_length - tail;
}

// Whether a line of text between from and to is the header "[name]" of a
// section of ini, as written at the start of its line.
static bool holds_header(const IniFile *ini, const char *text, size_t from, size_t to)
{
    for (size_t start = from; start < to;) {
        const char *feed = (const char *)memchr(text + start, '\n', to - start);
        size_t end = feed != nullptr ? (size_t)(feed - text) : to;
        size_t length = end - start - (end > start && text[end - 1] == '\r');
        for (int32_t s = 0; s < ini->count; ++s) {
            // "[a=b]" heads the file's first section, and is an entry after a
            // header: a name with a delimiter tells nothing.
            if (strpbrk(ini->sections[s]->name, "=:") != nullptr)
                continue;
            size_t name = strlen(ini->sections[s]->name);
            if (length == name + 2 && text[start] == '[' && text[start + length - 1] == ']' &&
                memcmp(text + start + 1, ini->sections[s]->name, name) == 0)
                return true;
        }
        start = end + 1;
    }
    return false;
}

// One edit of a loaded document, chosen by a byte: a value set, a key or a
// section added, a key or a section removed keeping the order.
static void edit(IniFile *ini, uint8_t choice)
{
    if (ini->count == 0 || choice % 5 == 3) {
        IniSection *added = section_create("added");
        section_set_value(added, "k", "v");
        ini_put_section(ini, added);
        return;
    }
    IniSection *section = ini->sections[(choice / 5) % ini->count];
    switch (choice % 5) {
    case 0:
        if (section->count > 0)
            section_set_value(section, section->entries[(choice / 7) % section->count]->key,
                              "new value");
        break;
    case 1:
        section_set_value(section, "added key", "added value");
        break;
    case 2:
        if (section->count > 0)
            section_remove_key_ordered(section,
                                       section->entries[(choice / 7) % section->count]->key);
        break;
    default:
        ini_remove_section_ordered(ini, section->name);
        break;
    }
}

static void check_layout(const uint8_t *data, size_t size)
{
    IniOptions options = dialect_of(data, size);
    options.flags |= INI_KEEP_LAYOUT;
    IniFile *loaded =
        ini_load_from_memory_with_options((const char *)data, size, &options, nullptr);
    if (loaded == nullptr)
        return;
    size_t length = 0;
    char *text = ini_save_to_memory(loaded, &length, nullptr);
    if (text == nullptr || length != size || memcmp(text, data, size) != 0)
        fail("a document that keeps its layout, unchanged, saved other bytes");
    free(text);
    uint8_t choice = size > 2 ? data[2] : 0;
    bool of_an_entry = loaded->count > 0 && choice % 5 <= 2;
    edit(loaded, choice);
    IniError error;
    text = ini_save_to_memory(loaded, &length, &error);
    if (text == nullptr && error.kind != INI_ERROR_UNSTORABLE)
        fail("an edited layout's save failed but for what its text cannot carry");
    if (text != nullptr) {
        // An entry's edit rewrites lines of its own section only.
        size_t from = 0;
        size_t to = 0;
        changed_lines((const char *)data, size, text, length, &from, &to);
        if (of_an_entry && holds_header(loaded, (const char *)data, from, to))
            fail("an entry's edit rewrote a section's header");
        IniFile *reloaded = ini_load_from_memory_with_options(text, length, &options, nullptr);
        if (reloaded == nullptr || !documents_equal(loaded, reloaded))
            fail("an edited layout's text did not load back as the edited document");
        ini_destroy(reloaded);
    }
    free(text);
    // A second edit on top of the first: lines moved twice.
    edit(loaded, size > 3 ? data[3] : 0);
    text = ini_save_to_memory(loaded, &length, nullptr);
    IniFile *again = text != nullptr
                         ? ini_load_from_memory_with_options(text, length, &options, nullptr)
                         : nullptr;
    if (text != nullptr && (again == nullptr || !documents_equal(loaded, again)))
        fail("a twice edited layout's text did not load back as the edited document");
    ini_destroy(again);
    free(text);
    ini_destroy(loaded);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    write_input(data, size);
    IniError error;
    memset(&error, 0x55, sizeof error);
    IniFile *loaded = ini_load_with_error(input_path, &error);
    check_report(loaded, &error, data, size);
    IniError memory_error;
    memset(&memory_error, 0x55, sizeof memory_error);
    IniFile *in_memory = ini_load_from_memory((const char *)data, size, &memory_error);
    if (!same_outcome(loaded, &error, in_memory, &memory_error))
        fail("the same bytes loaded from memory gave another outcome than the file");
    ini_destroy(in_memory);
    if (loaded == nullptr)
        return 0;

    // A document the text cannot hold (a name with '=', say) is refused
    // whole; one within the round-trip conditions never is.
    size_t length = 0;
    char *text = ini_save_to_memory(loaded, &length, &error);
    if (text == nullptr && (error.kind != INI_ERROR_UNSTORABLE || document_round_trips(loaded)))
        fail("ini_save_to_memory refused a document it can store");
    IniFile *reloaded = text != nullptr ? ini_load_from_memory(text, length, nullptr) : nullptr;
    if (text != nullptr && (reloaded == nullptr || strlen(text) != length))
        fail("a saved document did not load back");
    if (document_round_trips(loaded) && !documents_equal(loaded, reloaded))
        fail("a document within the round-trip conditions came back different");
    free(text);
    ini_destroy(reloaded);
    ini_destroy(loaded);
    check_dialect(data, size);
    check_layout(data, size);
    return 0;
}
