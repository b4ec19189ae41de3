// The C++ interface on real files: documents loaded, read through the
// ranges, changed and saved; failures as exceptions; moves; and what a
// const Document allows, checked by the compiler.
#include "fault.h"
#include "inifile.hpp"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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
// Whether any call that hands out views into the document compiles on D
// (an rvalue unless D is a reference), and every call that returns a value
// of its own.
template <typename D>
concept HandsOutAView = (requires { std::declval<D>().get("s", "k"); }) ||
                        (requires { std::declval<D>().section("s"); }) ||
                        (requires { std::declval<D>().sections(); }) ||
                        (requires { std::declval<D>().c_document(); });
template <typename D>
concept ReadsOwnedValues = requires(D &&document)
{
    std::forward<D>(document).get_integer("s", "k");
    std::forward<D>(document).get_real("s", "k");
    std::forward<D>(document).get_boolean("s", "k");
    std::forward<D>(document).contains("s", "k");
    std::forward<D>(document).to_string();
};
using EntryIterator = std::ranges::iterator_t<inifile::EntryRange>;

// Views of a named document only: none of a temporary, which dies at the
// end of the statement; owned values of either.
static_assert(HandsOutAView<const Document &> && !HandsOutAView<Document> &&
              !HandsOutAView<const Document>);
static_assert(ReadsOwnedValues<Document> && ReadsOwnedValues<const Document &>);
static_assert(CanSet<Document> && CanRemove<Document>);
static_assert(!CanSet<const Document> && !CanRemove<const Document>);
static_assert(
    std::is_same_v<decltype(std::declval<const Document &>().c_document()), const IniFile *>);
static_assert(AssignsElement<Entry *> && AssignsMember<Entry *>);
static_assert(!AssignsElement<EntryIterator> && !AssignsMember<EntryIterator>);
static_assert(!std::is_copy_constructible_v<Document> && !std::is_copy_assignable_v<Document>);
static_assert(std::is_nothrow_move_constructible_v<Document> &&
              std::is_nothrow_move_assignable_v<Document>);
static_assert(std::ranges::input_range<inifile::SectionRange> &&
              std::ranges::input_range<inifile::EntryRange>);

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
    auto found = std::ranges::find(sections, "t"sv, &inifile::SectionView::name);
    ASSERT_EQ(std::distance(sections.begin(), found), 1);
    EXPECT_EQ(found->entries().begin()->key, "x");
    EXPECT_EQ(std::next(sections[2].entries().begin())->value, "9");
    EXPECT_EQ(sections[2].get("z"), "9");
}

struct ChangeStep {
    const char *description;
    char action;  // s: set, r: remove, d: remove the section, x: set refused
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
        {"remove the first k: the entries after it keep their order", 'r', "s", "k", "", true},
        {"remove the next k", 'r', "s", "k", "", true},
        {"no k left in the first s", 'r', "s", "k", "", false},
        {"no such section", 'r', "u", "k", "", false},
        {"remove a section: the sections after it keep their order", 'd', "gone", "", "", true},
        {"no such section to remove", 'd', "gone", "", "", false},
        {"zero byte in a name", 'x', "s\0t"sv, "k", "v", false},
        {"zero byte in a key", 'x', "s", "k\0x"sv, "v", false},
        {"zero byte in a value", 'x', "s", "k", "v\0w"sv, false},
    };
    Document document = Document::parse("[gone]\n" + dir.read("in.ini"));
    for (const ChangeStep &step : steps) {
        SCOPED_TRACE(step.description);
        if (step.action == 's')
            document.set(step.section, step.key, step.value);
        else if (step.action == 'r')
            EXPECT_EQ(document.remove(step.section, step.key), step.removed);
        else if (step.action == 'd')
            EXPECT_EQ(document.remove_section(step.section), step.removed);
        else
            EXPECT_THROW(document.set(step.section, step.key, step.value), std::invalid_argument);
    }
    const std::string text = "[s]\nkey=long\n[t]\nx=set\n[s]\nk=3\nz=9\n[new one]\na=b\\;c\n";
    EXPECT_EQ(document.to_string(), text);
    document.save(dir.path("out.ini"));
    EXPECT_EQ(dir.read("out.ini"), text);
    const Document saved = Document::load(dir.path("out.ini"));
    EXPECT_EQ(saved.get("new one", "a"), "b;c");
}

