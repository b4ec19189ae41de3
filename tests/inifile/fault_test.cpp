// Real faults: a folder that does not exist, a full disk, and failures of
// each file operation through the fault seam; running out of memory at
// each allocation in turn.
#include "fault.h"
#include "inifile.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <stdlib.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#if defined(__linux__) && defined(__x86_64__)
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#endif

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The codes the seam gives a failed file operation, as the system would.
#ifdef _WIN32
const int32_t injected_error = 30;        // ERROR_READ_FAULT
const int32_t injected_write_error = 29;  // ERROR_WRITE_FAULT
const int32_t no_such_folder = 3;         // ERROR_PATH_NOT_FOUND
#else
const int32_t injected_error = EIO;
const int32_t injected_write_error = EIO;
const int32_t no_such_folder = ENOENT;
#endif

// Disarms a fault kind when the test ends, whatever happens.
struct ArmedFault {
    FaultKind kind;
    ArmedFault(FaultKind k, uint32_t nth) : kind(k) { fault_arm(kind, nth); }
    ~ArmedFault() { fault_arm(kind, 0); }
};

// More than one chunk of lines, all of them well formed.
std::string two_chunk_file()
{
    std::string bytes = "[s]\n";
    for (int i = 0; bytes.size() < 1500; ++i)
        bytes += "key" + std::to_string(i) + " = value" + std::to_string(i) + "\n";
    return bytes;
}

TEST(Faults, CreateInMissingFolder)
{
    TempDir dir;
    IniFile *ini = ini_create();
    IniError error;
    EXPECT_EQ(ini_save_with_error(ini, dir.path("absent/file.ini").c_str(), &error), -1);
    EXPECT_EQ(error.message, "cannot create the new file: " + system_text(no_such_folder));
    // An empty path names no file, not even in the working folder.
    std::filesystem::path working = std::filesystem::current_path();
    std::filesystem::current_path(dir.path(""));
    EXPECT_EQ(ini_save_with_error(ini, "", &error), -1);
    EXPECT_EQ(error.message, "cannot replace the file: " + system_text(no_such_folder));
    std::filesystem::current_path(working);
    EXPECT_EQ(dir.names(), std::vector<std::string>{});
    ini_destroy(ini);
}

#ifndef _WIN32
// Runs body in a child process that has mounted a file system of its own
// (tmpfs with the given options) on dir, in a mount namespace of its own
// (which takes root); what body saw, or "" when no file system could be
// mounted. The mount goes with the child.
std::string on_own_file_system(const TempDir &dir, const char *options,
                               std::string (*body)(const TempDir &))
{
    int channel[2];
    if (pipe(channel) != 0)
        return "";
    fflush(nullptr);  // the child ends with exit(), which flushes its copies
    pid_t child = fork();
    if (child == 0) {
        std::string seen;
        if (unshare(CLONE_NEWNS) == 0 &&
            mount("none", "/", "none", MS_REC | MS_PRIVATE, nullptr) == 0 &&
            mount("none", dir.path("").c_str(), "tmpfs", 0, options) == 0)
            seen = body(dir);
        ssize_t written = write(channel[1], seen.data(), seen.size());
        exit(written == (ssize_t)seen.size() ? 0 : 1);
    }
    close(channel[1]);
    std::string seen;
    char buffer[256];
    ssize_t got;
    while ((got = read(channel[0], buffer, sizeof buffer)) > 0)
        seen.append(buffer, (size_t)got);
    close(channel[0]);
    waitpid(child, nullptr, 0);
    return seen;
}

// The save's status, the old file and what the folder holds afterwards.
std::string save_over_old(const TempDir &dir, const std::string &value)
{
    IniFile *ini = build_document({{"s", {{"k", value}}}});
    IniError error;
    int32_t status = ini_save_with_error(ini, dir.path("old.ini").c_str(), &error);
    std::string seen = "status " + std::to_string(status) + " (" + error.message + "), old file " +
                       dir.read("old.ini") + "left:";
    ini_destroy(ini);
    std::vector<std::string> names = dir.names();
    for (size_t i = 0; i < names.size() && i < 3; ++i)
        seen += " " + names[i];
    return seen + ", " + std::to_string(names.size()) + " in all";
}

