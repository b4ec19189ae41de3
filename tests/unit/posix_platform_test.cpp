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

#include <fstream>
#include <sstream>
#include <string>

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
    EXPECT_EQ(platform_exists(too_long.c_str()), 0);
    PlatformError error;
    EXPECT_EQ(platform_create_directory(too_long.c_str(), &error), 0);
    EXPECT_EQ(copy_file(too_long, file), PLATFORM_COPY_FAILED);
    EXPECT_EQ(copy_file(file, too_long), PLATFORM_COPY_FAILED);
    PlatformFileLock lock;
    EXPECT_EQ(platform_lock_file(too_long.c_str(), &lock), PLATFORM_LOCK_FAILED);
    EXPECT_EQ(scratch.read("file"), "x");
}

TEST(PosixPlatform, DestinationsThatWouldBeTheirOwnScratchFileAreRefused)
{
    Scratch scratch;
    scratch.write("file", "x");
    for (const std::string &destination :
         {std::string(), scratch.path("") + "\\", scratch.path("backup~")}) {
        SCOPED_TRACE(destination);
        EXPECT_EQ(copy_file(scratch.path("file"), destination), PLATFORM_COPY_FAILED);
    }
    EXPECT_EQ(access(scratch.host("backup~").c_str(), F_OK), -1);
}

TEST(PosixPlatform, CopyOntoItselfIsMadeAndLeavesItWhole)
{
    Scratch scratch;
    scratch.write("a", "the only copy");
    ASSERT_EQ(link(scratch.host("a").c_str(), scratch.host("b").c_str()), 0);
    for (const char *destination : {"a", "b"}) {
        SCOPED_TRACE(destination);
        EXPECT_EQ(copy_file(scratch.path("a"), scratch.path(destination)), PLATFORM_COPY_DONE);
        EXPECT_EQ(scratch.read("a"), "the only copy");
    }
}

TEST(PosixPlatform, CopyKeepsPermissionBitsPlusOwnerWriteAndReplacesContent)
{
    struct {
        mode_t source, copy;
    } cases[] = {{0750, 0750}, {0444, 0644}, {0500, 0700}, {06755, 0755}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.source);
        Scratch scratch;
        scratch.write("tool", "new", c.source);
        scratch.write("old", "older and longer", 0400);
        ASSERT_EQ(copy_file(scratch.path("tool"), scratch.path("old")), PLATFORM_COPY_DONE);
        EXPECT_EQ(scratch.read("old"), "new");
        struct stat status;
        ASSERT_EQ(stat(scratch.host("old").c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, c.copy);
    }
}

TEST(PosixPlatform, OnlyRegularFilesAreCopiedOrReplaced)
{
    Scratch scratch;
    scratch.write("file", "x");
    const std::string file = scratch.path("file");
    // A device as destination is not written to, as source not read from.
    EXPECT_EQ(copy_file(file, "\\dev\\null"), PLATFORM_COPY_FAILED);
    EXPECT_EQ(copy_file("\\dev\\zero", scratch.path("copy")), PLATFORM_COPY_FAILED);
    EXPECT_EQ(access(scratch.host("copy").c_str(), F_OK), -1);
    struct stat status;
    ASSERT_EQ(stat("/dev/null", &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode));
}

TEST(PosixPlatform, ASourceThatFailsToReadIsNotCopied)
{
    // The kernel reports no size for this process's memory, so the copy
    // reads it, and reading its first page (never mapped) fails.
    Scratch scratch;
    PlatformError error;
    EXPECT_EQ(platform_copy_file("\\proc\\self\\mem", scratch.path("copy").c_str(), &error),
              PLATFORM_COPY_FAILED);
    EXPECT_STREQ(error.step, "cannot read the source");
    EXPECT_EQ(access(scratch.host("copy").c_str(), F_OK), -1);
    EXPECT_EQ(access(scratch.host("cop~").c_str(), F_OK), -1);
}

TEST(PosixPlatform, CopyOfAMissingSourceTouchesNothing)
{
    Scratch scratch;
    EXPECT_EQ(copy_file(scratch.path("absent"), scratch.path("b")), PLATFORM_COPY_FAILED);
    EXPECT_EQ(access(scratch.host("b").c_str(), F_OK), -1);
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
    char native[PATH_BUFFER_SIZE];
    platform_native_path("\\tmp\\dist\\sumbra-5.10.3\\bin\\qvl.ini", native);
    EXPECT_STREQ(native, "/tmp/dist/sumbra-5.10.3/bin/qvl.ini");
    platform_native_path("", native);
    EXPECT_STREQ(native, "");
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
