#!/bin/sh
# Runs a Windows program under Wine in the build's own prefix: wine-run.sh PREFIX PROGRAM [ARGS...]
prefix=$1
shift
WINEPREFIX=$prefix WINEDEBUG=-all exec wine "$@"
