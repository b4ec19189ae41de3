// A file in a folder whose name the ANSI code page (1252 in the Wine runs)
// cannot spell, "Łódź", beside the folder "Lódz", which is what the code
// page makes of that name at best, as a program's char arguments get it:
// UTF-16 paths reach the first, a char path reaches the second.
#include "inifile_filesystem.hpp"
#include "test_files.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const char8_t *const folders[] = {u8"Łódź", u8"Lódz"};

std::string bytes_of(const char8_t *text)
{
    return reinterpret_cast<const char *>(text);
}

// Each loads the file, adds "seen" with the value of k and saves it back.
void add_seen(inifile::Document &ini)
{
    ini.set("s", "seen", std::string(ini.get("s", "k").value_or("")));
}

void through_filesystem_header(const fs::path &file)
{
    inifile::Document ini = inifile::load(file);
    add_seen(ini);
    inifile::save(ini, file);
}

#ifdef _WIN32
void through_wide_functions(const fs::path &file)
{
    inifile::Document ini(ini_load_wide(file.c_str(), nullptr, nullptr));
    add_seen(ini);
    EXPECT_EQ(ini_save_wide(ini.c_document(), file.c_str(), nullptr), 0);
}

// The path as a program's char arguments give it.
void through_char_functions(const fs::path &file)
{
    char path[MAX_PATH];
    ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, file.c_str(), -1, path, MAX_PATH, nullptr, nullptr),
              0);
    inifile::Document ini(ini_load(path));
    add_seen(ini);
    EXPECT_EQ(ini_save(ini.c_document(), path), 0);
}
#endif

// How the file is reached, and the folder whose file gains "seen".
struct PathRow {
    const char *how;
    void (*load_and_save)(const fs::path &file);
    const char8_t *reached;
};

const PathRow path_rows[] = {
    {"inifile_filesystem.hpp", through_filesystem_header, folders[0]},
#ifdef _WIN32
    {"ini_load_wide, ini_save_wide", through_wide_functions, folders[0]},
    {"ini_load, ini_save", through_char_functions, folders[1]},
#endif
};

TEST(WidePaths, AFolderOutsideTheAnsiCodePage)
{
    for (const PathRow &row : path_rows) {
        SCOPED_TRACE(row.how);
        TempDir dir;
        fs::path top(dir.path(""));
        for (const char8_t *folder : folders) {
            fs::create_directory(top / folder);
            std::ofstream(top / folder / "app.ini", std::ios::binary)
                << "[s]\nk=" << bytes_of(folder) << "\n";
        }
        row.load_and_save(top / folders[0] / "app.ini");
        for (const char8_t *folder : folders) {
            std::string name = bytes_of(folder);
            std::ostringstream text;
            text << std::ifstream(top / folder / "app.ini", std::ios::binary).rdbuf();
            EXPECT_EQ(text.str(), "[s]\nk=" + name + "\n" +
                                      (folder == row.reached ? "seen=" + name + "\n" : ""));
            EXPECT_EQ(std::distance(fs::directory_iterator(top / folder), {}), 1)
                << "no temporary left";
        }
    }
}

}  // namespace
