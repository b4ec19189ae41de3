# Sourced by wine-run.sh and wine-prepare.sh: the environment every Wine
# process of a test run shares. $1 is the prefix, kept inside the build tree.
WINEPREFIX=$1
WINE=${WINE:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-$(dirname "$WINE")/wineserver}
WINEDEBUG=-all
# No .NET or HTML runtime offers, and no crash debugger: with the debugger a
# crashing program can end with status 0, so a crash could pass as success.
WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEPREFIX WINE WINESERVER WINEDEBUG WINEDLLOVERRIDES
unset DISPLAY WAYLAND_DISPLAY
