#!/bin/sh
# wine-prepare.sh PREFIX start|stop
# start: creates the prefix once, under a lock, then keeps one wineserver
#        alive for the test run so that each test does not pay Wine's start.
# stop:  ends that server.
here=$(dirname "$0")
. "$here/wine-env.sh" "$1"
# The user the tests run their cases about permissions and read-only files
# as, when they run as root (tests/e2e/conftest.py).
test_user=65534
case "$2" in
stop)
    "$WINESERVER" -k >/dev/null 2>&1
    "$WINESERVER" -w >/dev/null 2>&1
    rm -f "$WINEPREFIX/.prepared"
    # The unprivileged user's server too, which only that user can reach.
    if [ "$(id -u)" = 0 ] && [ -f "$1-user$test_user/prefix/.prepared" ]; then
        setpriv --reuid=$test_user --regid=$test_user --clear-groups "$0" "$1" stop
    fi
    exit 0 ;;
start) ;;
*) echo "usage: wine-prepare.sh PREFIX start|stop" >&2; exit 2 ;;
esac

mkdir -p "$(dirname "$WINEPREFIX")"
# Room for the unprivileged user's own prefix, which its first run creates.
if [ "$(id -u)" = 0 ]; then
    mkdir -p "$1-user$test_user/home"
    chown $test_user:$test_user "$1-user$test_user" "$1-user$test_user/home"
fi
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/.prepared" ]; then
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$WINE" wineboot --init </dev/null >/dev/null 2>&1 9>&-
    fi
    # Prefix creation leaves a short-lived server behind; starting the
    # persistent one while its processes linger makes tests hang.
    "$WINESERVER" -k </dev/null >/dev/null 2>&1 9>&-
    "$WINESERVER" -w </dev/null >/dev/null 2>&1 9>&-
    # The server and Wine's system processes inherit the streams of the
    # process that starts them and hold them open: start them from
    # /dev/null, never from a test whose output is being captured, and
    # without the lock, which they would otherwise hold while they live.
    "$WINESERVER" -p300 </dev/null >/dev/null 2>&1 9>&-
    "$WINE" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 9>&-
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine-prepare.sh: could not create the Wine prefix $WINEPREFIX" >&2
        exit 1
    fi
    touch "$WINEPREFIX/.prepared"
fi
exit 0
