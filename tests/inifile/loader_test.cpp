// Whole files loaded into documents: the structure check, header names,
// entry splitting, repeats kept, and the visible array capacities.
#include "inifile.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <string.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

// What is wrong with a line, as the load error says it after "line N: ".
const char *const before_header = "key=value before the first [section] header";
const char *const empty_name = "[] is not a section header: a section needs a name";
const char *const neither = "neither a [section] header nor a key=value line";
const char *const zero_text =
    "a zero byte, which no ANSI or UTF-8 text holds (UTF-16 without a byte-order mark?)";

// What a failed load reports.
struct Failure {
    IniErrorKind kind = INI_ERROR_NONE;
    int32_t line = 0;
    std::string message;
};

Failure syntax(int32_t line, const char *what)
{
    return {INI_ERROR_SYNTAX, line, "line " + std::to_string(line) + ": " + what};
}

Failure encoding(const char *text)
{
    return {INI_ERROR_ENCODING, 0,
            std::string("the file is ") + text + "; save it as ANSI or UTF-8"};
}

Failure zero_byte(int32_t line)
{
    return {INI_ERROR_ENCODING, line, "line " + std::to_string(line) + ": " + zero_text};
}

struct LoadCase {
    const char *description;
    std::string bytes;
    std::vector<std::string> dump;  // sections "[name]", entries "  key=value"
    Failure failure = {};           // none: the file loads
};

// More than one of the loader's chunks of entry lines ending in CR LF, then
// a line the structure does not allow.
std::string lines_past_a_chunk()
{
    std::string bytes = "[s]\r\n";
    for (int i = 0; i < 20000; ++i)
        bytes += "key=value\r\n";
    return bytes + "junk\r\n";
}