std::string save_on_full_disk(const TempDir &dir)
{
    dir.write("old.ini", "[s]\nk=old\n");
    std::ofstream filler(dir.path("filler"), std::ios::binary);
    const std::string block(4096, 'f');
    while (filler.write(block.data(), (std::streamsize)block.size()) && filler.flush()) {
    }
    return save_over_old(dir, std::string(20000, 'v'));
}

// The whole file system made read-only once the old file is there: even
// root may not write it.
std::string save_on_read_only_file_system(const TempDir &dir)
{
    dir.write("old.ini", "[s]\nk=old\n");
    if (mount("none", dir.path("").c_str(), "none", MS_REMOUNT | MS_RDONLY, nullptr) != 0)
        return "could not remount read-only";
    return save_over_old(dir, "new");
}

// Leftovers under every name a temporary can have.
std::string save_with_every_temporary_name_taken(const TempDir &dir)
{
    dir.write("old.ini", "[s]\nk=old\n");
    const char letters[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string name = dir.path("ini~....tmp");
    size_t at = name.size() - 7;
    for (int n = 0; n < 36 * 36 * 36; ++n) {
        name[at] = letters[n / 36 / 36];
        name[at + 1] = letters[n / 36 % 36];
        name[at + 2] = letters[n % 36];
        close(open(name.c_str(), O_WRONLY | O_CREAT, 0644));
    }
    return save_over_old(dir, "new");
}
#endif

TEST(Faults, SaveOnItsOwnFileSystem)
{
#ifdef _WIN32
    GTEST_SKIP() << "no file system can be mounted for a test under Windows";
#else
    struct {
        const char *description;
        const char *options;
        std::string (*body)(const TempDir &);
        const char *seen;
    } cases[] = {
        {"a full disk", "size=64k", save_on_full_disk,
         "status -2 (writing the new file failed: No space left on device), old file "
         "[s]\nk=old\nleft: filler old.ini, 2 in all"},
        {"a read-only file system", "size=64k", save_on_read_only_file_system,
         "status -1 (cannot replace the file: Read-only file system), old file "
         "[s]\nk=old\nleft: old.ini, 1 in all"},
        // The leftovers are untouched: none was written.
        {"every temporary name taken", "size=1m,nr_inodes=50000",
         save_with_every_temporary_name_taken,
         "status -1 (cannot create the new file: File exists), old file "
         "[s]\nk=old\nleft: ini~000.tmp ini~001.tmp ini~002.tmp, 46657 in all"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.description);
        TempDir dir;
        std::string seen = on_own_file_system(dir, c.options, c.body);
        if (seen.empty())
            GTEST_SKIP() << "no private mount namespace can be made on this machine";
        EXPECT_EQ(seen, c.seen);
    }
#endif
}

#if defined(__linux__) && defined(__x86_64__)
// Makes the process meet action at every call of the system call number.
void stop_at(uint32_t call, uint32_t action)
{
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, call, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, action),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program = {sizeof filter / sizeof filter[0], filter};
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program);
}

