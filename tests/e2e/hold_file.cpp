// Test helper for the Windows build: holds a file open without sharing, as
// a running program holds its executable, until standard input ends.
#include <stdio.h>
#include <windows.h>

int main(int argc, char **argv)
{
    if (argc != 2) {
        fputs("usage: hold_file PATH\n", stderr);
        return 2;
    }
    HANDLE file =
        CreateFileA(argv[1], GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "hold_file: cannot open %s\n", argv[1]);
        return 1;
    }
    fputs("held\n", stdout);
    fflush(stdout);
    while (getchar() != EOF) {
    }
    CloseHandle(file);
    return 0;
}
