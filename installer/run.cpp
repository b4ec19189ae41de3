// One run of the tool, straight through: command line, question, release
// description, binaries, launcher configuration.
#include "installer.h"
#include "messages.h"

#include <stdlib.h>

// What the end of a run needs, however it ends (installer_fail, or the
// return from main): the tree's lock, and whether the run is silent.
static PlatformFileLock run_lock = PLATFORM_NO_LOCK;
static int run_silent;

// The lock goes first; then a window opened for this run alone (a
// double-click) waits, so that its user can read how the run ended.
static void end_run(void)
{
    platform_unlock_file(&run_lock);
    if (waits_before_closing(platform_console_process_count(), run_silent,
                             platform_input_is_console()))
        wait_for_enter();
}

// One installation of a tree at a time: a run locks the tree's release
// description and holds the lock to its end; the system releases it when
// the process ends, however it ends. A second run is refused before it
// changes anything.
static PlatformLockResult lock_tree(const InstallLayout *layout, const char *root)
{
    PlatformLockResult result = platform_lock_file(layout->release_file, &run_lock);
    if (result == PLATFORM_LOCK_BUSY)
        installer_fail(MSG_ANOTHER_INSTALLATION, root);
    return result;
}

int installer_run(int argc, char **argv)
{
    atexit(end_run);
    InstallerState state = {};
    installer_set_up(argc, argv, &state);
    run_silent = state.silent;
    // Checked before the question: nothing is worth answering for a root
    // the run cannot use.
    InstallLayout layout;
    if (!compose_root_paths(&layout, state.root))
        installer_fail(MSG_ROOT_TOO_LONG, PATH_BUFFER_SIZE - 1, state.root);
    // Locked before the question, so that a second run is refused before
    // its user answers anything; a run waiting for its answer is already
    // the installation of its tree.
    PlatformLockResult locked = lock_tree(&layout, state.root);
    ask_startup_question(&state);

    read_release_description(state.root, &layout);
    // The release description could not be opened for the lock, yet has
    // been read since: lock it before the first change. Where its file
    // system offers no locks, the run goes on without one.
    if (locked != PLATFORM_LOCK_TAKEN)
        lock_tree(&layout, state.root);
    lay_out_binaries(&layout, state.velmar);
    write_launcher_configuration(state.root, &layout);
    platform_unlock_file(&run_lock);
    if (!state.silent)
        printf(MSG_SUCCESS, layout.version);
    return 0;
}
