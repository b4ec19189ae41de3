// Saved files byte for byte: escaping, names written as stored, and what
// the reader makes of the result.
#include "inifile.h"
#include "test_files.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct SaveCase {
    const char *description;
    DocShape document;
    int32_t status;
    std::string bytes;                       // the file saved
    bool reloads = false;                    // whether it loads again
    std::vector<std::string> reloaded = {};  // dump of the reloaded document
};

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
        // Documents the text cannot hold: refused whole, even after
        // sections that could be written.
        {"empty name", {{"", {{"k", "v"}}}}, -3, ""},
        {"name holding ;", {{"ok", {}}, {"a;b", {}}}, -3, ""},
        {"name holding \\", {{"a\\b", {}}}, -3, ""},
        {"name holding =", {{"a=b", {}}}, -3, ""},
        {"name holding a carriage return", {{"a\rb", {}}}, -3, ""},
        {"name holding a line feed", {{"a\nb", {}}}, -3, ""},
        {"empty key", {{"s", {{"", "v"}}}}, -3, ""},
        {"key holding =", {{"s", {{"a=b", "v"}}}}, -3, ""},
        {"key holding a carriage return", {{"s", {{"a\rb", "v"}}}}, -3, ""},
        {"key holding a line feed", {{"s", {{"a\nb", "v"}}}}, -3, ""},
        {"key beginning with a space", {{"s", {{" k", "v"}}}}, -3, ""},
        {"key ending with a space", {{"s", {{"k ", "v"}}}}, -3, ""},
        {"value injecting a key", {{"s", {{"k", "a\nb=c"}}}}, -3, ""},
        {"value holding a carriage return", {{"s", {{"k", "a\rb"}}}}, -3, ""},
    };
    return cases;
}

TEST(Save, Table)
{
    TempDir dir;
    const std::string old = std::string(300, '#') + "\n";
    for (const SaveCase &c : save_cases()) {
        SCOPED_TRACE(c.description);
        // Saving over an existing, longer file replaces all of it.
        dir.write("save.ini", old);
        IniFile *ini = build_document(c.document);
        EXPECT_EQ(ini_save(ini, dir.path("save.ini").c_str()), c.status);
        EXPECT_EQ(ini_save(ini, dir.path("new.ini").c_str()), c.status);
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
    std::string name(200000, 'n');
    IniFile *ini = build_document({{name, {{"a", "1"}, {"long", long_value}, {"b", "22"}}}});
    ASSERT_EQ(ini_save(ini, dir.path("long.ini").c_str()), 0);
    EXPECT_EQ(dir.read("long.ini"), "[" + name + "]\na=1\nlong=" + escaped + "\nb=22\n");
    ini_destroy(ini);
}

// What stands at the path before a save, and what the save makes of it.
TEST(Save, FolderInPlaceIsRefused)
{
    TempDir dir;
    std::filesystem::create_directory(dir.path("save.ini"));
    IniFile *ini = build_document({{"s", {{"k", "v"}}}});
    EXPECT_EQ(ini_save(ini, dir.path("save.ini").c_str()), -1);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path("save.ini")));
    EXPECT_EQ(dir.names(), std::vector<std::string>{"save.ini"});
    ini_destroy(ini);
}

#ifndef _WIN32
struct LinkCase {
    const char *description;
    std::vector<std::pair<std::string, std::string>> links;  // name, text
    std::string file;                                        // where they lead
    std::vector<std::string> top, sub;                       // what the folder and sub hold after
};

TEST(Save, SymbolicLinksAreFollowed)
{
    const std::vector<LinkCase> cases = {
        {"relative link into a folder",
         {{"save.ini", "sub/real.ini"}},
         "sub/real.ini",
         {"save.ini", "sub"},
         {"real.ini"}},
        {"chain of two links",
         {{"save.ini", "hop"}, {"hop", "sub/real.ini"}},
         "sub/real.ini",
         {"hop", "save.ini", "sub"},
         {"real.ini"}},
        {"link in a folder, relative to it",
         {{"save.ini", "sub/hop"}, {"sub/hop", "real.ini"}},
         "sub/real.ini",
         {"save.ini", "sub"},
         {"hop", "real.ini"}},
        {"link to a file not there yet",
         {{"save.ini", "sub/new.ini"}},
         "sub/new.ini",
         {"save.ini", "sub"},
         {"new.ini", "real.ini"}},
    };
    for (const LinkCase &c : cases) {
        SCOPED_TRACE(c.description);
        TempDir dir;
        std::filesystem::create_directory(dir.path("sub"));
        dir.write("sub/real.ini", "old\n");
        for (const auto &link : c.links)
            std::filesystem::create_symlink(link.second, dir.path(link.first));
        IniFile *ini = build_document({{"s", {{"k", "v"}}}});
        EXPECT_EQ(ini_save(ini, dir.path("save.ini").c_str()), 0);
        ini_destroy(ini);
        EXPECT_EQ(dir.read(c.file), "[s]\nk=v\n");
        for (const auto &link : c.links)
            EXPECT_EQ(std::filesystem::read_symlink(dir.path(link.first)), link.second);
        EXPECT_EQ(dir.names(), c.top);
        EXPECT_EQ(dir.names("sub"), c.sub);
    }
}

