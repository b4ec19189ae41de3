// Other dialects, switch by switch and the common preset as a whole: what
// a load reads, and that what a save writes of it reads back the same with
// the same options; then documents built by calls, written in a dialect,
// or refused naming the switch that cannot carry them.
#include "inifile.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

namespace {

IniOptions with(uint32_t flags)
{
    IniOptions options = {};
    options.flags = flags;
    return options;
}

IniOptions common()
{
    IniOptions options;
    ini_options_common(&options);
    return options;
}

std::string lines(const IniFile *ini)
{
    std::string text;
    for (const std::string &line : dump_document(ini))
        text += line + "\n";
    return text;
}

struct DialectCase {
    const char *description;
    IniOptions options;
    std::string bytes;
    std::string dump;  // as dump_document gives it, each line ended by a line feed
    std::string failure{};
};

TEST(Dialects, ReadAndReadBackWhatIsSaved)
{
    const IniOptions preset = common();
    const std::vector<DialectCase> cases = {
        {"backslashes are text", preset, "[s]\npath = C:\\dir\\new\nre = ^\\d+$\n",
         "[s]\n  path=C:\\dir\\new\n  re=^\\d+$\n"},
        {"a trailing backslash continues nothing", preset, "[s]\nk = D:\\Merge\\\ny = 1\n",
         "[s]\n  k=D:\\Merge\\\n  y=1\n"},
        {"';' inside a line is text", preset, "[s]\nurl = x/?a=1;b=2 ; note\n",
         "[s]\n  url=x/?a=1;b=2 ; note\n"},
        {"comment lines after blanks", preset, "  # c\n\t; c\n[s]\n", "[s]\n"},
        {"tab-indented keys stay keys", preset, "[user]\n\tname = A\n\temail\t= b\n",
         "[user]\n  name=A\n  email=b\n"},
        {"keys indented alike stay keys", preset, "[global]\n   a = 1\n   b = 2\n",
         "[global]\n  a=1\n  b=2\n"},
        {"':' delimits, the first delimiter ends the key", preset, "[s]\na: b = c\nd = e: f\n",
         "[s]\n  a=b = c\n  d=e: f\n"},
        {"indented lines continue a value", preset,
         "[run]\nomit =\n    */tests/*\n\n  # c\n    x = y\n\n\nk = v\n",
         "[run]\n  omit=\n*/tests/*\n\nx = y\n  k=v\n"},
        {"entries before the first header", preset, "x=1\n[s]\ny=2\n", "[]\n  x=1\n[s]\n  y=2\n"},
        {"keys without a delimiter", preset, "[mysqld]\nskip-locking\n[x\n",
         "[mysqld]\n  skip-locking=\n  [x=\n"},
        {"headers with comments", preset, "[s] ; note\n[t]# note\n[u]]\n", "[s]\n[t]\n[u]]\n"},
        {"a header wherever it stands", preset, "[s]\nk=v\n[program:cat]\n",
         "[s]\n  k=v\n[program:cat]\n"},
        {"a byte-order mark skipped", preset, "\xEF\xBB\xBF[s]\nk=v\n", "[s]\n  k=v\n"},
        {"an empty key", preset, "[s]\n = v\n", "",
         "line 2: neither a [section] header nor a key=value line"},
        {"a zero byte", preset, std::string("[s]\nk=\0\n", 7), "",
         "line 2: a zero byte, which no ANSI or UTF-8 text holds (UTF-16 without a byte-order "
         "mark?)"},
        {"comments after a blank", with(INI_COMMENT_AFTER_BLANK),
         "[s]\nk = v ; note\nurl=a;b\\;c #x\n", "[s]\n  k=v\n  url=a;b;c\n"},
        {"a header after keys without a delimiter", with(INI_KEY_WITHOUT_DELIMITER),
         "[a]\nk\n[b]\n[c=d]\n", "[a]\n  k=\n[b]\n  [c=d]\n"},
        {"tabs trimmed", with(INI_TAB_IS_BLANK), "\t[s]\t\n\tk\t=\tv\t;c\n", "[s]\n  k=v\n"},
        {"':' with escapes", with(INI_COLON_DELIMITS), "[s]\nk:v\\;w\n", "[s]\n  k=v;w\n"},
        {"continuation with escapes", with(INI_INDENTED_CONTINUATION), "[s]\nk=a\n  b\\;c\n",
         "[s]\n  k=a\nb;c\n"},
        {"unknown switches refused", with(1u << 30), "[s]\n", "",
         "the options hold a switch this library does not know (flags 0x40000000, reserved "
         "fields 0)"},
    };
    for (const DialectCase &c : cases) {
        SCOPED_TRACE(c.description);
        IniError error;
        IniFile *ini =
            ini_load_from_memory_with_options(c.bytes.data(), c.bytes.size(), &c.options, &error);
        EXPECT_EQ(error.message, c.failure);
        if (ini == nullptr)
            continue;
        EXPECT_EQ(lines(ini), c.dump);
        size_t length = 0;
        char *saved = ini_save_to_memory(ini, &length, &error);
        ASSERT_NE(saved, nullptr) << error.message;
        IniFile *again = ini_load_from_memory_with_options(saved, length, &c.options, &error);
        ASSERT_NE(again, nullptr) << error.message << "\n" << saved;
        EXPECT_EQ(lines(again), c.dump) << saved;
        free(saved);
        ini_destroy(again);
        ini_destroy(ini);
    }
}

struct WriteCase {
    IniOptions options;
    DocShape shape;
    std::string text;  // or, when the save refuses, its message
};

TEST(Dialects, WriteOrRefuseNamingTheSwitch)
{
    const IniOptions preset = common();
    const std::vector<WriteCase> cases = {
        {preset,
         {{"", {{"top", "1"}}}, {"s", {{"k", "a\n\nb;c\\"}, {"x", "#y"}}}},
         "top=1\n[s]\nk=a\n\n    b;c\\\nx=#y\n"},
        {preset,
         {{"s", {{"k", "a\n#b"}}}},
         "section \"s\", key \"k\": a value cannot hold '#' where it starts a comment "
         "(INI_COMMENT_AT_LINE_START with INI_BACKSLASH_IS_TEXT)"},
        {preset,
         {{"s", {{"k", "a\n"}}}},
         "section \"s\", key \"k\": a value cannot end with a line feed "
         "(INI_INDENTED_CONTINUATION)"},
        {preset,
         {{"s", {{"a:b", "v"}}}},
         "section \"s\", key \"a:b\": a key cannot hold ':' (INI_COLON_DELIMITS)"},
        {preset,
         {{"s", {{"\tk", "v"}}}},
         "section \"s\", key \"\tk\": a key cannot begin or end with a tab (INI_TAB_IS_BLANK)"},
        {preset,
         {{"s", {}}, {"", {}}},
         "section \"\": a section name cannot be empty, but in the first section "
         "(INI_ENTRIES_BEFORE_HEADER)"},
        {preset,
         {{"", {{"[a", "b]"}}}},
         "section \"\", key \"[a\": a key cannot begin a line that reads as a header "
         "(INI_ENTRIES_BEFORE_HEADER)"},
        {with(INI_BACKSLASH_IS_TEXT),
         {{"s", {{"k", "a;b"}}}},
         "section \"s\", key \"k\": a value cannot hold ';' where it starts a comment "
         "(INI_BACKSLASH_IS_TEXT)"},
        {with(INI_COMMENT_AFTER_BLANK | INI_BACKSLASH_IS_TEXT),
         {{"s", {{"k", "a ;b"}}}},
         "section \"s\", key \"k\": a value cannot hold ';' where it starts a comment "
         "(INI_COMMENT_AFTER_BLANK with INI_BACKSLASH_IS_TEXT)"},
        {with(INI_TAB_IS_BLANK), {{"a=b", {}}}, "section \"a=b\": a section name cannot hold '='"},
        {with(INI_TAB_IS_BLANK),
         {{"s", {{"a=b", "v"}}}},
         "section \"s\", key \"a=b\": a key cannot hold '='"},
        {with(INI_TAB_IS_BLANK),
         {{"s", {{"", "v"}}}},
         "section \"s\", key \"\": a key cannot be empty"},
        {with(INI_TAB_IS_BLANK),
         {{"s", {{"k\nx", "v"}}}},
         "section \"s\", key \"k\\nx\": a key cannot hold a line feed"},
        {preset,
         {{"", {{"[a", "b] ;c"}}}},
         "section \"\", key \"[a\": a key cannot begin a line that reads as a header "
         "(INI_ENTRIES_BEFORE_HEADER)"},
        {with(INI_COMMENT_AFTER_BLANK),
         {{"s", {{"k", "a ;b;c"}, {";k", "x"}}}},
         "[s]\nk=a \\;b;c\n\\;k=x\n"},
    };
    for (const WriteCase &c : cases) {
        SCOPED_TRACE(c.text);
        IniFile *ini = ini_create_with_options(&c.options);
        for (const SectionShape &s : c.shape) {
            IniSection *section = section_create(s.name.c_str());
            for (const auto &entry : s.entries)
                section_set_value(section, entry.first.c_str(), entry.second.c_str());
            ini_put_section(ini, section);
        }
        IniError error;
        size_t length = 0;
        char *saved = ini_save_to_memory(ini, &length, &error);
        EXPECT_EQ(saved != nullptr ? std::string(saved, length) : std::string(error.message),
                  c.text);
        EXPECT_EQ(ini_save(ini, "/nonexistent/x.ini"), saved != nullptr ? -1 : -3);
        free(saved);
        ini_destroy(ini);
    }
}

}  // namespace
