// Real files read and loaded, one table for both: the logical lines the
// reader gives (comments, escapes, continuations, carriage returns,
// trimming, zero bytes, lines that cross chunks, byte-order marks) and the
// document the loader makes of them or the fault it reports (the structure
// check, header names, entry splitting, repeats kept, line numbers); then
// files that cannot be opened or read, and the visible array capacities.
#include "inifile.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <stdlib.h>
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

struct FileCase {
    const char *description;
    std::string bytes;
    std::string lines;     // the logical lines, each ended by a line feed
    std::string dump;      // sections "[name]", entries "  key=value", each ended by a line feed
    Failure failure = {};  // none: the file loads
};

// first, line 20000 times (more than one of the loader's chunks), then last.
std::string repeated(const std::string &first, const std::string &line, const std::string &last)
{
    std::string text = first;
    for (int i = 0; i < 20000; ++i)
        text += line;
    return text + last;
}

const std::vector<FileCase> &file_cases()
{
    const std::string chunk_a(1023, 'a');  // one byte short of the reader's chunk
    static const std::vector<FileCase> cases = {
        {"empty file", "", "", ""},
        {"blank lines, comments and spaces only", "\n   \n; c\n  ; c \\\r\n\n", "", ""},
        {"blank lines and a commented header", "\n ; c\n   \n;[s]\n", "", ""},
        {"outer spaces of a header trimmed", "  [x]  \n[ x ]\n", "[x]\n[ x ]\n", "[x]\n[ x ]\n"},
        {"header with outer spaces", "  [x]  \nk=v\n", "[x]\nk=v\n", "[x]\n  k=v\n"},
        {"spaces inside the brackets stay", "[ x ]\n", "[ x ]\n", "[ x ]\n"},
        {"[] is no header", "[]\nk=v\n", "[]\nk=v\n", "", syntax(1, empty_name)},
        {"comment after a value", "key = value ; note\n", "key = value\n", "",
         syntax(1, before_header)},
        {"key, value and comment", "[s]\nkey = value ; note\n", "[s]\nkey = value\n",
         "[s]\n  key=value\n"},
        {"later equals signs belong to the value", "[s]\na=b=c\n", "[s]\na=b=c\n",
         "[s]\n  a=b=c\n"},
        {"empty value", "[s]\nk=\n", "[s]\nk=\n", "[s]\n  k=\n"},
        {"inner spaces of key and value stay", "[s]\nmy key  =  a  b  \n", "[s]\nmy key  =  a  b\n",
         "[s]\n  my key=a  b\n"},
        {"=v after a header", "[s]\n=v\n", "[s]\n=v\n", "", syntax(2, neither)},
        {"=a=b after entries", "[s]\nk=v\n=a=b\n", "[s]\nk=v\n=a=b\n", "", syntax(3, neither)},
        {"entry before the first header", "k=v\n[s]\n", "k=v\n[s]\n", "", syntax(1, before_header)},
        {"line that is neither", "[s]\nk=v\njunk\n", "[s]\nk=v\njunk\n", "", syntax(3, neither)},
        {"escaped semicolon", "a\\;b\n", "a;b\n", "", syntax(1, neither)},
        {"escaped backslash", "a\\\\b\n", "a\\b\n", "", syntax(1, neither)},
        {"escaped backslash escapes nothing more", "k=a\\\\;c\n", "k=a\\\n", "",
         syntax(1, before_header)},
        {"backslash before a plain byte disappears", "a\\b\n", "ab\n", "", syntax(1, neither)},
        {"escaped space inside the text", "a\\ b\n", "a b\n", "", syntax(1, neither)},
        {"spaces after a leading backslash dropped", "\\  x\n", "x\n", "", syntax(1, neither)},
        {"escapes in names, keys and values", "[a\\;b]\nc\\\\d = e\\;f\n", "[a;b]\nc\\d = e;f\n",
         "[a;b]\n  c\\d=e;f\n"},
        {"continuation keeps the next line's leading spaces", "[s]\nk=abc\\\n   def\n",
         "[s]\nk=abc   def\n", "[s]\n  k=abc   def\n"},
        {"a comment ends with its physical line", "k=x ;comment \\\ny=1\n", "k=x\ny=1\n", "",
         syntax(1, before_header)},
        {"comment runs through semicolons and backslashes", "a ; b ; \\c \\\nd\n", "a\nd\n", "",
         syntax(1, neither)},
        {"comment-only and blank lines before the fault", "; c\n\n  ; c\n[s]\nk=v\n\njunk ; c\n",
         "[s]\nk=v\njunk\n", "", syntax(7, neither)},
        {"continuations before the fault count their lines", "[s]\nk=a\\\nb\\\nc\njunk\n",
         "[s]\nk=abc\njunk\n", "", syntax(5, neither)},
        {"a continued fault is told at its first line", "[s]\n\njunk\\\nmore\\\n  more\n",
         "[s]\njunkmore  more\n", "", syntax(3, neither)},
        {"a lone backslash line before the fault", "[s]\n \\\n  junk\n", "[s]\njunk\n", "",
         syntax(3, neither)},
        {"continuation into a comment-only line", "[s]\nk=a\\\n; note\nb=1\n", "[s]\nk=a\nb=1\n",
         "[s]\n  k=a\n  b=1\n"},
        {"backslash alone between lines", "[s]\na=1\n\\\nb=2\n", "[s]\na=1\nb=2\n",
         "[s]\n  a=1\n  b=2\n"},
        {"backslash alone inside a continuation", "[s]\na=1\\\n\\\nb=2\n", "[s]\na=1b=2\n",
         "[s]\n  a=1b=2\n"},
        {"backslash as the very last byte dropped", "[s]\nk=v\\", "[s]\nk=v\n", "[s]\n  k=v\n"},
        {"carriage return line feeds", "[s]\r\nk=v\r\n", "[s]\nk=v\n", "[s]\n  k=v\n"},
        {"carriage return line feeds before the fault", "[s]\r\nk=v\r\n\r\n[]\r\n",
         "[s]\nk=v\n[]\n", "", syntax(4, empty_name)},
        {"lone carriage return dropped", "[s]\nk=a\rb\r\n", "[s]\nk=ab\n", "[s]\n  k=ab\n"},
        {"backslash, carriage return, line feed continues", "[s]\nk=a\\\r\nb\n", "[s]\nk=ab\n",
         "[s]\n  k=ab\n"},
        {"lone carriage returns join the lines", "[s]\rk=v\r", "[s]k=v\n", "",
         syntax(1, before_header)},
        {"line numbers past a chunk", repeated("[s]\r\n", "key=value\r\n", "junk\r\n"),
         repeated("[s]\n", "key=value\n", "junk\n"), "", syntax(20002, neither)},
        {"header not closed", "[s\nk=v\n", "[s\nk=v\n", "", syntax(1, neither)},
        {"text after the bracket", "[s] x\n", "[s] x\n", "", syntax(1, neither)},
        {"empty section before another", "[a]\n[b]\nk=v\n", "[a]\n[b]\nk=v\n", "[a]\n[b]\n  k=v\n"},
        {"[a=b] first is a header", "[a=b]\n", "[a=b]\n", "[a=b]\n"},
        {"[a=b] after a header is an entry", "[s]\n[a=b]\n", "[s]\n[a=b]\n", "[s]\n  [a=b]\n"},
        {"repeats are kept", "[s]\nk=1\nk=2\n[t]\n[s]\nk=3\n", "[s]\nk=1\nk=2\n[t]\n[s]\nk=3\n",
         "[s]\n  k=1\n  k=2\n[t]\n[s]\n  k=3\n"},
        {"trailing spaces trimmed", "[s]\nk=v   \n", "[s]\nk=v\n", "[s]\n  k=v\n"},
        {"escaped trailing space trimmed too", "[s]\nk=v\\ \n", "[s]\nk=v\n", "[s]\n  k=v\n"},
        {"tabs are text", "\tk=\tv\t\n", "\tk=\tv\t\n", "", syntax(1, before_header)},
        {"tab in a value", "[s]\nk=\tv\t\n", "[s]\nk=\tv\t\n", "[s]\n  k=\tv\t\n"},
        {"high and control bytes kept", "[s]\nk=\x80\xff\x01\x1b\n", "[s]\nk=\x80\xff\x01\x1b\n",
         "[s]\n  k=\x80\xff\x01\x1b\n"},
        {"a zero byte ends the reading: no text holds one", "[s]\na=1\nk=v \0x\nb=2\n"s,
         "[s]\na=1\n", "", zero_byte(3)},
        {"a zero byte in a comment too", "[s]\n\n;\0\n"s, "[s]\n", "", zero_byte(3)},
        {"a fault before the zero byte is told first", "[s]\njunk\n\0"s, "[s]\njunk\n", "",
         syntax(2, neither)},
        {"UTF-16 without a byte-order mark", "[\0s\0]\0\n\0"s, "", "", zero_byte(1)},
        {"# begins a comment line", "# a ; b \\\n[s]\nk=v\n", "[s]\nk=v\n", "[s]\n  k=v\n"},
        {"# after spaces too", "  #x=1\n", "", ""},
        {"# elsewhere is text", "[s]\nk=#v # w\n", "[s]\nk=#v # w\n", "[s]\n  k=#v # w\n"},
        {"# on a continued line is text", "[s]\nk=a\\\n#b\n", "[s]\nk=a#b\n", "[s]\n  k=a#b\n"},
        {"# escaped at the start is text", "[s]\n\\#k=v\n", "[s]\n#k=v\n", "[s]\n  #k=v\n"},
        {"# comment lines, even first", "# note\n[s]\n  # k=v\nk=v # w\n", "[s]\nk=v # w\n",
         "[s]\n  k=v # w\n"},
        {"last line without line feed", "[s]\nk=v", "[s]\nk=v\n", "[s]\n  k=v\n"},
        {"line longer than a chunk", "[s]\nk=" + std::string(3000, 'x') + "\n",
         "[s]\nk=" + std::string(3000, 'x') + "\n", "[s]\n  k=" + std::string(3000, 'x') + "\n"},
        {"line of many chunks", std::string(100000, 'v') + "\nk=short",
         std::string(100000, 'v') + "\nk=short\n", "", syntax(1, neither)},
        {"escape carried across chunks", chunk_a + "\\\nb\n", chunk_a + "b\n", "",
         syntax(1, neither)},
        {"carriage return and line feed in different chunks", chunk_a + "\r\nb", chunk_a + "\nb\n",
         "", syntax(1, neither)},
        {"comment across chunks", ";" + std::string(2500, 'c') + "\n[s]\n", "[s]\n", "[s]\n"},
        {"leading spaces across chunks", std::string(1500, ' ') + "[s]\n", "[s]\n", "[s]\n"},
        {"UTF-8 byte-order mark stepped over", "\xEF\xBB\xBF[s]\nk=v\n", "[s]\nk=v\n",
         "[s]\n  k=v\n"},
        {"UTF-8 byte-order mark alone", "\xEF\xBB\xBF", "", ""},
        {"UTF-8 byte-order mark before a faulty line", "\xEF\xBB\xBFk=v\n[s]\n", "k=v\n[s]\n", "",
         syntax(1, before_header)},
        {"byte-order marks further on are text", "[s]\nk=\xEF\xBB\xBF\xFF\xFEv\n",
         "[s]\nk=\xEF\xBB\xBF\xFF\xFEv\n", "[s]\n  k=\xEF\xBB\xBF\xFF\xFEv\n"},
        {"part of a mark is text", "\xFF[s]\n", "\xFF[s]\n", "", syntax(1, neither)},
        {"UTF-16, little-endian", "\xFF\xFE[\0s\0]\0\n\0"s, "", "",
         encoding("UTF-16 text (little-endian)")},
        {"UTF-16, big-endian", "\xFE\xFF\0[\0s\0]\0\n"s, "", "",
         encoding("UTF-16 text (big-endian)")},
        {"UTF-16 mark alone", "\xFF\xFE", "", "", encoding("UTF-16 text (little-endian)")},
        {"UTF-32, little-endian", "\xFF\xFE\0\0[\0\0\0"s, "", "",
         encoding("UTF-32 text (little-endian)")},
        {"UTF-32, big-endian", "\0\0\xFE\xFF\0\0\0["s, "", "",
         encoding("UTF-32 text (big-endian)")},
    };
    return cases;
}

