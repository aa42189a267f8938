#!/bin/sh
# Starts or stops the wine server that every Windows test program of one run shares (in the
# prefix named by WINEPREFIX).
#   wine_session.sh start WINESERVER WINE   keep a server running, then create or update the prefix
#   wine_session.sh stop WINESERVER         stop it and wait until it has gone
set -eu
action=$1
wineserver=$2
case $action in
start)
    # The server needs the prefix folder; wineboot fills it. -p: stay up until told to stop,
    # whatever the gaps between programs.
    mkdir -p "${WINEPREFIX:?WINEPREFIX must name the prefix}"
    # Neither the server nor the services wineboot starts may keep this test's output open:
    # the test runner waits for that output to close.
    "$wineserver" -p </dev/null >/dev/null 2>&1
    "$3" wineboot --init </dev/null >"$WINEPREFIX/wineboot.log" 2>&1 || {
        cat "$WINEPREFIX/wineboot.log" >&2
        exit 1
    }
    ;;
stop)
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w
    ;;
*)
    echo "usage: $0 start WINESERVER WINE | stop WINESERVER" >&2
    exit 2
    ;;
esac
