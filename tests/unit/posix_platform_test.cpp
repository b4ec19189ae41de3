// The POSIX backend where the tool's own runs cannot take it: paths longer
// than the system's limit, a copy onto itself, names that would be their
// own scratch file, permission bits, native paths, and the
// case-insensitive comparison.
#include "platform.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>

namespace {

// A fresh directory, removed with everything in it at the end.
class Scratch {
  public:
    Scratch()
    {
        char pattern[] = "/tmp/quorvel-platform-XXXXXX";
        EXPECT_NE(mkdtemp(pattern), nullptr);
        base_ = pattern;
    }
    ~Scratch() { EXPECT_EQ(system(("rm -rf '" + base_ + "'").c_str()), 0); }
    // The path as the code above the platform layer writes it.
    std::string path(const std::string &name) const { return windows(base_ + "/" + name); }
    std::string host(const std::string &name) const { return base_ + "/" + name; }
    void write(const std::string &name, const std::string &bytes, mode_t mode = 0644) const
    {
        std::ofstream(host(name), std::ios::binary) << bytes;
        EXPECT_EQ(chmod(host(name).c_str(), mode), 0);
    }
    std::set<std::string> list() const
    {
        std::set<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(base_))
            names.insert(entry.path().filename().string());
        return names;
    }
    std::string read(const std::string &name) const
    {
        std::ostringstream bytes;
        bytes << std::ifstream(host(name), std::ios::binary).rdbuf();
        return bytes.str();
    }
    static std::string windows(std::string path)
    {
        for (char &c : path)
            c = c == '/' ? '\\' : c;
        return path;
    }

  private:
    std::string base_;
};

PlatformCopyResult copy_file(const std::string &source, const std::string &destination)
{
    PlatformError error;
    return platform_copy_file(source.c_str(), destination.c_str(), &error);
}

TEST(PosixPlatform, PathsLongerThanTheSystemTakesFailEveryCall)
{
    Scratch scratch;
    scratch.write("file", "x");
    const std::string too_long = scratch.path(std::string(5000, 'n'));
    const std::string file = scratch.path("file");
    PlatformError error;
    EXPECT_EQ(platform_check_source(too_long.c_str(), &error), PLATFORM_SOURCE_UNUSABLE);
    EXPECT_EQ(platform_create_directory(too_long.c_str(), &error), 0);
    EXPECT_EQ(copy_file(too_long, file), PLATFORM_COPY_FAILED);
    EXPECT_EQ(copy_file(file, too_long), PLATFORM_COPY_FAILED);
    PlatformFileLock lock;
    char *bytes = nullptr;
    size_t count = 0;
    EXPECT_EQ(platform_lock_and_read(too_long.c_str(), &lock, &bytes, &count, &error),
              PLATFORM_READ_FAILED);
    EXPECT_EQ(scratch.read("file"), "x");
}

