// Properties over random input with fixed seeds: every document the writer
// stores comes back with the same sections and keys, one it cannot store
// is refused and changes nothing, and arbitrary bytes never break the
// reader.
#include "inifile.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <random>
#include <string>

namespace {

// Bytes with a meaning to the format come often, ordinary text too.
const char text_bytes[] = "ab;\\=[] \t#\x80\xe9\x01yz\r\n";

std::string random_text(std::mt19937 &random, size_t most)
{
    std::string text(random() % (most + 1), ' ');
    for (char &c : text)
        c = text_bytes[random() % (sizeof text_bytes - 1)];
    return text;
}

std::string trim_spaces(std::string text)
{
    text.erase(0, text.find_first_not_of(' ') == std::string::npos ? text.size()
                                                                   : text.find_first_not_of(' '));
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::string without(const std::string &text, const char *bytes)
{
    std::string kept;
    for (char c : text) {
        if (strchr(bytes, c) == nullptr)
            kept += c;
    }
    return kept;
}

// A random document in which most names and keys are ones the writer can
// store (not empty, no outer spaces on keys, no '=', no line ends), and
// about one text in eight is left as drawn, whatever it holds. Values keep
// their outer spaces.
DocShape random_document(std::mt19937 &random)
{
    auto draw = [&random](size_t most, const char *unwanted, const char *end) {
        std::string text = random_text(random, most);
        return random() % 8 == 0 ? text : trim_spaces(without(text, unwanted)) + end;
    };
    DocShape shape;
    for (size_t s = random() % 6; s > 0; --s) {
        SectionShape section{draw(8, "=\r\n", "n"), {}};
        for (size_t e = random() % 8; e > 0; --e) {
            std::string key = draw(8, "=\r\n", "k");
            section.entries.emplace_back(key, draw(12, "\r\n", ""));
        }
        shape.push_back(section);
    }
    return shape;
}

TEST(RoundTrip, WhatIsSavedComesBackWhatIsRefusedIsNotWritten)
{
    TempDir dir;
    std::mt19937 random(20261208);
    int saved_count = 0;
    int refused = 0;
    for (int round = 0; round < 600; ++round) {
        SCOPED_TRACE(round);
        std::string name = "trip" + std::to_string(round) + ".ini";
        IniFile *ini = build_document(random_document(random));
        int32_t status = ini_save(ini, dir.path(name).c_str());
        DocShape saved = document_shape(ini);
        ini_destroy(ini);
        if (status == -3) {
            refused += 1;
            EXPECT_FALSE(std::filesystem::exists(dir.path(name)));
            continue;
        }
        ASSERT_EQ(status, 0);
        saved_count += 1;
        IniFile *loaded = ini_load(dir.path(name).c_str());
        ASSERT_NE(loaded, nullptr) << dir.read(name);
        // The same sections and keys; values without their outer spaces.
        for (SectionShape &section : saved) {
            for (auto &entry : section.entries)
                entry.second = trim_spaces(entry.second);
        }
        EXPECT_EQ(document_shape(loaded), saved);
        ini_destroy(loaded);
    }
    EXPECT_GT(saved_count, 150);
    EXPECT_GT(refused, 150);
}

// What a logical line and a loaded document look like, whatever the bytes;
// a zero byte ends the reading as a failure.
void check_lines(const std::string &path, bool zero_free)
{
    IniLineReader reader = {};
    reader.handle = open_for_reading(path);
    while (char *line = ini_read_line(&reader)) {
        size_t length = strlen(line);
        EXPECT_GT(length, 0u);
        EXPECT_NE(line[0], ' ');
        EXPECT_NE(line[length - 1], ' ');
        EXPECT_EQ(strpbrk(line, "\r\n"), nullptr);
        free(line);
    }
    EXPECT_EQ(reader.read_failed, zero_free ? 0 : 1);
    close_file(reader.handle);
}

void check_document(const IniFile *ini)
{
    for (const SectionShape &section : document_shape(ini)) {
        EXPECT_FALSE(section.name.empty());
        for (const auto &entry : section.entries) {
            EXPECT_FALSE(entry.first.empty());
            EXPECT_EQ(entry.first.find('='), std::string::npos);
            EXPECT_NE(entry.first.back(), ' ');
            EXPECT_TRUE(entry.second.empty() || entry.second[0] != ' ');
        }
    }
}

TEST(RandomBytes, ReaderAndLoaderHoldUp)
{
    TempDir dir;
    std::mt19937 random(7);
    const char bytes[] = "\n\n\r\\;= []a\tk#\0\xff";
    int loaded = 0;
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        // Short files load now and then; long ones reach past a chunk.
        std::string file(random() % (round % 2 == 0 ? 40 : 3000), ' ');
        for (char &c : file)
            c = bytes[random() % (sizeof bytes - 1)];
        // Every fourth file starts as a header so that some of them load.
        if (round % 4 == 0)
            file.insert(0, "[s]\n");
        dir.write("random.ini", file);
        std::string path = dir.path("random.ini");
        check_lines(path, file.find('\0') == std::string::npos);
        IniFile *ini = ini_load(path.c_str());
        if (ini != nullptr) {
            loaded += 1;
            check_document(ini);
            ini_destroy(ini);
        }
    }
    EXPECT_GT(loaded, 0);
}

}  // namespace
