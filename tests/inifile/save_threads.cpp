// Two threads saving the same file at once, also in a ThreadSanitizer build
// of the library (the threads preset), which fails the run on any
// data race between them: every save completes, the file left holds one
// of the two texts whole, and no temporary remains.
#include "inifile.h"

#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

int main()
{
    namespace fs = std::filesystem;
    const fs::path folder =
        fs::temp_directory_path() / ("inifile-threads-" + std::to_string(getpid()));
    fs::create_directory(folder);
    const std::string path = (folder / "shared.ini").string();
    std::atomic<int> failed{0};
    auto save_repeatedly = [&](const char *value) {
        IniFile *ini = ini_create();
        IniSection *section = section_create("s");
        section_set_value(section, "k", value);
        ini_put_section(ini, section);
        for (int i = 0; i < 50; ++i)
            failed += ini_save(ini, path.c_str()) != 0;
        ini_destroy(ini);
    };
    std::thread first(save_repeatedly, "first");
    std::thread second(save_repeatedly, "second");
    first.join();
    second.join();
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    auto entries = std::distance(fs::directory_iterator(folder), fs::directory_iterator());
    fs::remove_all(folder);
    if (failed == 0 && entries == 1 &&
        (text.str() == "[s]\nk=first\n" || text.str() == "[s]\nk=second\n"))
        return 0;
    fprintf(stderr, "save_threads: %d saves failed, %d files left, the file holds \"%s\"\n",
            failed.load(), (int)entries, text.str().c_str());
    return 1;
}
