/*
 * inifile_filesystem.hpp: loads and saves that take a std::filesystem::path,
 * beside inifile.hpp, which stays free of <filesystem>.
 *
 *   std::filesystem::path file = folder / L"app.ini";
 *   inifile::Document ini = inifile::load(file);
 *   ini.set("window", "width", "640");
 *   inifile::save(ini, file);
 *
 * A path reaches the system in its own form: UTF-16 on Windows, through
 * ini_load_wide and ini_save_wide, so that a folder named outside the ANSI
 * code page can be used; bytes elsewhere, as with the char functions. The
 * results are those of Document::load and Document::save: LoadError and
 * SaveError with the C functions' kinds and messages, and a path that
 * holds a zero character refused, since cut short there it would name
 * another file.
 */
#ifndef INIFILE_FILESYSTEM_HPP
#define INIFILE_FILESYSTEM_HPP

#include "inifile.hpp"

#include <filesystem>
#include <string>

namespace inifile {

// Reads the file at path in the dialect of options (all 0 by default: the
// installer's format), as Document::load does; throws LoadError when it
// cannot be opened or read, or is not a valid file of that dialect.
inline Document load(const std::filesystem::path &path, const IniOptions &options = IniOptions())
{
    IniError error{};
    const auto *native = detail::whole_path(path.native(), INI_ERROR_OPEN, "cannot open the file");
#ifdef _WIN32
    IniFile *ini = ini_load_wide(native, &options, &error);
#else
    IniFile *ini = ini_load_with_options(native, &options, &error);
#endif
    if (ini == nullptr)
        throw LoadError(error);
    return Document(ini);
}

// Writes document to path, replacing any file there whole, as
// Document::save does, in the dialect the document was loaded or created
// with; throws SaveError when it fails.
inline void save(const Document &document, const std::filesystem::path &path)
{
    IniError error{};
    const auto *native =
        detail::whole_path(path.native(), INI_ERROR_CREATE, "cannot create the file");
#ifdef _WIN32
    int32_t status = ini_save_wide(document.c_document(), native, &error);
#else
    int32_t status = ini_save_with_error(document.c_document(), native, &error);
#endif
    if (status != 0)
        throw SaveError(error);
}

}  // namespace inifile

#endif