TEST_F(CppDocument, MovesKeepTheViews)
{
    Document source(ini_load(dir.path("in.ini").c_str()));
    std::string_view value = *source.get("s", "k");
    Document target(std::move(source));
    EXPECT_EQ(value, "1");  // views outlive the move
    // NOLINTNEXTLINE(bugprone-use-after-move): a moved-from document takes another
    source = std::move(target);
    EXPECT_EQ(source.get("t", "x"), "");
    const Document none(nullptr);
    EXPECT_TRUE(none.sections().empty());
}

struct ValueCase {
    const char *value;
    std::optional<long long> integer;
    std::optional<double> real;
    std::optional<bool> boolean;
};

TEST(CppValues, IntegersRealsAndBooleans)
{
    const std::nullopt_t none = std::nullopt;
    const ValueCase cases[] = {
        {"42", 42, 42.0, none},
        {"+7", 7, 7.0, none},
        {"-0012", -12, -12.0, none},
        {"1", 1, 1.0, true},
        {"0", 0, 0.0, false},
        {"-.5e3", none, -500.0, none},
        {"9223372036854775808", none, 9223372036854775808.0, none},
        {"1e999", none, none, none},
        {"inf", none, none, none},
        {"-nan", none, none, none},
        {"12 ", none, none, none},
        {"+-1", none, none, none},
        {"0x10", none, none, none},
        {"YES", none, none, true},
        {"On", none, none, true},
        {"TrUe", none, none, true},
        {"no", none, none, false},
        {"OFF", none, none, false},
        {"False", none, none, false},
    };
    Document document;
    for (const ValueCase &c : cases) {
        SCOPED_TRACE(c.value);
        document.set("s", "k", c.value);
        EXPECT_EQ(document.get_integer("s", "k"), c.integer);
        EXPECT_EQ(document.get_real("s", "k"), c.real);
        EXPECT_EQ(document.get_boolean("s", "k"), c.boolean);
    }
    EXPECT_FALSE(document.contains("s", "missing") || document.get_integer("s", "missing"));
    // Owned values come from a temporary document too.
    EXPECT_EQ(Document::parse("[s]\nk = 5 ; five").get_integer("s", "k"), 5);
    EXPECT_TRUE(Document::parse("[s]\nk=").contains("s", "k"));
    EXPECT_THROW(Document::parse("[s]\noops"), inifile::LoadError);
    // The dialect of a load is the document's, and what it reads by.
    const Document common = Document::parse("[s]\nk = a;b\n", inifile::common_options());
    EXPECT_EQ(common.get("s", "k"), "a;b");
    EXPECT_EQ(common.options().flags, inifile::common_options().flags);
    EXPECT_THROW(Document(inifile::Options{1u << 30, {}}), std::invalid_argument);
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
         "cannot open the file: the path holds a zero byte"},
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
            EXPECT_EQ(error.system_error() != 0, c.name == "absent.ini");
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
        {"zero byte in the path", "out.ini\0.x"s, 0, -1,
         "cannot create the file: the path holds a zero byte"},
        {"a write fails", "written.ini", 1, -2, "writing the new file failed: "},
        {"a name the text cannot hold", "out.ini", 0, -3, "section \"a=b\": "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.description);
        Document document;
        document.set(c.status == -3 ? "a=b" : "s", "k", "v");
        // The text in memory is refused the same way, and only then.
        if (c.status == -3) {
            EXPECT_THROW(document.to_string(), inifile::SaveError);
        } else {
            EXPECT_EQ(document.to_string(), "[s]\nk=v\n");
        }
        fault_arm(FAULT_WRITE, c.failing_write);
        try {
            document.save(dir.path(c.name));
            ADD_FAILURE() << "saved";
        } catch (const inifile::SaveError &error) {
            EXPECT_EQ(error.status(), c.status);
            EXPECT_EQ(std::string(error.what()).rfind(c.message_start, 0), 0u) << error.what();
        }
        fault_arm(FAULT_WRITE, 0);
        EXPECT_FALSE(std::filesystem::exists(dir.path("out.ini")));
    }
}

}  // namespace
