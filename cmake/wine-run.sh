#!/bin/sh
# wine-run.sh PREFIX PROGRAM [ARGUMENT...]
# Runs a Windows program under Wine in the given prefix, preparing the
# prefix first if no test-run fixture has done it yet.
here=$(dirname "$0")
. "$here/wine-env.sh" "$1"
shift
[ -f "$WINEPREFIX/.prepared" ] || "$here/wine-prepare.sh" "$WINEPREFIX" start
exec "$WINE" "$@"
