#!/bin/sh
# Runs a Windows program under Wine in the build's own prefix: wine-run.sh PREFIX PROGRAM [ARGS...]
# Qt's offscreen platform finds its fonts in Debian's DejaVu folder (Wine
# hands on WINEQT_* variables as QT_*).
prefix=$1
shift
WINEPREFIX=$prefix WINEDEBUG=-all WINEQT_QPA_FONTDIR=Z:/usr/share/fonts/truetype/dejavu exec wine "$@"
