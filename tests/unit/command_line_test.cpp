// Argument handling and the root taken from the tool's own path.
#include "fault.h"
#include "installer.h"

#include <gtest/gtest.h>

#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

struct ArgumentsCase {
    const char *description;
    std::vector<const char *> arguments;  // after the program name
    ArgumentsResult result;
    const char *offending;  // on error
    const char *root;       // on success; null when none was given
    int silent;
};

const ArgumentsCase arguments_cases[] = {
    {"no arguments", {}, ARGUMENTS_OK, nullptr, nullptr, 0},
    {"root only", {"C:\\dist"}, ARGUMENTS_OK, nullptr, "C:\\dist", 0},
    {"switch and root", {"-s", "C:\\dist"}, ARGUMENTS_OK, nullptr, "C:\\dist", 1},
    {"root before switch", {"C:\\dist", "-s"}, ARGUMENTS_OK, nullptr, "C:\\dist", 1},
    {"repeated switch", {"-s", "-s", "C:\\dist"}, ARGUMENTS_OK, nullptr, "C:\\dist", 1},
    {"long switch", {"-silent"}, ARGUMENTS_OK, nullptr, nullptr, 1},
    {"switch with tail", {"-sx"}, ARGUMENTS_OK, nullptr, nullptr, 1},
    {"slash is a root", {"/s"}, ARGUMENTS_OK, nullptr, "/s", 0},
    {"empty root", {""}, ARGUMENTS_OK, nullptr, "", 0},
    {"unknown switch first", {"-x", "C:\\dist"}, ARGUMENTS_UNKNOWN_SWITCH, "-x", nullptr, 0},
    {"upper-case S", {"-S"}, ARGUMENTS_UNKNOWN_SWITCH, "-S", nullptr, 0},
    {"lone dash", {"-"}, ARGUMENTS_UNKNOWN_SWITCH, "-", nullptr, 0},
    {"second root before bad switch",
     {"C:\\dist", "D:\\other", "-x"},
     ARGUMENTS_SECOND_ROOT,
     "D:\\other",
     nullptr,
     0},
    {"second root empty", {"C:\\dist", ""}, ARGUMENTS_SECOND_ROOT, "", nullptr, 0},
    {"help after a bad switch", {"-x", "/?"}, ARGUMENTS_HELP, nullptr, nullptr, 0},
    {"help after two roots", {"a", "b", "-h"}, ARGUMENTS_HELP, nullptr, nullptr, 0},
};

TEST(ParseArguments, Table)
{
    for (const ArgumentsCase &c : arguments_cases) {
        SCOPED_TRACE(c.description);
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>("Install"));
        for (const char *a : c.arguments)
            argv.push_back(const_cast<char *>(a));
        InstallerState state = {};
        const char *offending = nullptr;
        ArgumentsResult result = parse_arguments((int)argv.size(), argv.data(), &state, &offending);
        EXPECT_EQ(result, c.result);
        if (c.result == ARGUMENTS_HELP)
            continue;
        if (c.result != ARGUMENTS_OK) {
            // The very argument is reported, not a copy of it.
            ASSERT_NE(offending, nullptr);
            EXPECT_STREQ(offending, c.offending);
            continue;
        }
        EXPECT_EQ(state.silent, c.silent);
        if (c.root == nullptr) {
            EXPECT_EQ(state.root, nullptr);
        } else {
            ASSERT_NE(state.root, nullptr);
            EXPECT_STREQ(state.root, c.root);
        }
    }
}