// Every copy starts from a fresh folder holding four programs with their
// permission bits, an old read-only copy, and a file with a hard link.
// Paths are names in that folder, "" itself, or host paths ("/dev/zero").
TEST(PosixPlatform, Copies)
{
    struct {
        const char *description, *source, *destination;
        PlatformCopyResult result;
        const char *step;     // the failed step, where it tells
        const char *content;  // of the destination, where it tells
        mode_t mode;          // of the destination, where it tells
        mode_t umask = 022;   // the process's while it copies
    } cases[] = {
        {"replaces, keeping the permission bits", "0750", "old", PLATFORM_COPY_DONE, nullptr, "new",
         0750},
        {"adds the owner's write bit", "0444", "old", PLATFORM_COPY_DONE, nullptr, "new", 0644},
        {"adds it to 0500", "0500", "old", PLATFORM_COPY_DONE, nullptr, "new", 0700},
        {"adds it where the umask takes it", "0444", "old", PLATFORM_COPY_DONE, nullptr, "new",
         0600, 0277},
        {"drops set-user-ID and set-group-ID", "6755", "old", PLATFORM_COPY_DONE, nullptr, "new",
         0755},
        {"onto itself: made, the file whole", "a", "a", PLATFORM_COPY_DONE, nullptr,
         "the only copy", 0},
        {"onto a hard link of itself", "a", "b", PLATFORM_COPY_DONE, nullptr, "the only copy", 0},
        // destinations that would be their own scratch file
        {"empty destination", "a", "", PLATFORM_COPY_FAILED, nullptr, nullptr, 0},
        {"destination ending in a backslash", "a", "\\", PLATFORM_COPY_FAILED, nullptr, nullptr, 0},
        {"destination a scratch name", "a", "backup~", PLATFORM_COPY_FAILED, nullptr, nullptr, 0},
        // only regular files are copied or replaced
        {"device as destination", "a", "/dev/null", PLATFORM_COPY_FAILED, nullptr, nullptr, 0},
        {"device as source", "/dev/zero", "copy", PLATFORM_COPY_FAILED, nullptr, nullptr, 0},
        // the kernel reports no size for this process's memory, so the copy
        // reads it, and reading its first page (never mapped) fails
        {"source that fails to read", "/proc/self/mem", "copy", PLATFORM_COPY_FAILED,
         "cannot read the source", nullptr, 0},
        {"missing source", "absent", "copy", PLATFORM_COPY_FAILED, nullptr, nullptr, 0},
    };
    const std::pair<const char *, mode_t> programs[] = {
        {"0750", 0750}, {"0444", 0444}, {"0500", 0500}, {"6755", 06755}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.description);
        Scratch scratch;
        for (const auto &[name, mode] : programs)
            scratch.write(name, "new", mode);
        scratch.write("old", "older and longer", 0400);
        scratch.write("a", "the only copy");
        ASSERT_EQ(link(scratch.host("a").c_str(), scratch.host("b").c_str()), 0);
        const std::set<std::string> before = scratch.list();
        auto at = [&](const char *name) {
            return name[0] == '/' ? Scratch::windows(name) : *name ? scratch.path(name) : "";
        };
        PlatformError error;
        const mode_t previous = umask(c.umask);
        EXPECT_EQ(platform_copy_file(at(c.source).c_str(), at(c.destination).c_str(), &error),
                  c.result);
        umask(previous);
        if (c.step != nullptr) {
            EXPECT_STREQ(error.step, c.step);
        }
        // Nothing made beside, and no scratch file left.
        EXPECT_EQ(scratch.list(), before);
        if (c.content != nullptr) {
            EXPECT_EQ(scratch.read(c.destination), c.content);
        }
        struct stat status;
        if (c.mode != 0) {
            ASSERT_EQ(stat(scratch.host(c.destination).c_str(), &status), 0);
            EXPECT_EQ(status.st_mode & 07777, c.mode);
        }
    }
    struct stat status;
    ASSERT_EQ(stat("/dev/null", &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode));
}

TEST(PosixPlatform, OwnPathIsThisProgramWithBackslashes)
{
    char own[4096];
    PlatformError error;
    uint32_t length = platform_own_path(own, sizeof own, &error);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof own);
    char host[4096];
    ssize_t host_length = readlink("/proc/self/exe", host, sizeof host - 1);
    ASSERT_GT(host_length, 0);
    host[host_length] = '\0';
    EXPECT_EQ(std::string(own), Scratch::windows(host));
    // A buffer too small: its whole size comes back, as a truncation.
    char small[8];
    EXPECT_EQ(platform_own_path(small, sizeof small, &error), sizeof small);
}

TEST(PosixPlatform, NativePathsTurnEveryBackslashIntoASlash)
{
    Scratch scratch;
    scratch.write("file", "x");
    PlatformError error;
    EXPECT_EQ(platform_check_source(scratch.path("file").c_str(), &error),
              PLATFORM_SOURCE_READABLE);
    EXPECT_EQ(platform_check_source("", &error), PLATFORM_SOURCE_MISSING);
}

TEST(PosixPlatform, CaseInsensitiveComparisonFoldsAsciiOnly)
{
    struct {
        const char *a, *b;
        int sign;
    } cases[] = {
        {"yes", "yes", 0}, {"YES", "yes", 0}, {"yes", "YeS", 0},    {"", "", 0},
        {"y", "yes", -1},  {"yes", "y", 1},   {"a", "B", -1},       {"B", "a", 1},
        {"[", "{", -1},    {"@", "`", -1},    {"\xc4", "\xe4", -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        int result = platform_stricmp(c.a, c.b);
        EXPECT_EQ((result > 0) - (result < 0), c.sign);
    }
}

}  // namespace
