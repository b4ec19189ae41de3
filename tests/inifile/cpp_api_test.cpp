// The C++ interface on real files: documents loaded, read through the
// ranges, changed and saved; failures as exceptions; moves; and what a
// const Document allows, checked by the compiler.
#include "fault.h"
#include "inifile.hpp"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

using namespace std::string_literals;
using namespace std::string_view_literals;
using inifile::Document;
using inifile::Entry;

namespace {

template <typename D>
concept CanSet = requires(D &document, std::string_view text)
{
    document.set(text, text, text);
};
template <typename D>
concept CanRemove = requires(D &document, std::string_view text)
{
    document.remove(text, text);
};
template <typename I>
concept AssignsElement = requires(I it, Entry entry)
{
    *it = entry;
};
template <typename I>
concept AssignsMember = requires(I it, std::string_view text)
{
    (*it).value = text;
};
using EntryIterator = std::ranges::iterator_t<inifile::EntryRange>;

static_assert(CanSet<Document> && CanRemove<Document>);
static_assert(!CanSet<const Document> && !CanRemove<const Document>);
static_assert(
    std::is_same_v<decltype(std::declval<const Document &>().c_document()), const IniFile *>);
static_assert(AssignsElement<Entry *> && AssignsMember<Entry *>);
static_assert(!AssignsElement<EntryIterator> && !AssignsMember<EntryIterator>);
static_assert(!std::is_copy_constructible_v<Document> && !std::is_copy_assignable_v<Document>);
static_assert(std::is_nothrow_move_constructible_v<Document> &&
              std::is_nothrow_move_assignable_v<Document>);
static_assert(std::ranges::random_access_range<inifile::SectionRange> &&
              std::ranges::borrowed_range<inifile::SectionRange>);

// Sections "[name]" and entries "  key=value", through the ranges.
std::vector<std::string> dump(const Document &document)
{
    std::vector<std::string> lines;
    for (const inifile::SectionView &section : document.sections()) {
        lines.push_back("[" + std::string(section.name()) + "]");
        for (const auto &[key, value] : section.entries())
            lines.push_back("  " + std::string(key) + "=" + std::string(value));
    }
    return lines;
}

// A repeated section, repeated keys and an empty value, in in.ini.
class CppDocument : public testing::Test {
  protected:
    TempDir dir;
    void SetUp() override
    {
        dir.write("in.ini", "[s]\nk=1\nk=2\nkey=long\n[t]\nx=\n[s]\nk=3\nz=9\n");
    }
};

struct GetCase {
    const char *description;
    std::string_view section;
    std::string_view key;
    std::optional<std::string_view> value;
};

TEST_F(CppDocument, ReadsInDocumentOrder)
{
    const GetCase cases[] = {
        {"first of a repeated key", "s", "k", "1"},
        {"empty value", "t", "x", ""},
        {"only the first section of a name", "s", "z", std::nullopt},
        {"prefix of a key", "s", "ke", std::nullopt},
        {"key and more", "s", "keys", std::nullopt},
        {"substrings with text after them", "sx"sv.substr(0, 1), "keyboard"sv.substr(0, 3), "long"},
        {"zero byte in a key", "s", "k\0"sv, std::nullopt},
        {"names are case-sensitive", "S", "k", std::nullopt},
    };
    const Document document = Document::load(dir.path("in.ini"));
    EXPECT_EQ(dump(document), (std::vector<std::string>{"[s]", "  k=1", "  k=2", "  key=long",
                                                        "[t]", "  x=", "[s]", "  k=3", "  z=9"}));
    for (const GetCase &c : cases) {
        SCOPED_TRACE(c.description);
        EXPECT_EQ(document.get(c.section, c.key), c.value);
    }
    ASSERT_NE(ini_get_section(document.c_document(), "t"), nullptr);

    inifile::SectionRange sections = document.sections();
    auto found = std::ranges::find(document.sections(), "t"sv, &inifile::SectionView::name);
    ASSERT_EQ(found - sections.begin(), 1);
    EXPECT_EQ((*--found).name(), "s");
    EXPECT_EQ(found[2].entries()[1].key, "z");
    EXPECT_EQ(sections[2].get("z"), "9");
}

struct ChangeStep {
    const char *description;
    char action;  // s: set, r: remove, x: set refused
    std::string_view section;
    std::string_view key;
    std::string_view value;
    bool removed;
};

TEST_F(CppDocument, ChangesAndSaves)
{
    const ChangeStep steps[] = {
        {"set the first of a repeated key", 's', "s", "k", "9", false},
        {"set in a new section", 's', "new one", "a", "b;c", false},
        {"set through substrings", 's', "tx"sv.substr(0, 1), "xy"sv.substr(0, 1), "set", false},
        {"remove the first k: the last entry takes its place", 'r', "s", "k", "", true},
        {"remove the next k", 'r', "s", "k", "", true},
        {"no k left in the first s", 'r', "s", "k", "", false},
        {"no such section", 'r', "u", "k", "", false},
        {"zero byte in a name", 'x', "s\0t"sv, "k", "v", false},
        {"zero byte in a key", 'x', "s", "k\0x"sv, "v", false},
        {"zero byte in a value", 'x', "s", "k", "v\0w"sv, false},
    };
    Document document = Document::load(dir.path("in.ini"));
    for (const ChangeStep &step : steps) {
        SCOPED_TRACE(step.description);
        if (step.action == 's')
            document.set(step.section, step.key, step.value);
        else if (step.action == 'r')
            EXPECT_EQ(document.remove(step.section, step.key), step.removed);
        else
            EXPECT_THROW(document.set(step.section, step.key, step.value), std::invalid_argument);
    }
    document.save(std::filesystem::path(dir.path("out.ini")));
    EXPECT_EQ(dir.read("out.ini"),
              "[s]\nkey=long\n[t]\nx=set\n[s]\nk=3\nz=9\n[new one]\na=b\\;c\n");
    EXPECT_EQ(Document::load(dir.path("out.ini").c_str()).get("new one", "a"), "b;c");
}

TEST_F(CppDocument, MovedFromIsEmptyAndUsable)
{
    Document source(ini_load(dir.path("in.ini").c_str()));
    std::string_view value = *source.get("s", "k");
    Document target(std::move(source));
    EXPECT_EQ(value, "1");  // views outlive the move
    // NOLINTBEGIN(bugprone-use-after-move): the moved-from state is the subject
    EXPECT_EQ(source.c_document(), nullptr);
    EXPECT_EQ(source.get("s", "k"), std::nullopt);
    EXPECT_FALSE(source.remove("s", "k"));
    source.save(dir.path("empty.ini"));
    EXPECT_EQ(dir.read("empty.ini"), "");
    source.set("a", "b", "c");
    EXPECT_EQ(dump(source), (std::vector<std::string>{"[a]", "  b=c"}));
    source = std::move(target);
    EXPECT_EQ(source.get("s", "k"), "1");
    EXPECT_TRUE(target.sections().empty());
    Document &alias = source;
    source = std::move(alias);
    EXPECT_EQ(source.get("t", "x"), "");
    // NOLINTEND(bugprone-use-after-move)
}

struct LoadFailure {
    const char *description;
    std::string name;   // of the path given; a file is written under the
    const char *bytes;  // name up to any zero byte, unless bytes is null
    IniErrorKind kind;
    int line;
    const char *message_start;
};

TEST_F(CppDocument, LoadErrors)
{
    const LoadFailure cases[] = {
        {"missing file", "absent.ini", nullptr, INI_ERROR_OPEN, 0, "cannot open the file: "},
        {"line that is neither", "bad.ini", "[s]\nk=v\noops\n", INI_ERROR_SYNTAX, 3, "line 3: "},
        {"entry before a header", "early.ini", "\nk=v\n", INI_ERROR_SYNTAX, 2, "line 2: "},
        {"zero byte in the path", "in.ini\0.x"s, nullptr, INI_ERROR_OPEN, 0,
         "cannot open the file: "},
    };
    for (const LoadFailure &c : cases) {
        SCOPED_TRACE(c.description);
        if (c.bytes != nullptr)
            dir.write(c.name, c.bytes);
        try {
            Document::load(dir.path(c.name));
            ADD_FAILURE() << "loaded";
        } catch (const inifile::LoadError &error) {
            EXPECT_EQ(error.kind(), c.kind);
            EXPECT_EQ(error.line(), c.line);
            EXPECT_EQ(error.system_error() != 0, c.kind == INI_ERROR_OPEN);
            EXPECT_EQ(std::string(error.what()).rfind(c.message_start, 0), 0u) << error.what();
        }
    }
}

TEST_F(CppDocument, SaveErrors)
{
    const struct {
        const char *description;
        std::string name;
        uint32_t failing_write;  // 0: none
        int status;
        const char *message_start;
    } cases[] = {
        {"folder that does not exist", "absent/out.ini", 0, -1, "cannot create the new file: "},
        {"zero byte in the path", "out.ini\0.x"s, 0, -1, "cannot create the new file: "},
        {"a write fails", "written.ini", 1, -2, "writing the new file failed: "},
    };
    Document document;
    document.set("s", "k", "v");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.description);
        fault_arm(FAULT_WRITE, c.failing_write);
        try {
            document.save(dir.path(c.name));
            ADD_FAILURE() << "saved";
        } catch (const inifile::SaveError &error) {
            EXPECT_EQ(error.status(), c.status);
            EXPECT_NE(error.system_error(), 0);
            EXPECT_EQ(std::string(error.what()).rfind(c.message_start, 0), 0u) << error.what();
        }
        fault_arm(FAULT_WRITE, 0);
        EXPECT_FALSE(std::filesystem::exists(dir.path("out.ini")));
    }
}