std::string joined(const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}

// Every logical line of the file, each ended by a line feed; then checks
// that the reader stays at its end once it has returned null.
std::string read_lines(const std::string &path, int *read_failed)
{
    std::string lines;
    IniLineReader reader = {};
    reader.handle = open_for_reading(path);
    EXPECT_NE(reader.handle, -1);
    while (char *line = ini_read_line(&reader)) {
        lines += line + "\n"s;
        free(line);
    }
    EXPECT_EQ(reader.at_end, 1);
    EXPECT_EQ(ini_read_line(&reader), nullptr);
    *read_failed = reader.read_failed;
    close_file(reader.handle);
    return lines;
}

TEST(ReadAndLoad, Table)
{
    TempDir dir;
    for (const FileCase &c : file_cases()) {
        SCOPED_TRACE(c.description);
        dir.write("case.ini", c.bytes);
        // Text the reader cannot read (a zero byte, UTF-16 or UTF-32) is no
        // whole file.
        int read_failed = -1;
        EXPECT_EQ(read_lines(dir.path("case.ini"), &read_failed), c.lines);
        EXPECT_EQ(read_failed,
                  c.failure.kind == INI_ERROR_ENCODING || c.bytes.find('\0') != std::string::npos);

        IniError error;
        memset(&error, 'x', sizeof error);  // every field set on every outcome
        IniFile *ini = ini_load_with_error(dir.path("case.ini").c_str(), &error);
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
        EXPECT_EQ(in_memory != nullptr ? joined(dump_document(in_memory)) : c.dump, c.dump);
        ini_destroy(in_memory);
        ASSERT_EQ(ini != nullptr, c.failure.kind == INI_ERROR_NONE);
        IniFile *plain = ini_load(dir.path("case.ini").c_str());
        EXPECT_EQ(plain != nullptr, ini != nullptr);
        if (ini != nullptr) {
            EXPECT_EQ(joined(dump_document(ini)), c.dump);
            ini_destroy(ini);
            ini_destroy(plain);
        }
    }
    IniFile *none = ini_load_from_memory(nullptr, 0, nullptr);  // no text: no sections
    ASSERT_NE(none, nullptr);
    ini_destroy(none);
}

// A real read error, from a handle that may only write: no line, and the
// end is told from the end of the file.
TEST(ReadLine, ReadErrorOfTheSystem)
{
    TempDir dir;
    dir.write("lines.ini", "[s]\nk=v\n");
    IniLineReader reader = {};
    reader.handle = open_for_writing_only(dir.path("lines.ini"));
    ASSERT_NE(reader.handle, -1);
    EXPECT_EQ(ini_read_line(&reader), nullptr);
    EXPECT_EQ(reader.read_failed, 1);
    EXPECT_EQ(reader.at_end, 1);
    close_file(reader.handle);
}

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
