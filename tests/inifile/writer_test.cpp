// Saved files byte for byte: escaping, names written as stored, and what
// the reader makes of the result.
#include "inifile.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <errno.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

struct SaveCase {
    const char *description;  // empty for a refusal: its message tells
    DocShape document;
    int32_t status;
    std::string bytes;                       // the file saved; for -3, why not
    bool reloads = false;                    // whether it loads again
    std::vector<std::string> reloaded = {};  // dump of the reloaded document
};

// How a refusal names a key of section s.
const std::string in_s = R"(section "s", key ")";

const std::vector<SaveCase> &save_cases()
{
    static const std::vector<SaveCase> cases = {
        {"no sections", {}, 0, "", true, {}},
        {"section without entries", {{"s", {}}}, 0, "[s]\n", true, {"[s]"}},
        {"backslash in a value",
         {{"s", {{"k", "C:\\dir"}}}},
         0,
         "[s]\nk=C:\\\\dir\n",
         true,
         {"[s]", "  k=C:\\dir"}},
        {"semicolon in a value",
         {{"s", {{"k", "a;b"}}}},
         0,
         "[s]\nk=a\\;b\n",
         true,
         {"[s]", "  k=a;b"}},
        {"escapes in a key",
         {{"s", {{"a;b\\c", "v"}}}},
         0,
         "[s]\na\\;b\\\\c=v\n",
         true,
         {"[s]", "  a;b\\c=v"}},
        {"value ending in a backslash",
         {{"s", {{"k", "x\\"}}}},
         0,
         "[s]\nk=x\\\\\n",
         true,
         {"[s]", "  k=x\\"}},
        {"empty value", {{"s", {{"k", ""}}}}, 0, "[s]\nk=\n", true, {"[s]", "  k="}},
        {"spaces around a value written, dropped on reading",
         {{"s", {{"k", " x "}}}},
         0,
         "[s]\nk= x \n",
         true,
         {"[s]", "  k=x"}},
        {"names and keys keep inner spaces, brackets and tabs",
         {{" a]\t[", {{"\tk [x]", "v\t"}}}},
         0,
         "[ a]\t[]\n\tk [x]=v\t\n",
         true,
         {"[ a]\t[]", "  \tk [x]=v\t"}},
        {"order of sections and entries",
         {{"b", {{"z", "1"}, {"y", "2"}}}, {"a", {}}, {"c", {{"x", "3"}}}},
         0,
         "[b]\nz=1\ny=2\n[a]\n[c]\nx=3\n",
         true,
         {"[b]", "  z=1", "  y=2", "[a]", "[c]", "  x=3"}},
        {"names with escapes",
         {{"a;b", {}}, {"C:\\dir\\", {}}},
         0,
         "[a\\;b]\n[C:\\\\dir\\\\]\n",
         true,
         {"[a;b]", "[C:\\dir\\]"}},
        {"key beginning with #",
         {{"s", {{"#k", "v"}, {"k#", "#"}}}},
         0,
         "[s]\n\\#k=v\nk#=#\n",
         true,
         {"[s]", "  #k=v", "  k#=#"}},
        // Documents the text cannot hold: refused whole, even after
        // sections that could be written, and told why.
        {"", {{"", {{"k", "v"}}}}, -3, R"(section "": a section name cannot be empty)"},
        {"", {{"ok", {}}, {"a=b", {}}}, -3, R"(section "a=b": a section name cannot hold '=')"},
        {"", {{"a\rb", {}}}, -3, R"(section "a\rb": a section name cannot hold a carriage return)"},
        {"",
         {{std::string(30, 'n') + "\n", {}}},
         -3,  // quoted short
         R"(section ")" + std::string(24, 'n') + R"(...": a section name cannot hold a line feed)"},
        {"", {{"s", {{"", "v"}}}}, -3, in_s + R"(": a key cannot be empty)"},
        {"", {{"s", {{"a=b", "v"}}}}, -3, in_s + R"(a=b": a key cannot hold '=')"},
        {"", {{"s", {{"\r", ""}}}}, -3, in_s + R"(\r": a key cannot hold a carriage return)"},
        {"", {{"s", {{"a\nb", "v"}}}}, -3, in_s + R"(a\nb": a key cannot hold a line feed)"},
        {"", {{"s", {{" k", ""}}}}, -3, in_s + R"( k": a key cannot begin or end with a space)"},
        {"", {{"s", {{"k ", ""}}}}, -3, in_s + R"(k ": a key cannot begin or end with a space)"},
        {"", {{"s", {{"k", "a\nb=c"}}}}, -3, in_s + R"(k": a value cannot hold a line feed)"},
        {"", {{"s", {{"k", "\r"}}}}, -3, in_s + R"(k": a value cannot hold a carriage return)"},
    };
    return cases;
}