TEST(Save, WhatIsNoFileIsRefused)
{
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.path("fifo.ini").c_str(), 0644), 0);
    std::filesystem::create_symlink("loop.ini", dir.path("loop.ini"));
    std::filesystem::create_symlink("/dev/null", dir.path("device.ini"));
    IniFile *ini = build_document({{"s", {{"k", "v"}}}});
    for (const char *name : {"fifo.ini", "loop.ini", "device.ini"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ini_save(ini, dir.path(name).c_str()), -1);
    }
    ini_destroy(ini);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"device.ini", "fifo.ini", "loop.ini"}));
    EXPECT_TRUE(std::filesystem::is_fifo(dir.path("fifo.ini")));
}

TEST(Save, PermissionBitsAreKept)
{
    TempDir dir;
    mode_t umask_before = umask(022);
    IniFile *ini = build_document({{"s", {{"k", "v"}}}});
    for (mode_t mode : {0600, 0640, 0664, 0755}) {
        SCOPED_TRACE(mode);
        dir.write("kept.ini", "old\n");
        ASSERT_EQ(chmod(dir.path("kept.ini").c_str(), mode), 0);
        EXPECT_EQ(ini_save(ini, dir.path("kept.ini").c_str()), 0);
        struct stat status;
        ASSERT_EQ(stat(dir.path("kept.ini").c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, mode);
    }
    // A new file gets what the umask leaves of read and write for all.
    EXPECT_EQ(ini_save(ini, dir.path("new.ini").c_str()), 0);
    struct stat status;
    ASSERT_EQ(stat(dir.path("new.ini").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0644u);
    umask(umask_before);
    ini_destroy(ini);
}
#endif

// Read-only files and folders, which a privileged user may write anyway:
// as root these cases run again as an unprivileged user (a CTest entry of
// their own) and skip here.
TEST(Unprivileged, ReadOnlyTargetsSurvive)
{
#ifndef _WIN32
    if (geteuid() == 0)
        GTEST_SKIP() << "run as root: the unprivileged run covers this";
#endif
    TempDir dir;
    namespace fs = std::filesystem;
    const fs::perms write_bits =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    IniFile *ini = build_document({{"s", {{"k", "v"}}}});
    dir.write("read-only.ini", "old\n");
    fs::permissions(dir.path("read-only.ini"), write_bits, fs::perm_options::remove);
    EXPECT_EQ(ini_save(ini, dir.path("read-only.ini").c_str()), -1);
    EXPECT_EQ(dir.read("read-only.ini"), "old\n");
#ifndef _WIN32
    // A writable file in a folder that is not: no temporary can be made.
    fs::create_directory(dir.path("locked"));
    dir.write("locked/file.ini", "old\n");
    fs::permissions(dir.path("locked"), write_bits, fs::perm_options::remove);
    EXPECT_EQ(ini_save(ini, dir.path("locked/file.ini").c_str()), -1);
    EXPECT_EQ(dir.read("locked/file.ini"), "old\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path("locked")), {}), 1);
    fs::permissions(dir.path("locked"), fs::perms::owner_all, fs::perm_options::add);
#endif
    std::vector<std::string> names = dir.names();
    names.erase(std::remove(names.begin(), names.end(), "locked"), names.end());
    EXPECT_EQ(names, std::vector<std::string>{"read-only.ini"});
    fs::permissions(dir.path("read-only.ini"), fs::perms::owner_write, fs::perm_options::add);
    ini_destroy(ini);
}

}  // namespace
