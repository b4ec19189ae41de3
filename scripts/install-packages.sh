#!/bin/sh
# Makes sure the Debian packages named on the command line are installed:
# as root it installs the missing ones with apt-get; otherwise it names
# them and fails. Used by the test command and scripts/try-sample.sh.
#
#   scripts/install-packages.sh PACKAGE...
set -eu

missing=""
for package in "$@"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = "installed" ] || missing="$missing $package"
done
[ -n "$missing" ] || exit 0
if [ "$(id -u)" = 0 ]; then
    echo "== Installing:$missing"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
else
    echo "Missing Debian packages:$missing" >&2
    echo "Install them as root: apt-get install$missing" >&2
    exit 1
fi
