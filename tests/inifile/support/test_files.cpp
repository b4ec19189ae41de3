#include "test_files.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

static const char *const shared_dir_variable = "INIFILE_TEST_SHARED_DIR";

static void set_shared_dir(const char *value)
{
#ifdef _WIN32
    _putenv_s(shared_dir_variable, value);
#else
    if (*value == '\0')
        unsetenv(shared_dir_variable);
    else
        setenv(shared_dir_variable, value, 1);
#endif
}

TempDir::TempDir()
{
    const char *shared = getenv(shared_dir_variable);
    if (testing::internal::InDeathTestChild() && shared != nullptr && *shared != '\0') {
        directory_ = shared;
        owned_ = false;
        return;
    }
    std::random_device seed;
    std::mt19937_64 random(((uint64_t)seed() << 32) ^ seed());
    for (;;) {
        std::ostringstream name;
        name << "inifile-test-" << std::hex << random();
        fs::path candidate = fs::temp_directory_path() / name.str();
        if (fs::create_directory(candidate)) {
            directory_ = candidate;
            return;
        }
    }
}

TempDir::~TempDir()
{
    if (shared_)
        set_shared_dir("");
    if (owned_) {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }
}

std::string TempDir::path(const std::string &name) const
{
    return (directory_ / name).string();
}

void TempDir::write(const std::string &name, const std::string &bytes) const
{
    std::ofstream out(directory_ / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
    if (!out)
        ADD_FAILURE() << "could not write " << (directory_ / name).string();
}

std::string TempDir::read(const std::string &name) const
{
    std::ifstream in(directory_ / name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> TempDir::names(const std::string &folder) const
{
    std::vector<std::string> names;
    for (const fs::directory_entry &entry : fs::directory_iterator(directory_ / folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void TempDir::share_with_children()
{
    set_shared_dir(directory_.string().c_str());
    shared_ = true;
}

intptr_t open_for_reading(const std::string &path)
{
#ifdef _WIN32
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    return handle == INVALID_HANDLE_VALUE ? -1 : (intptr_t)handle;
#else
    return open(path.c_str(), O_RDONLY | O_CLOEXEC);
#endif
}

intptr_t open_for_writing_only(const std::string &path)
{
#ifdef _WIN32
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    return handle == INVALID_HANDLE_VALUE ? -1 : (intptr_t)handle;
#else
    return open(path.c_str(), O_WRONLY | O_CLOEXEC);
#endif
}

void close_file(intptr_t handle)
{
#ifdef _WIN32
    CloseHandle((HANDLE)handle);
#else
    close((int)handle);
#endif
}

std::string system_text(int32_t code)
{
#ifdef _WIN32
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                                  (DWORD)code, 0, text, sizeof text, NULL);
    std::string result(text, length);
    result.erase(result.find_last_not_of("\r\n ") + 1);
    return result;
#else
    return strerror(code);
#endif
}

IniFile *build_document(const DocShape &shape)
{
    IniFile *ini = ini_create();
    for (const SectionShape &s : shape) {
        IniSection *section = section_create(s.name.c_str());
        for (const auto &entry : s.entries)
            section_set_value(section, entry.first.c_str(), entry.second.c_str());
        ini_put_section(ini, section);
    }
    return ini;
}

DocShape document_shape(const IniFile *ini)
{
    DocShape shape;
    for (int32_t i = 0; i < ini->count; ++i) {
        const IniSection *section = ini->sections[i];
        SectionShape s{section->name, {}};
        for (int32_t j = 0; j < section->count; ++j)
            s.entries.emplace_back(section->entries[j]->key, section->entries[j]->value);
        shape.push_back(s);
    }
    return shape;
}

std::vector<std::string> dump_document(const IniFile *ini)
{
    std::vector<std::string> lines;
    for (const SectionShape &s : document_shape(ini)) {
        lines.push_back("[" + s.name + "]");
        for (const auto &entry : s.entries)
            lines.push_back("  " + entry.first + "=" + entry.second);
    }
    return lines;
}

bool operator==(const SectionShape &a, const SectionShape &b)
{
    return a.name == b.name && a.entries == b.entries;
}
