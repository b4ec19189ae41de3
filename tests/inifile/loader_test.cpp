// Whole files loaded into documents: the structure check, header names,
// entry splitting, repeats kept, and the visible array capacities.
#include "inifile.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

struct LoadCase {
    const char *description;
    std::string bytes;
    bool loads;
    std::vector<std::string> dump;  // sections "[name]", entries "  key=value"
};

const std::vector<LoadCase> &load_cases()
{
    static const std::vector<LoadCase> cases = {
        {"empty file", "", true, {}},
        {"blank lines, comments and spaces only", "\n ; c\n   \n;[s]\n", true, {}},
        {"[] is no header", "[]\nk=v\n", false, {}},
        {"header with outer spaces", "  [x]  \nk=v\n", true, {"[x]", "  k=v"}},
        {"spaces inside the brackets stay", "[ x ]\n", true, {"[ x ]"}},
        {"key, value and comment", "[s]\nkey = value ; note\n", true, {"[s]", "  key=value"}},
        {"later equals signs belong to the value", "[s]\na=b=c\n", true, {"[s]", "  a=b=c"}},
        {"empty value", "[s]\nk=\n", true, {"[s]", "  k="}},
        {"inner spaces of key and value stay",
         "[s]\nmy key  =  a  b  \n",
         true,
         {"[s]", "  my key=a  b"}},
        {"=v after a header", "[s]\n=v\n", false, {}},
        {"=a=b after entries", "[s]\nk=v\n=a=b\n", false, {}},
        {"entry before the first header", "k=v\n[s]\n", false, {}},
        {"line that is neither", "[s]\nk=v\njunk\n", false, {}},
        {"header not closed", "[s\nk=v\n", false, {}},
        {"text after the bracket", "[s] x\n", false, {}},
        {"empty section before another", "[a]\n[b]\nk=v\n", true, {"[a]", "[b]", "  k=v"}},
        {"[a=b] first is a header", "[a=b]\n", true, {"[a=b]"}},
        {"[a=b] after a header is an entry", "[s]\n[a=b]\n", true, {"[s]", "  [a=b]"}},
        {"repeats are kept",
         "[s]\nk=1\nk=2\n[t]\n[s]\nk=3\n",
         true,
         {"[s]", "  k=1", "  k=2", "[t]", "[s]", "  k=3"}},
        {"carriage return line feeds", "[s]\r\nk=v\r\n", true, {"[s]", "  k=v"}},
        {"lone carriage returns", "[s]\rk=v\r", false, {}},
        {"zero byte keeps the value's space", "[s]\nk=v \0x\n"s, true, {"[s]", "  k=v "}},
        {"line starting with a zero byte", "[s]\n\0k=v\n"s, false, {}},
        {"tab in a value", "[s]\nk=\tv\t\n", true, {"[s]", "  k=\tv\t"}},
        {"escapes in names, keys and values",
         "[a\\;b]\nc\\\\d = e\\;f\n",
         true,
         {"[a;b]", "  c\\d=e;f"}},
        {"last line without line feed", "[s]\nk=v", true, {"[s]", "  k=v"}},
    };
    return cases;
}

TEST(Load, Table)
{
    TempDir dir;
    for (const LoadCase &c : load_cases()) {
        SCOPED_TRACE(c.description);
        dir.write("load.ini", c.bytes);
        IniFile *ini = ini_load(dir.path("load.ini").c_str());
        ASSERT_EQ(ini != nullptr, c.loads);
        if (ini != nullptr) {
            EXPECT_EQ(dump_document(ini), c.dump);
            ini_destroy(ini);
        }
    }
}

TEST(Load, MissingFileOrDirectory)
{
    TempDir dir;
    EXPECT_EQ(ini_load(dir.path("absent.ini").c_str()), nullptr);
    EXPECT_EQ(ini_load(dir.path("").c_str()), nullptr);
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
