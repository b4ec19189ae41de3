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

// A document the writer can store: no empty key or name, no outer spaces
// on keys, no '=' in keys, no ';', '\' or '=' in names, no line ends.
// Values keep their outer spaces, which reading drops.
DocShape random_document(std::mt19937 &random)
{
    DocShape shape;
    for (size_t s = random() % 6; s > 0; --s) {
        SectionShape section{without(random_text(random, 8), ";\\=\r\n") + "n", {}};
        for (size_t e = random() % 8; e > 0; --e) {
            std::string key = trim_spaces(without(random_text(random, 8), "=\r\n")) + "k";
            section.entries.emplace_back(key, without(random_text(random, 12), "\r\n"));
        }
        shape.push_back(section);
    }
    return shape;
}

// One flaw of a kind the text cannot hold, in a random place.
void spoil(DocShape &shape, std::mt19937 &random)
{
    SectionShape &section = shape[random() % shape.size()];
    const std::string name_flaws[] = {"", ";", "\\", "=", "\r", "\n"};
    if (section.entries.empty() || random() % 3 == 0) {
        const std::string &flaw = name_flaws[random() % 6];
        section.name = flaw.empty() ? flaw : section.name + flaw;
        return;
    }
    auto &[key, value] = section.entries[random() % section.entries.size()];
    const std::string key_flaws[] = {"=", "\r", "\n"};
    switch (random() % 5) {
    case 0:
        value.insert(random() % (value.size() + 1), random() % 2 ? "\r" : "\n");
        break;
    case 1:
        key = "";
        break;
    case 2:
        key = random() % 2 ? " " + key : key + " ";
        break;
    default:
        key.insert(random() % (key.size() + 1), key_flaws[random() % 3]);
    }
}

TEST(RoundTrip, RandomDocumentsComeBackOrAreRefused)
{
    TempDir dir;
    std::mt19937 random(20261208);
    int refused = 0;
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        DocShape shape = random_document(random);
        bool spoilt = !shape.empty() && round % 2 == 1;
        if (spoilt)
            spoil(shape, random);
        else  // a new file each time: replacing one waits for the disk
            std::filesystem::remove(dir.path("trip.ini"));
        std::string before = dir.read("trip.ini");
        IniFile *ini = build_document(shape);
        int32_t status = ini_save(ini, dir.path("trip.ini").c_str());
        DocShape saved = document_shape(ini);  // repeats merged as they were set
        ini_destroy(ini);
        if (spoilt) {
            refused += 1;
            EXPECT_EQ(status, -3);
            EXPECT_EQ(dir.read("trip.ini"), before);
            continue;
        }
        ASSERT_EQ(status, 0);
        IniFile *loaded = ini_load(dir.path("trip.ini").c_str());
        ASSERT_NE(loaded, nullptr) << dir.read("trip.ini");
        // The same sections and keys; values without their outer spaces.
        for (SectionShape &section : saved) {
            for (auto &entry : section.entries)
                entry.second = trim_spaces(entry.second);
        }
        EXPECT_EQ(document_shape(loaded), saved);
        ini_destroy(loaded);
    }
    EXPECT_GT(refused, 150);
}

// What a logical line and a loaded document look like, whatever the bytes.
void check_lines(const std::string &path, bool zero_free)
{
    IniLineReader reader = {};
    reader.handle = open_for_reading(path);
    while (char *line = ini_read_line(&reader)) {
        size_t length = strlen(line);
        if (zero_free) {
            EXPECT_GT(length, 0u);
            EXPECT_NE(line[0], ' ');
            EXPECT_NE(line[length - 1], ' ');
        }
        EXPECT_EQ(strpbrk(line, "\r\n"), nullptr);
        free(line);
    }
    EXPECT_EQ(reader.read_failed, 0);
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
    const char bytes[] = "\n\n\r\\;= []a\tk\0\xff";
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
