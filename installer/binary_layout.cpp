// <root>\bin: the executables, the boot files and the active boot file.
#include "installer.h"
#include "messages.h"

// A copy the installation cannot do without: every failure ends the run.
static void copy_or_bail_out(const char *source, const char *destination)
{
    PlatformError error;
    if (platform_copy_file(source, destination, &error) != PLATFORM_COPY_DONE)
        installer_fail_copy(source, destination, &error);
}

void lay_out_binaries(const InstallLayout *layout, int velmar)
{
    // Every source is looked for before anything changes: a distribution
    // short of a file leaves the tree as it was.
    for (const FileCopy &copy : layout->executables) {
        if (!platform_exists(copy.source))
            installer_fail(MSG_FILE_MISSING, copy.source);
    }
    for (const FileCopy &copy : layout->boot_files) {
        if (!platform_exists(copy.source))
            installer_fail(MSG_FILE_MISSING, copy.source);
    }
    // Without bin no copy can be made: the first one says why.
    PlatformError error;
    if (!platform_create_directory(layout->root_bin, &error))
        installer_fail_copy(layout->executables[0].source, layout->executables[0].destination,
                            &error);

    for (const FileCopy &copy : layout->executables) {
        PlatformCopyResult result = platform_copy_file(copy.source, copy.destination, &error);
        // A program running from bin cannot be replaced while it runs: it is
        // left as it is, and the rest still installs.
        if (result == PLATFORM_COPY_IN_USE) {
            installer_report(&error, MSG_COPY_FAILED, copy.source, copy.destination);
            fputs(MSG_CONTINUING, stderr);
        } else if (result == PLATFORM_COPY_FAILED) {
            installer_fail_copy(copy.source, copy.destination, &error);
        }
    }
    for (const FileCopy &copy : layout->boot_files)
        copy_or_bail_out(copy.source, copy.destination);
    copy_or_bail_out(layout->boot_files[velmar ? 1 : 0].destination, layout->active_boot);
}
