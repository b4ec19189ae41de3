// <root>\bin: the executables, the boot files and the active boot file.
#include "installer.h"
#include "messages.h"

static void require_file(const char *path)
{
    if (!platform_exists(path))
        installer_fail(MSG_FILE_MISSING, path);
}

// A boot file that cannot be copied leaves the installation unable to
// start: the run ends.
static void copy_or_bail_out(const char *source, const char *destination)
{
    if (!platform_copy_file(source, destination))
        installer_fail(MSG_COPY_FAILED_BAILING_OUT, source, destination);
}

void lay_out_binaries(const InstallLayout *layout, int velmar)
{
    // It may exist already; any other trouble shows in the copies.
    platform_create_directory(layout->root_bin);

    for (const FileCopy &copy : layout->executables) {
        require_file(copy.source);
        // A locked executable is left as it is; the rest still installs.
        if (!platform_copy_file(copy.source, copy.destination))
            fprintf(stderr, MSG_COPY_FAILED MSG_CONTINUING, copy.source, copy.destination);
    }
    for (const FileCopy &copy : layout->boot_files) {
        require_file(copy.source);
        copy_or_bail_out(copy.source, copy.destination);
    }
    copy_or_bail_out(layout->boot_files[velmar ? 1 : 0].destination, layout->active_boot);
}
