// One run of the tool, straight through: command line, question, release
// description, binaries, launcher configuration.
#include "file_lists.h"
#include "installer.h"
#include "messages.h"

// One installation of a tree at a time: a run locks the tree's release
// description and holds the lock to its end; the system releases it when
// the process ends, however it ends. A second run is refused before it
// changes anything.
static PlatformLockResult lock_tree(const char *root, PlatformFileLock *lock)
{
    char release_file[PATH_BUFFER_SIZE];
    // A root too long for this path was refused with the command line, so
    // no run comes here with one.
    if (!compose_path(release_file, "%s\\" RELEASE_FILE, root))  // GCOVR_EXCL_BR_LINE
        return PLATFORM_LOCK_FAILED;                             // GCOVR_EXCL_LINE
    PlatformLockResult result = platform_lock_file(release_file, lock);
    if (result == PLATFORM_LOCK_BUSY)
        installer_fail(MSG_ANOTHER_INSTALLATION, root);
    return result;
}

int installer_run(int argc, char **argv)
{
    InstallerState state = {};
    installer_set_up(argc, argv, &state);
    // Locked before the question, so that a second run is refused before
    // its user answers anything; a run waiting for its answer is already
    // the installation of its tree.
    PlatformFileLock lock;
    PlatformLockResult locked = lock_tree(state.root, &lock);
    ask_startup_question(&state);

    InstallLayout layout;
    read_release_description(state.root, &layout);
    // The release description could not be opened for the lock, yet has
    // been read since: lock it before the first change. Where its file
    // system offers no locks, the run goes on without one.
    if (locked != PLATFORM_LOCK_TAKEN)
        lock_tree(state.root, &lock);
    lay_out_binaries(&layout, state.velmar);
    write_launcher_configuration(state.root, &layout);
    platform_unlock_file(&lock);
    if (!state.silent)
        printf(MSG_SUCCESS, layout.version);
    return 0;
}