TEST(Save, Table)
{
    TempDir dir;
    const std::string old = std::string(300, 'x') + "\n";
    for (const SaveCase &c : save_cases()) {
        SCOPED_TRACE(*c.description != '\0' ? c.description : c.bytes);
        // Saving over an existing, longer file replaces all of it.
        dir.write("save.ini", old);
        IniFile *ini = build_document(c.document);
        EXPECT_EQ(ini_save(ini, dir.path("save.ini").c_str()), c.status);
        IniError error;
        EXPECT_EQ(ini_save_with_error(ini, dir.path("new.ini").c_str(), &error), c.status);
        EXPECT_EQ(error.message, c.status == 0 ? "" : c.bytes);
        EXPECT_EQ(error.kind, c.status == 0 ? INI_ERROR_NONE : INI_ERROR_UNSTORABLE);
        // The same text in memory, or the same refusal.
        size_t length = 1;
        char *text = ini_save_to_memory(ini, &length, &error);
        ASSERT_EQ(text == nullptr, c.status != 0);
        EXPECT_EQ(text != nullptr ? std::string(text, length + 1) : error.message + "\0"s,
                  c.bytes + '\0');
        free(text);
        EXPECT_EQ(document_shape(ini), c.document);  // not changed by saving
        ini_destroy(ini);
        // No temporary is left, and a refused document creates nothing.
        using Names = std::vector<std::string>;
        Names left = c.status == 0 ? Names{"new.ini", "save.ini"} : Names{"save.ini"};
        EXPECT_EQ(dir.names(), left);
        EXPECT_EQ(dir.read("save.ini"), c.status == 0 ? c.bytes : old);
        std::filesystem::remove(dir.path("new.ini"));

        IniFile *reloaded = ini_load(dir.path("save.ini").c_str());
        ASSERT_EQ(reloaded != nullptr, c.reloads);
        if (reloaded != nullptr) {
            EXPECT_EQ(dump_document(reloaded), c.reloaded);
            ini_destroy(reloaded);
        }
    }
}

TEST(Save, LongTextsComeOutWhole)
{
    // A value several times the size of any buffer, escapes all along it,
    // between two short entries, in a section with a name as long.
    TempDir dir;
    std::string long_value;
    std::string escaped;
    for (int i = 0; i < 300000; ++i) {
        char c = i % 7 == 0 ? ';' : i % 11 == 0 ? '\\' : (char)('a' + i % 26);
        long_value += c;
        escaped += c == ';' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    }
    std::string name(2 * 65535 - 1, 'n');  // its ']' fills the writer's 64 KiB exactly
    IniFile *ini = build_document({{name, {{"a", "1"}, {"long", long_value}, {"b", "22"}}}});
    ASSERT_EQ(ini_save(ini, dir.path("long.ini").c_str()), 0);
    EXPECT_EQ(dir.read("long.ini"), "[" + name + "]\na=1\nlong=" + escaped + "\nb=22\n");
    size_t length = 0;
    char *text = ini_save_to_memory(ini, &length, nullptr);
    EXPECT_EQ(std::string(text, length), dir.read("long.ini"));
    free(text);
    ini_destroy(ini);
}

#ifndef _WIN32
TEST(Save, SymbolicLinksAreFollowed)
{
    // Through links relative to the folder each is in, to a file that is
    // there and to one that is not yet: that file is written, the links
    // stay as they were, and no temporary is left anywhere.
    struct LinkCase {
        std::vector<std::pair<std::string, std::string>> links;  // name, text
        std::string file;                                        // where they lead
        size_t names;  // in the folder and sub: the links, sub and the files
    };
    const LinkCase cases[] = {
        {{{"save.ini", "hop"}, {"hop", "sub/hop"}, {"sub/hop", "real.ini"}}, "sub/real.ini", 5},
        {{{"save.ini", "sub/new.ini"}}, "sub/new.ini", 4},
    };
    for (const auto &[links, file, names] : cases) {
        SCOPED_TRACE(file);
        TempDir dir;
        std::filesystem::create_directory(dir.path("sub"));
        dir.write("sub/real.ini", "old\n");
        for (const auto &[name, text] : links)
            std::filesystem::create_symlink(text, dir.path(name));
        IniFile *ini = build_document({{"s", {{"k", "v"}}}});
        EXPECT_EQ(ini_save(ini, dir.path("save.ini").c_str()), 0);
        ini_destroy(ini);
        EXPECT_EQ(dir.read(file), "[s]\nk=v\n");
        for (const auto &[name, text] : links)
            EXPECT_EQ(std::filesystem::read_symlink(dir.path(name)), text);
        EXPECT_EQ(dir.names().size() + dir.names("sub").size(), names);
    }
}