const std::vector<LoadCase> &load_cases()
{
    static const std::vector<LoadCase> cases = {
        {"empty file", "", {}},
        {"blank lines, comments and spaces only", "\n ; c\n   \n;[s]\n", {}},
        {"[] is no header", "[]\nk=v\n", {}, syntax(1, empty_name)},
        {"header with outer spaces", "  [x]  \nk=v\n", {"[x]", "  k=v"}},
        {"spaces inside the brackets stay", "[ x ]\n", {"[ x ]"}},
        {"key, value and comment", "[s]\nkey = value ; note\n", {"[s]", "  key=value"}},
        {"later equals signs belong to the value", "[s]\na=b=c\n", {"[s]", "  a=b=c"}},
        {"empty value", "[s]\nk=\n", {"[s]", "  k="}},
        {"inner spaces of key and value stay",
         "[s]\nmy key  =  a  b  \n",
         {"[s]", "  my key=a  b"}},
        {"=v after a header", "[s]\n=v\n", {}, syntax(2, neither)},
        {"=a=b after entries", "[s]\nk=v\n=a=b\n", {}, syntax(3, neither)},
        {"entry before the first header", "k=v\n[s]\n", {}, syntax(1, before_header)},
        {"line that is neither", "[s]\nk=v\njunk\n", {}, syntax(3, neither)},
        {"comment-only and blank lines before the fault",
         "; c\n\n  ; c\n[s]\nk=v\n\njunk ; c\n",
         {},
         syntax(7, neither)},
        {"continuations before the fault count their lines",
         "[s]\nk=a\\\nb\\\nc\njunk\n",
         {},
         syntax(5, neither)},
        {"a continued fault is told at its first line",
         "[s]\n\njunk\\\nmore\\\n  more\n",
         {},
         syntax(3, neither)},
        {"a lone backslash line before the fault", "[s]\n \\\n  junk\n", {}, syntax(3, neither)},
        {"carriage return line feeds before the fault",
         "[s]\r\nk=v\r\n\r\n[]\r\n",
         {},
         syntax(4, empty_name)},
        {"line numbers past a chunk", lines_past_a_chunk(), {}, syntax(20002, neither)},
        {"header not closed", "[s\nk=v\n", {}, syntax(1, neither)},
        {"text after the bracket", "[s] x\n", {}, syntax(1, neither)},
        {"empty section before another", "[a]\n[b]\nk=v\n", {"[a]", "[b]", "  k=v"}},
        {"[a=b] first is a header", "[a=b]\n", {"[a=b]"}},
        {"[a=b] after a header is an entry", "[s]\n[a=b]\n", {"[s]", "  [a=b]"}},
        {"repeats are kept",
         "[s]\nk=1\nk=2\n[t]\n[s]\nk=3\n",
         {"[s]", "  k=1", "  k=2", "[t]", "[s]", "  k=3"}},
        {"carriage return line feeds", "[s]\r\nk=v\r\n", {"[s]", "  k=v"}},
        {"lone carriage returns", "[s]\rk=v\r", {}, syntax(1, before_header)},
        {"zero byte in a value", "[s]\nk=v \0x\n"s, {}, zero_byte(2)},
        {"zero byte in a comment", "[s]\n\n;\0\n"s, {}, zero_byte(3)},
        {"a fault before the zero byte is told first", "[s]\njunk\n\0"s, {}, syntax(2, neither)},
        {"UTF-16 without a byte-order mark", "[\0s\0]\0\n\0"s, {}, zero_byte(1)},
        {"# comment lines, even first", "# note\n[s]\n  # k=v\nk=v # w\n", {"[s]", "  k=v # w"}},
        {"tab in a value", "[s]\nk=\tv\t\n", {"[s]", "  k=\tv\t"}},
        {"escapes in names, keys and values", "[a\\;b]\nc\\\\d = e\\;f\n", {"[a;b]", "  c\\d=e;f"}},
        {"last line without line feed", "[s]\nk=v", {"[s]", "  k=v"}},
        {"UTF-8 byte-order mark stepped over", "\xEF\xBB\xBF[s]\nk=v\n", {"[s]", "  k=v"}},
        {"UTF-8 byte-order mark alone", "\xEF\xBB\xBF", {}},
        {"byte-order marks further on are text",
         "[s]\nk=\xEF\xBB\xBF\xFF\xFEv\n",
         {"[s]", "  k=\xEF\xBB\xBF\xFF\xFEv"}},
        {"UTF-16, little-endian",
         "\xFF\xFE[\0s\0]\0\n\0"s,
         {},
         encoding("UTF-16 text (little-endian)")},
        {"UTF-16, big-endian", "\xFE\xFF\0[\0s\0]\0\n"s, {}, encoding("UTF-16 text (big-endian)")},
        {"UTF-16 mark alone", "\xFF\xFE", {}, encoding("UTF-16 text (little-endian)")},
        {"UTF-32, little-endian",
         "\xFF\xFE\0\0[\0\0\0"s,
         {},
         encoding("UTF-32 text (little-endian)")},
        {"UTF-32, big-endian", "\0\0\xFE\xFF\0\0\0["s, {}, encoding("UTF-32 text (big-endian)")},
    };
    return cases;
}

TEST(Load, Table)
{
    TempDir dir;
    for (const LoadCase &c : load_cases()) {
        SCOPED_TRACE(c.description);
        dir.write("load.ini", c.bytes);
        IniError error;
        memset(&error, 'x', sizeof error);  // every field set on every outcome
        IniFile *ini = ini_load_with_error(dir.path("load.ini").c_str(), &error);
        EXPECT_EQ(error.kind, c.failure.kind);
        EXPECT_EQ(error.line, c.failure.line);
        EXPECT_EQ(error.system_error, 0);
        EXPECT_EQ(error.message, c.failure.message);
        // The same bytes in memory, followed by more that are not theirs,
        // load or fail the same.
        const std::string text = c.bytes + "\n[junk";
        IniError from_text;
        IniFile *in_memory = ini_load_from_memory(text.data(), c.bytes.size(), &from_text);
        EXPECT_EQ(from_text.message + std::to_string(from_text.line),
                  c.failure.message + std::to_string(c.failure.line));
        EXPECT_EQ(in_memory != nullptr ? dump_document(in_memory) : c.dump, c.dump);
        ini_destroy(in_memory);
        ASSERT_EQ(ini != nullptr, c.failure.kind == INI_ERROR_NONE);
        IniFile *plain = ini_load(dir.path("load.ini").c_str());
        EXPECT_EQ(plain != nullptr, ini != nullptr);
        if (ini != nullptr) {
            EXPECT_EQ(dump_document(ini), c.dump);
            ini_destroy(ini);
            ini_destroy(plain);
        }
    }
    IniFile *none = ini_load_from_memory(nullptr, 0, nullptr);  // no text: no sections
    ASSERT_NE(none, nullptr);
    ini_destroy(none);
}

