// One run of the tool: compose the plan, check it, carry it out, end.
#include "installer.h"
#include "messages.h"

// Prints what went wrong on standard error: the message, the reason line
// under it, and what the run does about it. Whatever standard output holds
// goes first, so that a log of both streams reads in the order of events.
static void report(const Failure *failure)
{
    fflush(stdout);
    fputs(failure->message, stderr);
    if (failure->has_reason) {
        char line[2 * PATH_BUFFER_SIZE];
        platform_reason(&failure->reason, line, sizeof line);
        fprintf(stderr, MSG_REASON, line);
    }
    if (failure->then != NULL)
        fputs(failure->then, stderr);
}

// The one exit of the run, whatever its outcome: every step returns here.
// Only two leave the process on their own: the usage asked for with /?
// (read_command_line), and a heap exhausted inside the configuration
// library, which ends the process with "Out of memory" and status 1;
// the system releases the lock then.
int installer_run(int argc, char **argv)
{
    // Each message reaches a log as it is written.
    setvbuf(stderr, NULL, _IONBF, 0);
    InstallerState state = {};
    InstallPlan plan = {};
    PlatformFileLock lock = PLATFORM_NO_LOCK;
    Failure failure = {};

    // Everything the run needs is settled before the question: a run that
    // cannot complete asks nothing, and changes nothing.
    int going = read_command_line(argc, argv, &state, &failure) &&
                settle_root(&state, &plan, &failure) &&
                read_release_description(&plan, &lock, &failure) && compose_plan(&plan, &failure) &&
                check_sources(&plan, &failure) && ask_startup_question(&state, &failure);
    for (size_t i = 0; going && i < PLAN_STEP_COUNT; ++i) {
        going = carry_out(&plan.steps[i], &plan, state.boot_choice, &failure);
        // A warning: the run goes on.
        if (going && failure.message[0] != '\0') {
            report(&failure);
            failure.message[0] = '\0';
        }
    }

    if (!going) {
        report(&failure);
        if (state.slash_s)
            fputs(MSG_USE_DASH_S, stderr);
    } else if (!state.silent) {
        printf(MSG_SUCCESS, plan.versions[KEY_VSN]);
    }
    // The tree is free for another run before a window opened for this one
    // alone (a double-click) waits, so that its user can read how it ended.
    platform_unlock_file(&lock);
    if (waits_before_closing(platform_console_process_count(), state.silent,
                             platform_console_streams()))
        wait_for_enter();
    return going ? 0 : 1;
}