#ifdef _WIN32
// A wide path goes to the file functions in the ANSI code page (1252 under
// Wine): a name the page cannot spell must not fall back to a look-alike.
// A narrow path is already in that page and goes as given.
TEST_F(CppDocument, WidePathsTheCodePageCannotSpellAreRefused)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "code page " << GetACP();
    const std::filesystem::path folder = dir.path("");
    const std::filesystem::path e_acute = folder / u8"\u00e9.ini";
    const std::filesystem::path polish = folder / u8"\u0141\u00f3d\u017a.ini";
    const std::filesystem::path look_alike = folder / u8"L\u00f3dz.ini";
    std::ofstream(e_acute) << "[e acute]\n";
    std::ofstream(polish) << "[polish]\n";
    std::ofstream(look_alike) << "[look-alike]\n";
    EXPECT_EQ(Document::load(e_acute).sections()[0].name(), "e acute");
    EXPECT_EQ(Document::load(dir.path("") + "\xE9.ini").sections()[0].name(), "e acute");
    EXPECT_THROW(Document::load(polish), inifile::LoadError);
    EXPECT_THROW(Document().save(polish), inifile::SaveError);
    EXPECT_EQ(Document::load(look_alike).sections()[0].name(), "look-alike");
}
#endif

}  // namespace
