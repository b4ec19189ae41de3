// One run of the tool, straight through: command line, question, release
// description, binaries, launcher configuration.
#include "installer.h"
#include "messages.h"

int installer_run(int argc, char **argv)
{
    InstallerState state = {};
    installer_set_up(argc, argv, &state);
    ask_startup_question(&state);

    InstallLayout layout;
    read_release_description(state.root, &layout);
    lay_out_binaries(&layout, state.velmar);
    write_launcher_configuration(state.root, &layout);
    if (!state.silent)
        printf(MSG_SUCCESS, layout.version);
    return 0;
}
