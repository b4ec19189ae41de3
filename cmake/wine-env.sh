# Sourced by wine-run.sh and wine-prepare.sh: the environment every Wine
# process of a test run shares. $1 is the prefix, kept inside the build tree.
WINEPREFIX=$1
# Wine refuses a prefix that another user owns. A user who does not own the
# build tree's prefix (the tests' unprivileged runs, when the tests run as
# root) works in a prefix of its own beside it, with its own home;
# wine-prepare.sh start, run by root, makes room for it.
if [ -d "$1" ] && [ "$(stat -c %u "$1")" != "$(id -u)" ]; then
    WINEPREFIX=$1-user$(id -u)/prefix
    HOME=$1-user$(id -u)/home
    export HOME
fi
WINE=${WINE:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-$(dirname "$WINE")/wineserver}
WINEDEBUG=-all
# One Unix locale for every run: Wine cannot create a file whose name the
# locale's character set lacks (a folder named in Polish, under LANG=C),
# and takes its ANSI code page from the locale (1252 for this one), which
# decides what a char path can spell.
LANG=C.UTF-8
unset LC_ALL LC_CTYPE
# No .NET or HTML runtime offers, and no crash debugger: with the debugger a
# crashing program can end with status 0, so a crash could pass as success.
WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEPREFIX WINE WINESERVER WINEDEBUG WINEDLLOVERRIDES LANG
unset DISPLAY WAYLAND_DISPLAY
