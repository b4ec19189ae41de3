// The saves of inifile_targets: ours and GKeyFile's, both flushing the
// same way, and the floor of one write and one fsync of the same bytes.
#include "targets.h"

#include "inifile.h"

#include <glib.h>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/vfs.h>
#include <unistd.h>

// ---- Saving -----------------------------------------------------------

// One document to save and how: ours through ini_save (the document of a
// reader of ours, so that a layout-keeping load saves the same way), GKeyFile
// through g_key_file_to_data and g_file_set_contents_full, and the floor:
// the bytes ours writes, in one write and one fsync.
struct Saver {
    std::string name;
    void *document;
    void (*release)(void *document);
};

// The folder's entry for the new name reaches the disk too: GKeyFile
// flushes the folder after its rename, ini_save does not, so the saver of
// ours does it after ini_save and both leave the same on the disk.
static bool flush_folder(const char *dir)
{
    int folder = open(dir, O_RDONLY | O_DIRECTORY);
    if (folder < 0)
        return false;
    bool flushed = fsync(folder) == 0;
    close(folder);
    return flushed;
}

static bool write_floor(const char *path, const char *text, size_t length)
{
    int out = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0)
        return false;
    size_t written = 0;
    while (written < length) {
        ssize_t wrote = write(out, text + written, length - written);
        if (wrote <= 0)
            break;
        written += (size_t)wrote;
    }
    bool done = written == length && fsync(out) == 0;
    return close(out) == 0 && done;
}

static bool save_gkeyfile(GKeyFile *key_file, const char *path, int64_t *bytes)
{
    gsize length = 0;
    gchar *text = g_key_file_to_data(key_file, &length, nullptr);
    // CONSISTENT: the text is flushed before the rename whether or not a
    // file is there already (g_file_set_contents flushes only over an
    // existing file), and the folder after it.
    bool saved = g_file_set_contents_full(path, text, (gssize)length,
                                          G_FILE_SET_CONTENTS_CONSISTENT, 0666, nullptr);
    g_free(text);
    *bytes = (int64_t)length;
    return saved;
}

// Saves the document of every saver in turn, round after round, into dir,
// each over the file its previous save left (one save before the timing
// puts each there), and prints each save's wall time. Also prints the time
// each library takes to make the text alone, without writing it.
int run_save(int rounds, const char *dir, const char *path, const char *saver_list)
{
    struct statfs disk;
    if (statfs(dir, &disk) != 0)
        return 1;
    IniFile *plain = ini_load(path);
    if (plain == nullptr)
        return 1;
    size_t text_length = 0;
    char *text = ini_save_to_memory(plain, &text_length, nullptr);
    if (text == nullptr)
        return 1;
    std::vector<Saver> savers;
    for (const std::string &name : split_list(saver_list)) {
        if (name == "floor") {
            savers.push_back({name, nullptr, nullptr});
        } else if (name == "gkeyfile") {
            GKeyFile *key_file = g_key_file_new();
            if (!g_key_file_load_from_file(key_file, path, G_KEY_FILE_NONE, nullptr))
                return 1;
            savers.push_back({name, key_file, bench_find_parser("gkeyfile")->release});
        } else {
            const BenchParser *parser = reader_or_exit(name);
            if (parser->peer) {
                fprintf(stderr, "inifile_targets: %s makes no document of ours\n", name.c_str());
                return 2;
            }
            void *document = parser->load(path);
            if (document == nullptr)
                return 1;
            savers.push_back({name, document, parser->release});
        }
    }
    printf("save_setup file=%s folder_fs=0x%lx text_bytes=%zu\n", file_name(path).c_str(),
           (unsigned long)disk.f_type, text_length);
    for (int round = 0; round <= rounds; ++round) {
        for (const Saver &saver : savers) {
            std::string out = std::string(dir) + "/saved_by_" + saver.name + ".ini";
            int64_t bytes = (int64_t)text_length;
            int64_t start = wall_ns();
            int64_t own_end = 0;
            bool saved;
            if (saver.name == "floor") {
                saved = write_floor(out.c_str(), text, text_length);
            } else if (saver.name == "gkeyfile") {
                saved = save_gkeyfile((GKeyFile *)saver.document, out.c_str(), &bytes);
            } else {
                saved = ini_save((const IniFile *)saver.document, out.c_str()) == 0;
                own_end = wall_ns();
                saved = saved && flush_folder(dir);
                bytes = file_bytes(out.c_str());
            }
            int64_t spent = wall_ns() - start;
            if (!saved) {
                fprintf(stderr, "inifile_targets: the save of %s failed\n", saver.name.c_str());
                return 1;
            }
            if (round == 0)
                continue;  // puts the file there, as a save over an existing one finds it
            printf("save saver=%s file=%s round=%d bytes=%lld wall_us=%.1f", saver.name.c_str(),
                   file_name(path).c_str(), round, (long long)bytes, us(spent));
            if (own_end != 0)
                printf(" ini_save_us=%.1f", us(own_end - start));
            printf("\n");
            fflush(stdout);
        }
    }
    // The text alone, in memory: ini_save_to_memory and g_key_file_to_data.
    for (int round = 1; round <= rounds; ++round) {
        for (const Saver &saver : savers) {
            if (saver.name == "floor")
                continue;
            int64_t start = wall_ns();
            size_t length = 0;
            if (saver.name == "gkeyfile") {
                gsize made = 0;
                g_free(g_key_file_to_data((GKeyFile *)saver.document, &made, nullptr));
                length = made;
            } else {
                free(ini_save_to_memory((const IniFile *)saver.document, &length, nullptr));
            }
            printf("save_text saver=%s file=%s round=%d bytes=%zu wall_us=%.1f\n",
                   saver.name.c_str(), file_name(path).c_str(), round, length,
                   us(wall_ns() - start));
        }
    }
    for (const Saver &saver : savers) {
        if (saver.release != nullptr)
            saver.release(saver.document);
        unlink((std::string(dir) + "/saved_by_" + saver.name + ".ini").c_str());
    }
    free(text);
    ini_destroy(plain);
    return 0;
}
