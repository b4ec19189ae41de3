// Saved files byte for byte: escaping, names written as stored, and what
// the reader makes of the result.
#include "fault.h"
#include "inifile.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SaveCase {
    const char *description;
    DocShape document;
    std::string bytes;
    bool reloads;
    std::vector<std::string> reloaded;  // dump of the reloaded document
};

const std::vector<SaveCase> &save_cases()
{
    static const std::vector<SaveCase> cases = {
        {"no sections", {}, "", true, {}},
        {"section without entries", {{"s", {}}}, "[s]\n", true, {"[s]"}},
        {"backslash in a value",
         {{"s", {{"k", "C:\\dir"}}}},
         "[s]\nk=C:\\\\dir\n",
         true,
         {"[s]", "  k=C:\\dir"}},
        {"semicolon in a value",
         {{"s", {{"k", "a;b"}}}},
         "[s]\nk=a\\;b\n",
         true,
         {"[s]", "  k=a;b"}},
        {"escapes in a key",
         {{"s", {{"a;b\\c", "v"}}}},
         "[s]\na\\;b\\\\c=v\n",
         true,
         {"[s]", "  a;b\\c=v"}},
        {"value ending in a backslash",
         {{"s", {{"k", "x\\"}}}},
         "[s]\nk=x\\\\\n",
         true,
         {"[s]", "  k=x\\"}},
        {"empty value", {{"s", {{"k", ""}}}}, "[s]\nk=\n", true, {"[s]", "  k="}},
        {"trailing space of a value written, dropped on reading",
         {{"s", {{"k", "x "}}}},
         "[s]\nk=x \n",
         true,
         {"[s]", "  k=x"}},
        {"order of sections and entries",
         {{"b", {{"z", "1"}, {"y", "2"}}}, {"a", {}}, {"c", {{"x", "3"}}}},
         "[b]\nz=1\ny=2\n[a]\n[c]\nx=3\n",
         true,
         {"[b]", "  z=1", "  y=2", "[a]", "[c]", "  x=3"}},
        {"empty name written as []", {{"", {{"k", "v"}}}}, "[]\nk=v\n", false, {}},
        {"name with a semicolon written unescaped",
         {{"a;b", {{"k", "v"}}}},
         "[a;b]\nk=v\n",
         false,
         {}},
        {"name with a backslash written unescaped", {{"a\\;b", {}}}, "[a\\;b]\n", true, {"[a;b]"}},
    };
    return cases;
}

TEST(Save, Table)
{
    TempDir dir;
    for (const SaveCase &c : save_cases()) {
        SCOPED_TRACE(c.description);
        // Saving over an existing, longer file replaces all of it.
        dir.write("save.ini", std::string(300, '#') + "\n");
        IniFile *ini = build_document(c.document);
        EXPECT_EQ(ini_save(ini, dir.path("save.ini").c_str()), 0);
        EXPECT_EQ(document_shape(ini), c.document);  // not changed by saving
        ini_destroy(ini);
        EXPECT_EQ(dir.read("save.ini"), c.bytes);

        IniFile *reloaded = ini_load(dir.path("save.ini").c_str());
        ASSERT_EQ(reloaded != nullptr, c.reloads);
        if (reloaded != nullptr) {
            EXPECT_EQ(dump_document(reloaded), c.reloaded);
            ini_destroy(reloaded);
        }
    }
}

TEST(Save, SectionHeaderInThreeWritesAndOneWritePerEntry)
{
    TempDir dir;
    IniFile *ini = build_document({{"a", {{"k", "v"}, {"l", "w"}}}, {"", {{"m", "x"}}}});
    fault_arm(FAULT_WRITE, 0);
    EXPECT_EQ(ini_save(ini, dir.path("calls.ini").c_str()), 0);
    EXPECT_EQ(fault_count(FAULT_WRITE), 2u * 3u + 3u);
    ini_destroy(ini);
}

TEST(Save, LongValuesAndScratchReuse)
{
    // The scratch buffer grows for a long line and serves the short ones
    // after it unchanged.
    TempDir dir;
    std::string long_value(50000, 'x');
    long_value[100] = ';';
    IniFile *ini = build_document({{"s", {{"a", "1"}, {"long", long_value}, {"b", "22"}}}});
    ASSERT_EQ(ini_save(ini, dir.path("long.ini").c_str()), 0);
    std::string escaped = long_value;
    escaped.insert(100, "\\");
    EXPECT_EQ(dir.read("long.ini"), "[s]\na=1\nlong=" + escaped + "\nb=22\n");
    ini_destroy(ini);
}

}  // namespace
