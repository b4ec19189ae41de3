// One run of the tool, straight through.
#include "installer.h"

int installer_run(int argc, char **argv)
{
    InstallerState state = {};
    installer_set_up(argc, argv, &state);
    ask_startup_question(&state);
    return 0;
}