TEST(CutRootFromPath, Table)
{
    // Delivered truncated: the whole buffer, no terminating zero, a
    // backslash in it that would otherwise give a plausible root.
    const std::string filled = "aa\\" + std::string(PATH_BUFFER_SIZE - 3, 'a');
    struct Case {
        std::string path;
        OwnRootResult result;
        const char *root;
    } cases[] = {
        {"C:\\setup.exe", OWN_ROOT_OK, "C:\\"},
        {"C:\\dist\\bin\\Install.exe", OWN_ROOT_OK, "C:\\dist\\bin"},
        {"\\setup.exe", OWN_ROOT_OK, ""},
        {"\\opt\\dist\\Install", OWN_ROOT_OK, "\\opt\\dist"},
        {"C:\\dist\\", OWN_ROOT_OK, "C:\\dist"},
        {"C:/dist/Install.exe", OWN_ROOT_BROKEN, nullptr},
        {"setup.exe", OWN_ROOT_BROKEN, nullptr},
        {"", OWN_ROOT_NO_PATH, nullptr},
        {filled, OWN_ROOT_TRUNCATED, nullptr},
        {filled.substr(0, PATH_BUFFER_SIZE - 1), OWN_ROOT_OK, "aa"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        char buffer[PATH_BUFFER_SIZE];
        memcpy(buffer, c.path.data(), c.path.size());  // no zero after a filled buffer
        if (c.path.size() < sizeof buffer)
            buffer[c.path.size()] = '\0';
        EXPECT_EQ(cut_root_from_path(buffer, (uint32_t)c.path.size()), c.result);
        if (c.root != nullptr) {
            EXPECT_STREQ(buffer, c.root);
        }
    }
}

TEST(RootFromOwnPath, FailsWhenThePlatformCannotSay)
{
    InstallerState state = {};
    PlatformError error;
    fault_arm(FAULT_OWN_PATH, 1);
    EXPECT_EQ(root_from_own_path(&state, &error), OWN_ROOT_NO_PATH);
    fault_arm(FAULT_OWN_PATH, 0);
    EXPECT_EQ(state.root, nullptr);
}

TEST(RootFromOwnPath, IsTheDirectoryOfThisProgram)
{
    InstallerState state = {};
    PlatformError error;
    ASSERT_EQ(root_from_own_path(&state, &error), OWN_ROOT_OK);
    ASSERT_EQ(state.root, state.root_buffer);
    char own[PATH_BUFFER_SIZE];
    uint32_t length = platform_own_path(own, sizeof own, &error);
    ASSERT_GT(length, 0u);
    size_t root_length = strlen(state.root);
    ASSERT_LT(root_length, (size_t)length);
    EXPECT_EQ(own[root_length], '\\');
    EXPECT_EQ(strncmp(own, state.root, root_length), 0);
    EXPECT_EQ(strchr(own + root_length + 1, '\\'), nullptr);
}

#ifndef _WIN32
// The full path of a relative root, from a scratch folder as the current
// one: what the tool writes into qvl.ini, with backslashes.
TEST(FullPath, Table)
{
    char scratch[] = "/tmp/quorvel-full-path-XXXXXX";
    ASSERT_NE(mkdtemp(scratch), nullptr);
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(scratch), 0);
    std::string here = scratch;
    for (char &c : here)
        c = c == '/' ? '\\' : c;
    const uint32_t exact = (uint32_t)here.size() + 3;  // "\\x" and the zero
    struct Case {
        const char *path;
        uint32_t size;
        PlatformPathResult result;
        std::string full;
    } cases[] = {
        {".", 4096, PLATFORM_PATH_OK, here},
        {"", 4096, PLATFORM_PATH_OK, here},
        {"a/./.b/../c.//d\\", 4096, PLATFORM_PATH_OK, here + "\\a\\c.\\d\\"},
        {"../", 4096, PLATFORM_PATH_OK, here.substr(0, here.rfind('\\')) + "\\"},
        {"../../../../../../../../../..", 4096, PLATFORM_PATH_OK, "\\"},
        {"x", exact, PLATFORM_PATH_OK, here + "\\x"},
        {"x", exact - 1, PLATFORM_PATH_TOO_LONG, ""},
        {"x\\", exact, PLATFORM_PATH_TOO_LONG, ""},
        {"x", 3, PLATFORM_PATH_TOO_LONG, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        char buffer[4096];
        PlatformError error;
        ASSERT_EQ(platform_full_path(c.path, buffer, c.size, &error), c.result);
        if (c.result == PLATFORM_PATH_OK) {
            EXPECT_EQ(std::string(buffer), c.full);
        }
    }
    fault_arm(FAULT_FULL_PATH, 1);
    char buffer[4096];
    PlatformError error;
    EXPECT_EQ(platform_full_path(".", buffer, sizeof buffer, &error), PLATFORM_PATH_FAILED);
    EXPECT_EQ(chdir(previous), 0);
    EXPECT_EQ(rmdir(scratch), 0);
}
#endif

}  // namespace
