// The document in memory: lookups, insertion and replacement, removal,
// indexed access, cloning, growth of the arrays.
#include "inifile.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Model, EmptyLookups)
{
    IniFile *ini = ini_create();
    EXPECT_EQ(ini->count, 0);
    EXPECT_EQ(ini->capacity, 10);
    EXPECT_EQ(ini_find_section_index(ini, "s"), -1);
    EXPECT_EQ(ini_get_section(ini, "s"), nullptr);
    EXPECT_EQ(ini_section_name_at(ini, 0), nullptr);
    EXPECT_EQ(ini_remove_section(ini, "s"), 1);
    IniSection *section = section_create("s");
    EXPECT_EQ(section->capacity, 10);
    EXPECT_EQ(section_find_key_index(section, "k"), -1);
    EXPECT_EQ(section_get_value(section, "k"), nullptr);
    EXPECT_EQ(section_key_at(section, 0), nullptr);
    EXPECT_EQ(section_remove_key(section, "k"), 1);
    section_destroy(section);
    ini_destroy(ini);
}

TEST(Model, IndexOutOfRange)
{
    IniFile *ini = build_document({{"a", {{"k", "v"}}}, {"b", {}}});
    IniSection *a = ini_get_section(ini, "a");
    for (int32_t index : {2, -1, INT32_MIN})
        EXPECT_EQ(ini_section_name_at(ini, index), nullptr) << index;
    EXPECT_STREQ(ini_section_name_at(ini, 1), "b");
    for (int32_t index : {1, -1, INT32_MIN})
        EXPECT_EQ(section_key_at(a, index), nullptr) << index;
    EXPECT_STREQ(section_key_at(a, 0), "k");
    ini_destroy(ini);
}

TEST(Model, NamesAreCaseSensitive)
{
    IniFile *ini = build_document({{"Install", {{"VSN", "1"}}}, {"install", {{"vsn", "2"}}}});
    EXPECT_EQ(ini->count, 2);
    EXPECT_EQ(ini_find_section_index(ini, "install"), 1);
    EXPECT_EQ(section_get_value(ini_get_section(ini, "Install"), "vsn"), nullptr);
    EXPECT_STREQ(section_get_value(ini_get_section(ini, "Install"), "VSN"), "1");
    ini_destroy(ini);
}

TEST(Model, PutReplacesInPlace)
{
    IniFile *ini = build_document({{"a", {{"k", "old"}}}, {"b", {}}, {"c", {}}});
    IniSection *replacement = section_create("b");
    section_set_value(replacement, "k", "new");
    EXPECT_EQ(ini_put_section(ini, replacement), 0);
    EXPECT_EQ(ini->count, 3);
    EXPECT_EQ(ini->sections[1], replacement);
    IniSection *added = section_create("d");
    EXPECT_EQ(ini_put_section(ini, added), 1);
    EXPECT_EQ(ini->sections[3], added);
    ini_destroy(ini);
}

TEST(Model, PutOfASectionTheDocumentHoldsChangesNothing)
{
    IniFile *ini = build_document({{"a", {{"k", "v"}}}, {"b", {}}});
    IniSection *a = ini_get_section(ini, "a");
    EXPECT_EQ(ini_put_section(ini, a), 0);
    EXPECT_EQ(ini->count, 2);
    EXPECT_EQ(ini->sections[0], a);
    EXPECT_STREQ(section_get_value(a, "k"), "v");
    ini_destroy(ini);
}

TEST(Model, SetTwiceKeepsOneEntryAtFirstPosition)
{
    IniSection *section = section_create("s");
    EXPECT_EQ(section_set_value(section, "a", "1"), 1);
    EXPECT_EQ(section_set_value(section, "b", "2"), 1);
    EXPECT_EQ(section_set_value(section, "a", "3"), 0);
    EXPECT_EQ(section->count, 2);
    EXPECT_STREQ(section_key_at(section, 0), "a");
    EXPECT_STREQ(section_get_value(section, "a"), "3");
    EXPECT_EQ(section_set_value(section, "e", ""), 1);
    ASSERT_NE(section_get_value(section, "e"), nullptr);
    EXPECT_STREQ(section_get_value(section, "e"), "");
    section_destroy(section);
}

TEST(Model, SetFromTheEntryBeingReplaced)
{
    // The new block is made before the old one is freed.
    IniSection *section = section_create("s");
    section_set_value(section, "key", "value");
    IniEntry *entry = section->entries[0];
    EXPECT_EQ(section_set_value(section, entry->key, entry->value), 0);
    EXPECT_STREQ(section_get_value(section, "key"), "value");
    EXPECT_EQ(section_set_value(section, "key", entry->value + 2), 0);
    EXPECT_STREQ(section_get_value(section, "key"), "lue");
    EXPECT_EQ(section->count, 1);
    section_destroy(section);
}

TEST(Model, RemovalMovesTheLastIntoTheHole)
{
    IniFile *ini = build_document({{"a", {}}, {"b", {}}, {"c", {}}, {"d", {}}});
    EXPECT_EQ(ini_remove_section(ini, "b"), 0);
    EXPECT_EQ(dump_document(ini), (std::vector<std::string>{"[a]", "[d]", "[c]"}));
    EXPECT_EQ(ini_remove_section(ini, "c"), 0);  // the last one: just shorter
    EXPECT_EQ(dump_document(ini), (std::vector<std::string>{"[a]", "[d]"}));
    EXPECT_EQ(ini_remove_section(ini, "c"), 1);

    IniSection *section = ini_get_section(ini, "a");
    for (const char *key : {"k1", "k2", "k3"})
        section_set_value(section, key, "v");
    EXPECT_EQ(section_remove_key(section, "k1"), 0);
    EXPECT_STREQ(section_key_at(section, 0), "k3");
    EXPECT_EQ(section_remove_key(section, "k2"), 0);
    EXPECT_EQ(section_remove_key(section, "k3"), 0);
    EXPECT_EQ(section->count, 0);
    EXPECT_EQ(section_remove_key(section, "k3"), 1);
    ini_destroy(ini);
}

