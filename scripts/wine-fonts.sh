#!/usr/bin/env bash
# Gives $WINEPREFIX (made by wineboot) dialog fonts with the metrics of Windows', so
# dialogs under Wine are laid out as on Windows: pictures and tests see what users do.
#
# Debian's Wine looks for its own fonts in /usr/share/fonts, where they are not, and
# falls back to Liberation Sans for "MS Sans Serif": dialogs come out 12 pixels a line
# instead of 13, 6 x 12 dialog base units instead of Windows' 6 x 13, and labels get cut.
# The fonts folder is searched first, so copies there give Windows' metrics.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must be set}"
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
# Windows NT gives "MS Shell Dlg" (without DS_SHELLFONT) Microsoft Sans Serif, a TrueType
# of MS Sans Serif's widths; Wine gives it Tahoma, whose wider letters cut labels laid
# out for those widths. Wine has no Microsoft Sans Serif, so MS Sans Serif stands in.
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v 'MS Shell Dlg' \
    /d 'MS Sans Serif' /f </dev/null >/dev/null 2>&1
