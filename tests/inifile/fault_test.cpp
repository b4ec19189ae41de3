// Real faults: a folder that does not exist, a full device, and read and
// write errors in the middle of a file through the platform seam; running
// out of memory at each allocation in turn.
#include "fault.h"
#include "inifile.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace {

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
    EXPECT_EQ(ini_save(ini, dir.path("absent/file.ini").c_str()), -1);
    ini_destroy(ini);
}

TEST(Faults, FullDevice)
{
#ifdef _WIN32
    GTEST_SKIP() << "no full device on Windows";
#else
    IniFile *ini = ini_create();
    EXPECT_EQ(ini_save(ini, "/dev/full"), 0);  // nothing to write
    ini_put_section(ini, section_create("s"));
    EXPECT_EQ(ini_save(ini, "/dev/full"), -2);
    ini_destroy(ini);
#endif
}

TEST(Faults, WriteErrorMidFileKeepsWhatWasWritten)
{
    TempDir dir;
    IniFile *ini = build_document({{"s", {{"a", "1"}, {"b", "2"}}}, {"t", {{"c", "3"}}}});
    {
        ArmedFault fault(FAULT_WRITE, 6);  // "[" of the second section
        EXPECT_EQ(ini_save(ini, dir.path("partial.ini").c_str()), -2);
    }
    EXPECT_EQ(dir.read("partial.ini"), "[s]\na=1\nb=2\n");
    {
        ArmedFault fault(FAULT_WRITE, 2);  // the first name
        EXPECT_EQ(ini_save(ini, dir.path("partial.ini").c_str()), -2);
    }
    EXPECT_EQ(dir.read("partial.ini"), "[");
    ini_destroy(ini);
}

// The code the seam gives a failed file operation, as the system would.
#ifdef _WIN32
const int32_t injected_error = 30;  // ERROR_READ_FAULT
#else
const int32_t injected_error = EIO;
#endif

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
    fault_arm(FAULT_READ, 0);
    IniFile *whole = ini_load(path.c_str());
    ASSERT_NE(whole, nullptr);
    ini_destroy(whole);
    uint32_t reads = fault_count(FAULT_READ);
    ASSERT_GE(reads, 3u);  // two chunks and more: a read fails mid-file
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
        EXPECT_EQ(ini_load_with_error(path.c_str(), &error), nullptr);
        EXPECT_EQ(error.kind, c.error);
        EXPECT_EQ(error.line, 0);
        EXPECT_EQ(error.system_error, injected_error);
        EXPECT_EQ(error.message, c.what + system_text(injected_error));
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
}

}  // namespace