#ifdef __linux__
// The links of /proc tell a size of 0 or 64, whatever their text: a link
// to a file of a long name is followed all the same.
TEST(Save, LinksOfUntoldSizeAreFollowed)
{
    TempDir dir;
    const std::string name = std::string(100, 'r') + ".ini";
    dir.write(name, "old\n");
    int fd = open(dir.path(name).c_str(), O_RDONLY);
    IniFile *ini = build_document({{"s", {{"k", "v"}}}});
    EXPECT_EQ(ini_save(ini, ("/proc/self/fd/" + std::to_string(fd)).c_str()), 0);
    ini_destroy(ini);
    close(fd);
    EXPECT_EQ(dir.read(name), "[s]\nk=v\n");
    EXPECT_EQ(dir.names(), std::vector<std::string>{name});
}
#endif

TEST(Save, WhatIsNoFileIsRefused)
{
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.path("fifo.ini").c_str(), 0644), 0);
    std::filesystem::create_symlink("loop.ini", dir.path("loop.ini"));
    IniFile *ini = build_document({{"s", {{"k", "v"}}}});
    IniError error;
    EXPECT_EQ(ini_save(ini, dir.path("fifo.ini").c_str()), -1);  // not waited for either
    EXPECT_EQ(ini_save_with_error(ini, dir.path("loop.ini").c_str(), &error), -1);
    EXPECT_EQ(error.message, "cannot replace the file: " + system_text(ELOOP));
    ini_destroy(ini);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"fifo.ini", "loop.ini"}));
    EXPECT_TRUE(std::filesystem::is_fifo(dir.path("fifo.ini")));
}

TEST(Save, PermissionBitsAreKept)
{
    TempDir dir;
    mode_t umask_before = umask(022);
    IniFile *ini = build_document({{"s", {{"k", "v"}}}});
    struct stat status;
    for (mode_t mode : {0600, 0640, 0664, 0755}) {
        SCOPED_TRACE(mode);
        dir.write("kept.ini", "old\n");
        ASSERT_EQ(chmod(dir.path("kept.ini").c_str(), mode), 0);
        EXPECT_EQ(ini_save(ini, dir.path("kept.ini").c_str()), 0);
        ASSERT_EQ(stat(dir.path("kept.ini").c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, mode);
    }
    // A new file gets what the umask leaves of read and write for all, even
    // one of the longest name a folder takes.
    const std::string longest(255, 'n');
    EXPECT_EQ(ini_save(ini, dir.path(longest).c_str()), 0);
    ASSERT_EQ(stat(dir.path(longest).c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0644u);
    umask(umask_before);
    ini_destroy(ini);
}
#endif

// A privileged user may write a read-only file anyway: as root this case
// runs again as an unprivileged user (a CTest entry of its own) and skips
// here. Under Windows the read-only attribute is what counts.
TEST(Unprivileged, ReadOnlyFileSurvives)
{
#ifndef _WIN32
    if (geteuid() == 0)
        GTEST_SKIP() << "run as root: the unprivileged run covers this";
#endif
    namespace fs = std::filesystem;
    TempDir dir;
    dir.write("read-only.ini", "old\n");
    const fs::perms write =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(dir.path("read-only.ini"), write, fs::perm_options::remove);
    IniFile *ini = build_document({{"s", {{"k", "v"}}}});
    IniError error;
    EXPECT_EQ(ini_save_with_error(ini, dir.path("read-only.ini").c_str(), &error), -1);
    ini_destroy(ini);
    EXPECT_EQ(std::string(error.message).rfind("cannot replace the file: ", 0), 0u);
    EXPECT_EQ(dir.read("read-only.ini"), "old\n");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"read-only.ini"});
    fs::permissions(dir.path("read-only.ini"), fs::perms::owner_write, fs::perm_options::add);
}

}  // namespace
