#!/bin/sh
# Runs Wine's loader with its diagnostic output appended to $TB_WINE_LOG: what
# a copy's Wine writes there (e.g. relay lines) is otherwise lost to the test.
exec /usr/lib/wine/wine "$@" 2>>"$TB_WINE_LOG"
