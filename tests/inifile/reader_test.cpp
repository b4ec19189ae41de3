// Logical lines read from real files: comments, escapes, continuations,
// carriage returns, trimming, zero bytes, lines that cross chunks and
// byte-order marks.
#include "inifile.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

struct LineCase {
    const char *description;
    std::string bytes;
    std::vector<std::string> lines;  // as zero-terminated strings
    int read_failed = 0;             // text the reader cannot read is no whole file
};

// Every logical line of the file, then checks that the reader stays at its
// end once it has returned null.
std::vector<std::string> read_lines(const std::string &path, int *read_failed)
{
    std::vector<std::string> lines;
    IniLineReader reader = {};
    reader.handle = open_for_reading(path);
    EXPECT_NE(reader.handle, -1);
    while (char *line = ini_read_line(&reader)) {
        lines.push_back(line);
        free(line);
    }
    EXPECT_EQ(reader.at_end, 1);
    EXPECT_EQ(ini_read_line(&reader), nullptr);
    *read_failed = reader.read_failed;
    close_file(reader.handle);
    return lines;
}

const std::vector<LineCase> &line_cases()
{
    static const std::vector<LineCase> cases = {
        {"blank lines, comments and spaces only", "\n   \n; c\n  ; c \\\r\n\n", {}},
        {"empty file", "", {}},
        {"outer spaces of a header trimmed", "  [x]  \n[ x ]\n", {"[x]", "[ x ]"}},
        {"comment after a value", "key = value ; note\n", {"key = value"}},
        {"escaped semicolon", "a\\;b\n", {"a;b"}},
        {"escaped backslash", "a\\\\b\n", {"a\\b"}},
        {"escaped backslash escapes nothing more", "k=a\\\\;c\n", {"k=a\\"}},
        {"backslash before a plain byte disappears", "a\\b\n", {"ab"}},
        {"escaped space inside the text", "a\\ b\n", {"a b"}},
        {"spaces after a leading backslash dropped", "\\  x\n", {"x"}},
        {"continuation keeps the next line's leading spaces", "k=abc\\\n   def\n", {"k=abc   def"}},
        {"a comment ends with its physical line", "k=x ;comment \\\ny=1\n", {"k=x", "y=1"}},
        {"comment runs through semicolons and backslashes", "a ; b ; \\c \\\nd\n", {"a", "d"}},
        {"carriage return line feed like line feed", "a=1\r\nb=2\r\n", {"a=1", "b=2"}},
        {"lone carriage return dropped", "k=a\rb\r\n", {"k=ab"}},
        {"backslash, carriage return, line feed continues", "k=a\\\r\nb\n", {"k=ab"}},
        {"lone carriage returns join the lines", "[s]\rk=v\r", {"[s]k=v"}},
        {"trailing spaces trimmed", "k=v   \n", {"k=v"}},
        {"escaped trailing space trimmed too", "k=v\\ \n", {"k=v"}},
        {"tabs are text", "\tk=\tv\t\n", {"\tk=\tv\t"}},
        {"high and control bytes kept", "k=\x80\xff\x01\x1b\n", {"k=\x80\xff\x01\x1b"}},
        {"a zero byte ends the reading: no text holds one", "a=1\nk=v \0x\nb=2\n"s, {"a=1"}, 1},
        {"a zero byte in a comment too", "a=1\n;\0\n"s, {"a=1"}, 1},
        {"# begins a comment line", "# a ; b \\\nk=v\n", {"k=v"}},
        {"# after spaces too", "  #x=1\n", {}},
        {"# elsewhere is text", "k=#v # w\n", {"k=#v # w"}},
        {"# on a continued line is text", "k=a\\\n#b\n", {"k=a#b"}},
        {"# escaped at the start is text", "\\#k=v\n", {"#k=v"}},
        {"last line without line feed", "a=1\nk=v", {"a=1", "k=v"}},
        {"backslash as the very last byte dropped", "k=v\\", {"k=v"}},
        {"continuation into a comment-only line", "k=a\\\n; note\nb=1\n", {"k=a", "b=1"}},
        {"backslash alone between lines", "a=1\n\\\nb=2\n", {"a=1", "b=2"}},
        {"backslash alone inside a continuation", "a=1\\\n\\\nb=2\n", {"a=1b=2"}},
        {"line longer than a chunk",
         "k=" + std::string(3000, 'x') + "\n",
         {"k=" + std::string(3000, 'x')}},
        {"line of many chunks",
         std::string(100000, 'v') + "\nk=short",
         {std::string(100000, 'v'), "k=short"}},
        {"escape carried across chunks",
         std::string(1023, 'a') + "\\\nb\n",
         {std::string(1023, 'a') + "b"}},
        {"carriage return and line feed in different chunks",
         std::string(1023, 'a') + "\r\nb",
         {std::string(1023, 'a'), "b"}},
        {"comment across chunks", ";" + std::string(2500, 'c') + "\nk=v\n", {"k=v"}},
        {"leading spaces across chunks", std::string(1500, ' ') + "k=v\n", {"k=v"}},
        {"UTF-8 byte-order mark stepped over", "\xEF\xBB\xBF[s]\n", {"[s]"}},
        {"byte-order marks further on are text",
         "a\n\xEF\xBB\xBF\xFF\xFE"
         "b\n",
         {"a", "\xEF\xBB\xBF\xFF\xFE"
               "b"}},
        {"part of a mark is text", "\xFF[s]\n", {"\xFF[s]"}},
        {"UTF-16 gives no line", "\xFE\xFF\0[\0s\0]\0\n"s, {}, 1},
    };
    return cases;
}

TEST(ReadLine, Table)
{
    TempDir dir;
    for (const LineCase &c : line_cases()) {
        SCOPED_TRACE(c.description);
        dir.write("lines.ini", c.bytes);
        int read_failed = -1;
        EXPECT_EQ(read_lines(dir.path("lines.ini"), &read_failed), c.lines);
        EXPECT_EQ(read_failed, c.read_failed);
    }
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

}  // namespace
