// Łódź, which the ANSI code page (1252 in the Wine runs) cannot spell, beside
// Lódz, its best fit, which a char path reaches instead (as char arguments do).
#include "inifile_filesystem.hpp"
#include "test_files.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const char *const folders[] = {"Łódź", "Lódz"};  // UTF-8

enum class Via { filesystem_header, wide_functions, char_functions };

// Loads the file and saves it back, in the writer's layout.
void load_and_save(Via via, const fs::path &file)
{
    if (via == Via::filesystem_header)
        return inifile::save(inifile::load(file), file);
#ifdef _WIN32
    char ansi[MAX_PATH] = "";
    WideCharToMultiByte(CP_ACP, 0, file.c_str(), -1, ansi, MAX_PATH, nullptr, nullptr);
    bool wide = via == Via::wide_functions;
    inifile::Document ini(wide ? ini_load_wide(file.c_str(), nullptr, nullptr) : ini_load(ansi));
    EXPECT_EQ(wide ? ini_save_wide(ini.c_document(), file.c_str(), nullptr)
                   : ini_save(ini.c_document(), ansi),
              0);
#endif
}

// Each way, and the folder whose file it rewrites.
const struct {
    Via via;
    const char *reached;
} path_rows[] = {
    {Via::filesystem_header, folders[0]},
#ifdef _WIN32
    {Via::wide_functions, folders[0]},
    {Via::char_functions, folders[1]},
#endif
};

TEST(WidePaths, AFolderOutsideTheAnsiCodePage)
{
    for (const auto &row : path_rows) {
        SCOPED_TRACE(static_cast<int>(row.via));
        TempDir dir;
        auto in = [&](const char *folder) {
            return fs::path(dir.path("")) / reinterpret_cast<const char8_t *>(folder);
        };
        for (const char *folder : folders) {
            fs::create_directory(in(folder));
            std::ofstream(in(folder) / "app.ini", std::ios::binary)
                << "[s]\nk = " << folder << "\n";
        }
        load_and_save(row.via, in(folders[0]) / "app.ini");
        for (const char *folder : folders) {
            std::ostringstream text;
            text << std::ifstream(in(folder) / "app.ini", std::ios::binary).rdbuf();
            EXPECT_EQ(text.str(),
                      std::string(folder == row.reached ? "[s]\nk=" : "[s]\nk = ") + folder + "\n");
        }
    }
}

}  // namespace
