// Two threads saving the same file at once, in a ThreadSanitizer build of
// the library alone (scripts/check-threads.sh), which fails the run on any
// data race between them: every save completes, the file left holds one
// of the two texts whole, and no temporary remains.
#include "inifile.h"

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

static void save_repeatedly(const IniFile *ini, const std::string &path, std::atomic<int> *failed)
{
    for (int i = 0; i < 50; ++i) {
        if (ini_save(ini, path.c_str()) != 0)
            failed->fetch_add(1);
    }
}

int main()
{
    const char *base = getenv("TMPDIR");
    std::string folder =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/inifile-threads-XXXXXX";
    if (mkdtemp(folder.data()) == nullptr) {
        perror("mkdtemp");
        return 1;
    }
    const std::string path = folder + "/shared.ini";
    IniFile *documents[2];
    for (int i = 0; i < 2; ++i) {
        documents[i] = ini_create();
        IniSection *section = section_create("s");
        section_set_value(section, "k", i == 0 ? "first" : "second");
        ini_put_section(documents[i], section);
    }
    std::atomic<int> failed{0};
    std::thread first(save_repeatedly, documents[0], path, &failed);
    std::thread second(save_repeatedly, documents[1], path, &failed);
    first.join();
    second.join();

    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    int entries = 0;
    DIR *listing = opendir(folder.c_str());
    while (listing != nullptr && readdir(listing) != nullptr)
        entries += 1;
    if (listing != nullptr)
        closedir(listing);
    unlink(path.c_str());
    rmdir(folder.c_str());
    for (IniFile *document : documents)
        ini_destroy(document);

    bool whole = text.str() == "[s]\nk=first\n" || text.str() == "[s]\nk=second\n";
    if (failed != 0 || !whole || entries != 3) {  // ".", ".." and shared.ini
        fprintf(stderr, "save_threads: %d saves failed; the file holds \"%s\"; %d entries\n",
                failed.load(), text.str().c_str(), entries);
        return 1;
    }
    return 0;
}
