// The tool's entry point: the whole run lives in installer_run.
#include "installer.h"

int main(int argc, char **argv)
{
    return installer_run(argc, argv);
}