// Files that cannot be opened: the system's code and its own text.
TEST(Load, FilesThatCannotBeOpened)
{
    TempDir dir;
    struct OpenCase {
        std::string path;
        int32_t system_error;
    };
#ifdef _WIN32
    const OpenCase cases[] = {{dir.path("absent.ini"), ERROR_FILE_NOT_FOUND},
                              {dir.path("absent\\x.ini"), ERROR_PATH_NOT_FOUND},
                              {dir.path(""), ERROR_ACCESS_DENIED}};
#else
    const OpenCase cases[] = {{dir.path("absent.ini"), ENOENT},
                              {dir.path("absent/x.ini"), ENOENT},
                              {dir.path(""), EISDIR},
                              {"/dev/null", EINVAL}};
#endif
    for (const OpenCase &c : cases) {
        SCOPED_TRACE(c.path);
        IniError error;
        EXPECT_EQ(ini_load_with_error(c.path.c_str(), &error), nullptr);
        EXPECT_EQ(error.kind, INI_ERROR_OPEN);
        EXPECT_EQ(error.line, 0);
        EXPECT_EQ(error.system_error, c.system_error);
        EXPECT_EQ(error.message, "cannot open the file: " + system_text(c.system_error));
        EXPECT_EQ(ini_load(c.path.c_str()), nullptr);
    }
}

#ifndef _WIN32
// A backslash is an ordinary byte of a POSIX file name: the library hands
// paths to the system as they stand, both ways.
TEST(Load, PathsGoToTheSystemAsGiven)
{
    TempDir dir;
    dir.write("back\\slash.ini", "[s]\nk=v\n");
    IniFile *ini = ini_load(dir.path("back\\slash.ini").c_str());
    ASSERT_NE(ini, nullptr);
    std::filesystem::create_directory(dir.path("sub"));
    EXPECT_EQ(ini_save(ini, dir.path("sub\\y.ini").c_str()), 0);
    ini_destroy(ini);
    EXPECT_EQ(dir.read("sub\\y.ini"), "[s]\nk=v\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path("sub/y.ini")));
}
#endif

TEST(Load, CapacitiesGrowInStepsOfTen)
{
    TempDir dir;
    std::string bytes;
    for (int s = 0; s < 21; ++s) {
        bytes += "[s" + std::to_string(s) + "]\n";
        for (int e = 0; e < (s == 0 ? 10 : s == 1 ? 11 : 0); ++e)
            bytes += "k" + std::to_string(e) + "=v\n";
    }
    dir.write("sizes.ini", bytes);
    IniFile *ini = ini_load(dir.path("sizes.ini").c_str());
    ASSERT_NE(ini, nullptr);
    EXPECT_EQ(ini->count, 21);
    EXPECT_EQ(ini->capacity, 30);
    EXPECT_EQ(ini->sections[0]->count, 10);
    EXPECT_EQ(ini->sections[0]->capacity, 10);
    EXPECT_EQ(ini->sections[1]->count, 11);
    EXPECT_EQ(ini->sections[1]->capacity, 20);
    EXPECT_EQ(ini->sections[2]->capacity, 10);
    EXPECT_STREQ(section_get_value(ini->sections[1], "k10"), "v");
    ini_destroy(ini);
}

}  // namespace