TEST(Model, ArraysGrowByTenAndNeverShrink)
{
    IniFile *ini = ini_create();
    IniSection *section = section_create("s");
    ini_put_section(ini, section);
    for (int i = 0; i < 45; ++i) {
        std::string key = "k" + std::to_string(i);
        section_set_value(section, key.c_str(), key.c_str());
        ini_put_section(ini, section_create(key.c_str()));
        EXPECT_EQ(section->capacity, (i / 10 + 1) * 10) << i;
        EXPECT_EQ(ini->capacity, ((i + 1) / 10 + 1) * 10) << i;
    }
    for (int i = 0; i < 45; ++i) {
        std::string key = "k" + std::to_string(i);
        section_remove_key(section, key.c_str());
        ini_remove_section(ini, key.c_str());
    }
    EXPECT_EQ(section->count, 0);
    EXPECT_EQ(section->capacity, 50);
    EXPECT_EQ(ini->count, 1);
    EXPECT_EQ(ini->capacity, 50);
    section_set_value(section, "again", "v");
    EXPECT_EQ(section->capacity, 50);
    ini_destroy(ini);
}

TEST(Model, CloneCopiesEachKeyOnceInOrder)
{
    IniSection *source = section_create("s");
    section_set_value(source, "b", "1");
    section_set_value(source, "a", "2");
    IniSection *clone = section_clone(source, "t");
    EXPECT_STREQ(clone->name, "t");
    EXPECT_STREQ(source->name, "s");
    ASSERT_EQ(clone->count, 2);
    EXPECT_STREQ(section_key_at(clone, 0), "b");
    EXPECT_STREQ(section_get_value(clone, "a"), "2");
    EXPECT_NE(clone->entries[0]->key, source->entries[0]->key);
    section_destroy(source);
    section_destroy(clone);
}

// A loaded section of thousands of entries, each key three times over with
// its first value first: the clone holds every key once, in order, with
// its first value, and grows its array by ten as ever.
TEST(Model, CloneOfALargeSectionWithRepeats)
{
    TempDir dir;
    std::string bytes = "[s]\n";
    for (int i = 0; i < 7500; ++i)
        bytes += "key" + std::to_string(i % 2500) + "=v" + std::to_string(i) + "\n";
    dir.write("large.ini", bytes);
    IniFile *ini = ini_load(dir.path("large.ini").c_str());
    ASSERT_NE(ini, nullptr);
    section_set_value(ini->sections[0], "", "empty key");
    IniSection *clone = section_clone(ini->sections[0], "copy");
    ASSERT_EQ(clone->count, 2501);
    EXPECT_EQ(clone->capacity, 2510);
    for (int i = 0; i < 2500; ++i) {
        ASSERT_EQ(clone->entries[i]->key, "key" + std::to_string(i));
        ASSERT_EQ(clone->entries[i]->value, "v" + std::to_string(i));
    }
    EXPECT_STREQ(clone->entries[2500]->key, "");
    EXPECT_STREQ(clone->entries[2500]->value, "empty key");
    section_destroy(clone);

    IniSection *empty = section_create("e");
    clone = section_clone(empty, "f");
    EXPECT_EQ(clone->count, 0);
    EXPECT_STREQ(clone->name, "f");
    section_destroy(clone);
    section_destroy(empty);
    ini_destroy(ini);
}

// A loaded document may repeat section names and keys; every operation
// takes the first occurrence.
TEST(Model, RepeatsInALoadedDocument)
{
    TempDir dir;
    dir.write("repeats.ini", "[s]\nk=1\nx=0\nk=2\n[t]\n[s]\nk=3\n");
    IniFile *ini = ini_load(dir.path("repeats.ini").c_str());
    ASSERT_NE(ini, nullptr);
    IniSection *first = ini_get_section(ini, "s");
    EXPECT_EQ(first, ini->sections[0]);

    IniSection *clone = section_clone(first, "c");
    EXPECT_EQ(clone->count, 2);
    EXPECT_STREQ(section_get_value(clone, "k"), "1");
    section_destroy(clone);

    EXPECT_EQ(section_set_value(first, "k", "changed"), 0);
    EXPECT_STREQ(first->entries[0]->value, "changed");
    EXPECT_STREQ(first->entries[2]->value, "2");
    EXPECT_EQ(section_remove_key(first, "k"), 0);
    EXPECT_STREQ(section_get_value(first, "k"), "2");

    IniSection *replacement = section_create("s");
    EXPECT_EQ(ini_put_section(ini, replacement), 0);
    EXPECT_EQ(ini->sections[0], replacement);
    EXPECT_STREQ(section_get_value(ini->sections[2], "k"), "3");
    EXPECT_EQ(ini_remove_section(ini, "s"), 0);
    EXPECT_STREQ(section_get_value(ini_get_section(ini, "s"), "k"), "3");
    ini_destroy(ini);
}

}  // namespace

// Like free(), destroying nothing is harmless: without the check this
// dereferences null and the test process dies.
TEST(Model, DestroyingNullIsHarmless)
{
    ini_destroy(nullptr);
    section_destroy(nullptr);
    SUCCEED();
}
