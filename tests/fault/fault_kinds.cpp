// Names, with --list, the kinds of call the fault seam can make fail, one a
// line, as a fault plan spells them: the tests take them from here.
#include "fault.h"

#include <stdio.h>
#include <string.h>

int main(int argc, char **argv)
{
    if (argc != 2 || strcmp(argv[1], "--list") != 0) {
        fputs("usage: fault_kinds --list\n", stderr);
        return 2;
    }
    for (int kind = 0; kind < FAULT_KIND_COUNT; ++kind)
        puts(fault_kind_name((FaultKind)kind));
    return 0;
}
