// The answer's cutting and its comparison with yes.
#include "installer.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <string>

namespace {

// Feeds input to read_answer through a real stream, then reports what the
// answer became and what a later read would still see.
struct AnswerRead {
    int result;
    std::string answer;
    std::string rest;
};

AnswerRead read_from(const std::string &input)
{
    FILE *stream = tmpfile();
    EXPECT_NE(stream, nullptr);
    fwrite(input.data(), 1, input.size(), stream);
    rewind(stream);
    AnswerRead read = {};
    char answer[ANSWER_BUFFER_SIZE];
    memset(answer, 'Z', sizeof answer);
    read.result = read_answer(stream, answer);
    if (read.result)
        read.answer = answer;
    int c;
    while ((c = fgetc(stream)) != EOF)
        read.rest.push_back((char)c);
    fclose(stream);
    return read;
}

TEST(ReadAnswer, CutsAndDiscards)
{
    const std::string line99(99, 'a');
    const std::string line150(150, 'b');
    struct Case {
        const char *description;
        std::string input, answer, rest;
        int result = 1;  // 0: nothing to read
    } cases[] = {
        {"plain line", "yes\nnext\n", "yes", "next\n"},
        {"empty line", "\nnext", "", "next"},
        {"carriage return line feed", "y\r\nnext", "y", "next"},
        {"cut at first carriage return", "ab\rcd\r\n", "ab", ""},
        {"no line feed at end of input", "Yes", "Yes", ""},
        {"spaces kept", " y \n", " y ", ""},
        {"exactly 99 bytes: its line feed is dropped too", line99 + "\nnext", line99, "next"},
        {"150 bytes: cut to 99, rest of the line dropped", line150 + "\nnext", std::string(99, 'b'),
         "next"},
        {"overlong line ending at end of input", line150, std::string(99, 'b'), ""},
        {"end of input", "", "", "", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        AnswerRead read = read_from(c.input);
        EXPECT_EQ(read.result, c.result);
        EXPECT_EQ(read.answer, c.answer);
        EXPECT_EQ(read.rest, c.rest);
    }
}

TEST(AnswerIsYes, Table)
{
    struct Case {
        const char *answer;
        int yes;
    } cases[] = {
        {"yes", 1}, {"YES", 1},        {"Yes", 1}, {"y", 1},    {"Y", 1},
        {"yEs", 1}, {"yes please", 0}, {"n", 0},   {" y", 0},   {"y ", 0},
        {"", 0},    {"ye", 0},         {"no", 0},  {"\xD9", 0}, {"yes\xD9", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.answer);
        EXPECT_EQ(boot_choice_for(c.answer), c.yes ? 0u : 1u);
    }
}

TEST(WaitsBeforeClosing, OnlyAWindowOfItsOwnWithAPersonAtIt)
{
    struct Case {
        int processes, silent, console, waits;
    } cases[] = {
        {1, 0, 7, 1},  // double-clicked
        {3, 0, 7, 0},  // a command prompt's window
        {0, 0, 0, 0},  // no console: pipes, a service
        {1, 1, 7, 0},  // silent
        {1, 0, 6, 0},  // input redirected
        {1, 0, 5, 0},  // output redirected to a file
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.processes * 100 + c.silent * 10 + c.console);
        EXPECT_EQ(waits_before_closing(c.processes, c.silent, c.console), c.waits);
    }
}

}  // namespace
