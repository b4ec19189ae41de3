// Temporary directories and documents for the configuration library's tests.
#ifndef INIFILE_TEST_FILES_H
#define INIFILE_TEST_FILES_H

#include "inifile.h"

#include <stdint.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

// A fresh directory under the system's temporary folder, removed with all
// it holds when the object goes. A death-test child that gtest starts anew
// (the Windows way) runs the test body again: after share_with_children()
// the child takes over the parent's directory instead of making one that
// nobody would remove.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    // Path of a file in the directory, as the system spells it.
    std::string path(const std::string &name) const;
    void write(const std::string &name, const std::string &bytes) const;
    std::string read(const std::string &name) const;
    // The names of the files and folders it holds (or a folder in it
    // holds), sorted.
    std::vector<std::string> names(const std::string &folder = "") const;
    void share_with_children();

  private:
    std::filesystem::path directory_;
    bool owned_ = true;
    bool shared_ = false;
};

// Opens path for ini_read_line (a POSIX descriptor or a Windows handle,
// widened), as a caller that drives the reader itself does; -1 on failure.
intptr_t open_for_reading(const std::string &path);
// Opens an existing file for writing only: reading from it fails.
intptr_t open_for_writing_only(const std::string &path);
void close_file(intptr_t handle);

// The system's own one-line text for an error code (strerror on POSIX,
// FormatMessageA on Windows), as a load error quotes it.
std::string system_text(int32_t code);

// A document as plain data: sections in order, each with its entries.
struct SectionShape {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
};
using DocShape = std::vector<SectionShape>;

// Builds a document through section_create, section_set_value and
// ini_put_section; the caller destroys it.
IniFile *build_document(const DocShape &shape);

// The document as plain data, repeats and order as they are.
DocShape document_shape(const IniFile *ini);

// One line per section ("[name]") and per entry ("  key=value").
std::vector<std::string> dump_document(const IniFile *ini);

bool operator==(const SectionShape &a, const SectionShape &b);

#endif
