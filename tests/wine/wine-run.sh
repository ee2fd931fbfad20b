#!/bin/sh
# Runs a Windows program under Wine in the build's own prefix, with the
# pseudo-terminal shim preloaded: wine-run.sh PREFIX SHIM PROGRAM [ARGS...]
# Qt's offscreen platform finds its fonts in Debian's DejaVu folder (Wine
# hands on WINEQT_* variables as QT_*).
prefix=$1
shim=$2
shift 2
WINEPREFIX=$prefix WINEDEBUG=-all LD_PRELOAD=$shim WINEQT_QPA_FONTDIR=Z:/usr/share/fonts/truetype/dejavu exec wine "$@"