// A save killed there leaves its temporary, which no other user can read;
// one the system refuses the bits fails, and leaves nothing.
TEST(Faults, SaveStoppedWhereTheTemporaryGetsItsBits)
{
    for (uint32_t action : {SECCOMP_RET_KILL_PROCESS, SECCOMP_RET_ERRNO | EPERM}) {
        SCOPED_TRACE(action);
        TempDir dir;
        dir.write("secret.ini", "[s]\nk=old\n");
        ASSERT_EQ(chmod(dir.path("secret.ini").c_str(), 0600), 0);
        IniFile *ini = build_document({{"s", {{"k", "new secret"}}}});
        const bool killed = action == SECCOMP_RET_KILL_PROCESS;
        // The refused save says why on standard error, and ends as usual (a
        // leak check may change the status of a child that ends so).
        EXPECT_EXIT(
            {
                umask(022);
                stop_at(__NR_fchmod, action);  // where the temporary gets its bits
                IniError error;
                int32_t status = ini_save_with_error(ini, dir.path("secret.ini").c_str(), &error);
                fprintf(stderr, "status %d: %s\n", (int)status, error.message);
                exit(0);
            },
            [killed](int status) {
                return killed ? WIFSIGNALED(status) && WTERMSIG(status) == SIGSYS
                              : WIFEXITED(status);
            },
            killed ? "" : "status -1: cannot create the new file: " + system_text(EPERM));
        ini_destroy(ini);
        std::vector<std::string> names = dir.names();
        ASSERT_EQ(names.size(), killed ? 2u : 1u);
        EXPECT_EQ(dir.read("secret.ini"), "[s]\nk=old\n");
        struct stat status;
        ASSERT_EQ(stat(dir.path(names[0]).c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 077, 0u);  // the temporary, or secret.ini
    }
}

// A flush that failed is told with its own reason, though the close fails too.
TEST(Faults, FailedFlushKeepsItsReason)
{
    TempDir dir;
    IniFile *ini = build_document({{"s", {{"k", "v"}}}});
    EXPECT_EXIT(
        {
            ArmedFault close(FAULT_CLOSE, 1);
            stop_at(__NR_fsync, SECCOMP_RET_ERRNO | ENOSPC);
            IniError error;
            ini_save_with_error(ini, dir.path("new.ini").c_str(), &error);
            fprintf(stderr, "%s\n", error.message);
            exit(0);
        },
        [](int status) { return WIFEXITED(status); },  // a leak check may change the status
        "flushing the new file to the disk failed: " + system_text(ENOSPC));
    ini_destroy(ini);
}
#endif

TEST(Faults, FailedSaveLeavesTheOldFileAndNoTemporary)
{
    const struct {
        FaultKind kind;
        uint32_t nth;
        int32_t status;
        const char *what;
    } faults[] = {
        {FAULT_CREATE, 1, -1, "cannot create the new file: "},
        {FAULT_WRITE, 1, -2, "writing the new file failed: "},
        {FAULT_WRITE, 3, -2, "writing the new file failed: "},
        {FAULT_FLUSH, 1, -2, "flushing the new file to the disk failed: "},
        {FAULT_CLOSE, 1, -2, "closing the new file failed: "},
        {FAULT_RENAME, 1, -1, "cannot put the new file in place: "},
    };
    // A document of several writes.
    DocShape shape = {{"s", {}}};
    for (int i = 0; i < 8000; ++i)
        shape[0].entries.emplace_back("key" + std::to_string(i), "value" + std::to_string(i));
    IniFile *ini = build_document(shape);
    TempDir dir;
    for (const auto &f : faults) {
        SCOPED_TRACE(testing::Message() << "kind " << f.kind << " call " << f.nth);
        dir.write("old.ini", "[s]\nk=old\n");
        IniError error;
        {
            ArmedFault fault(f.kind, f.nth);
            EXPECT_EQ(ini_save_with_error(ini, dir.path("old.ini").c_str(), &error), f.status);
        }
        EXPECT_EQ(error.kind, f.status == -1 ? INI_ERROR_CREATE : INI_ERROR_WRITE);
        EXPECT_EQ(error.system_error, injected_write_error);
        EXPECT_EQ(error.message, f.what + system_text(injected_write_error));
        EXPECT_EQ(dir.read("old.ini"), "[s]\nk=old\n");
        EXPECT_EQ(dir.names(), std::vector<std::string>{"old.ini"});
    }
    // Without an old file, a failure leaves none either.
    for (FaultKind kind : {FAULT_WRITE, FAULT_FLUSH, FAULT_RENAME}) {
        ArmedFault fault(kind, 1);
        EXPECT_NE(ini_save(ini, dir.path("new.ini").c_str()), 0);
        EXPECT_EQ(dir.names(), std::vector<std::string>{"old.ini"});
    }
    ini_destroy(ini);
}


// A file of several of the loader's chunks, the first ending inside a long
// line: each of its reads fails in turn, and so does the open; every one
// fails the whole load and says why.
TEST(Faults, OpenOrReadErrorFailsTheLoad)
{
    TempDir dir;
    std::string bytes = "[s]\n";
    while (bytes.size() < 60000)
        bytes += "key = value\n";
    bytes += "long = " + std::string(10000, 'v') + "\n";
    while (bytes.size() < 150000)
        bytes += "key = value\n";
    dir.write("big.ini", bytes);
    std::string path = dir.path("big.ini");
    // Streamed in the installer's format, and read whole in another
    // dialect (here: to keep its layout).
    const IniOptions keep = {INI_KEEP_LAYOUT, {}};
    for (const IniOptions *options : {(const IniOptions *)nullptr, &keep}) {
        fault_arm(FAULT_READ, 0);
        IniFile *whole = ini_load_with_options(path.c_str(), options, nullptr);
        ASSERT_NE(whole, nullptr);
        ini_destroy(whole);
        uint32_t reads = fault_count(FAULT_READ);
        ASSERT_GE(reads, options == nullptr ? 3u : 2u);  // a read fails mid-file
        struct FaultCase {
            FaultKind kind;
            uint32_t nth;
            IniErrorKind error;
            const char *what;
        };
        std::vector<FaultCase> cases = {{FAULT_OPEN, 1, INI_ERROR_OPEN, "cannot open the file: "}};
        for (uint32_t nth = 1; nth <= reads; ++nth)
            cases.push_back({FAULT_READ, nth, INI_ERROR_READ, "reading failed: "});
        for (const FaultCase &c : cases) {
            SCOPED_TRACE(std::to_string(c.kind) + " " + std::to_string(c.nth));
            ArmedFault fault(c.kind, c.nth);
            IniError error;
            EXPECT_EQ(ini_load_with_options(path.c_str(), options, &error), nullptr);
            EXPECT_EQ(error.kind, c.error);
            EXPECT_EQ(error.line, 0);
            EXPECT_EQ(error.system_error, injected_error);
            EXPECT_EQ(error.message, c.what + system_text(injected_error));
        }
    }
}

TEST(Faults, ReadErrorMidFileIsToldFromTheEnd)
{
    TempDir dir;
    dir.write("big.ini", two_chunk_file());
    ArmedFault fault(FAULT_READ, 2);
    IniLineReader reader = {};
    reader.handle = open_for_reading(dir.path("big.ini"));
    int lines = 0;
    while (char *line = ini_read_line(&reader)) {
        lines += 1;
        free(line);
    }
    EXPECT_GT(lines, 10);  // the lines wholly inside the first chunk
    EXPECT_LT(lines, 80);
    EXPECT_EQ(reader.read_failed, 1);
    EXPECT_EQ(reader.at_end, 1);
    EXPECT_EQ(ini_read_line(&reader), nullptr);
    close_file(reader.handle);
}

// The allocations each operation makes, counted on a run that succeeds.
uint32_t allocations_of(void (*operation)(const TempDir &), const TempDir &dir)
{
    fault_arm(FAULT_ALLOC, 0);
    operation(dir);
    return fault_count(FAULT_ALLOC);
}

void load_and_save(const TempDir &dir)
{
    IniFile *ini = ini_load(dir.path("in.ini").c_str());
    IniSection *copy = section_clone(ini->sections[0], "copy");
    section_set_value(copy, "added", "v");
    ini_put_section(ini, copy);
    ini_save(ini, dir.path("out.ini").c_str());
    ini_destroy(ini);
}

TEST(Faults, EveryAllocationFailureEndsTheProcess)
{
    TempDir dir;
    dir.write("in.ini", "[s]\nk=" + std::string(600, 'v') + "\nl=w\n");
    dir.share_with_children();
    uint32_t total = allocations_of(load_and_save, dir);
    ASSERT_GT(total, 10u);
    for (uint32_t nth = 1; nth <= total; ++nth) {
        SCOPED_TRACE(nth);
        EXPECT_EXIT(
            {
                fault_arm(FAULT_ALLOC, nth);
                load_and_save(dir);
                exit(0);
            },
            testing::ExitedWithCode(1), "^Out of memory\r?\n$");
    }
    // A save that ran out of memory left no temporary behind.
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"in.ini", "out.ini"}));
}

}  // namespace
