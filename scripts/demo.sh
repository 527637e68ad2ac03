#!/usr/bin/env bash
# The demo, in a throwaway Wine prefix:
# 1. The camera: a card made from sample photographs is served over USB by the Still
#    Image stand-in; camtool lists it, fetches every thumbnail (decoded by the
#    system's own JPEG decoder and reduced for the grid) and two pictures, which must
#    be byte for byte the card's files. Results land in build/demo/.
# 2. The uninstall: the prefix is seeded with a camera driver installation (device
#    keys, driver class keys, Image class instances, read-only INF/PNF files, the
#    stored INF copy, a registered uninstaller) and decoys; Tidrek.exe runs, the
#    confirmation is answered Yes, and what went is listed.
# Expects the win64 build and DISPLAY (./dev demo provides both).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN="$ROOT/build/win64/bin"
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
WORK=$(mktemp -d /tmp/vx2917-demo.XXXXXX)
export WINEPREFIX="$WORK/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    $WINESERVER -k >/dev/null 2>&1 || true
    $WINESERVER -w >/dev/null 2>&1 || true
    rm -rf "$WORK"
}
trap cleanup EXIT

echo "== creating a throwaway Wine prefix"
$WINE wineboot -i </dev/null >/dev/null 2>&1
$WINE reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
$WINE reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "" /f >/dev/null 2>&1
$WINE reg add 'HKLM\Software\Wine\Ports' /v COM2 /d "" /f >/dev/null 2>&1
$WINE cmd /c exit </dev/null >/dev/null 2>&1

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
OUT="$ROOT/build/demo"
CARD="$OUT/card"
mkdir -p "$OUT"
if [ ! -f "$CARD/.complete" ]; then
    echo "== making the demo card from sample photographs (once; kept in build/demo/card)"
    rm -rf "$CARD"
    "$ROOT/scripts/make-card" "$CARD" --count 12 >/dev/null
    touch "$CARD/.complete"
fi
rm -rf "$OUT/thumbnails" "$OUT/pictures"
mkdir -p "$OUT/thumbnails" "$OUT/pictures"
export VX_STI_CARD
VX_STI_CARD=$(winpath "$CARD")
camtool() { $WINE "$BIN/camtool.exe" --usb "$@" </dev/null; }

echo "== the camera over USB (Still Image stand-in serving build/demo/card)"
echo "-- camtool list:"
camtool list 2>/dev/null | sed 's/^/   /'
echo "-- camtool thumbs: every thumbnail fetched, decoded and reduced for the grid"
camtool thumbs "$(winpath "$OUT/thumbnails")" 2>/dev/null | sed 's/^/   /'
echo "   $(ls "$OUT/thumbnails" | wc -l) thumbnails in build/demo/thumbnails"
if [ -x /usr/bin/montage ]; then
    /usr/bin/montage "$OUT"/thumbnails/*.bmp -tile 4x -geometry +4+4 -background '#202020' \
        "$OUT/contact-sheet.png" && echo "   contact sheet: build/demo/contact-sheet.png"
fi
echo "-- camtool get SDSC0003 SDSC0007: whole pictures, compared with the card's files"
camtool get SDSC0003 SDSC0007 "$(winpath "$OUT/pictures")" 2>/dev/null | sed 's/^/   /'
for name in SDSC0003 SDSC0007; do
    if cmp -s "$OUT/pictures/$name.jpg" "$CARD/S${name:1}.JPG"; then
        echo "   $name.jpg: $(stat -c %s "$OUT/pictures/$name.jpg") bytes, identical to the card"
    else
        echo "   $name.jpg: DIFFERS from the card"; exit 1
    fi
done
$WINE "$BIN/jpeg2bmp.exe" "$(winpath "$OUT/pictures/SDSC0007.jpg")" \
    "$(winpath "$OUT/pictures/SDSC0007.bmp")" </dev/null >/dev/null 2>&1 &&
    echo "   SDSC0007 decoded by the system's decoder: build/demo/pictures/SDSC0007.bmp"

reg_add() { $WINE reg add "HKLM\\$1" "${@:2}" /f >/dev/null 2>&1; }
IMAGE='SYSTEM\CurrentControlSet\Control\Class\{6bdd1fc6-810f-11d0-bec7-08002be2092f}'
CLASS='System\CurrentControlSet\Services\Class'

echo "== seeding the camera's installation and some decoys"
reg_add 'Enum\USB\VID_0D96&PID_4100\INST_0' /v Driver /d 'Image\0000'
reg_add 'Enum\USB\VID_0D96&PID_4100\INST_10' /v Driver /d 'Image\0010'
reg_add 'Enum\USB\VID_0D96&PID_4102'
reg_add "$CLASS\\Image\\0000" /v Class /d Image
reg_add "$CLASS\\Image\\0010" /v Class /d Image
reg_add "$IMAGE\\0000" /v DriverDesc /d VX2917
reg_add "$IMAGE\\0000" /v InfPath /d oem3.inf
reg_add "$IMAGE\\0001" /v DriverDesc /d vx2917
reg_add "$IMAGE\\0001" /v InfPath /d oem4.inf
reg_add "$IMAGE\\0002" /v DriverDesc /d VX6158
reg_add "$IMAGE\\0002" /v InfPath /d oem5.inf
INF="$WINEPREFIX/drive_c/windows/inf"
mkdir -p "$INF/other"
for f in oem3.inf oem3.pnf oem4.inf oem4.pnf oem5.inf oem5.pnf; do echo "[Version]" >"$INF/$f"; done
echo "[Version]" >"$INF/other/MicrosoftVX2917.inf"
$WINE attrib +r 'C:\windows\inf\oem3.inf' >/dev/null 2>&1
$WINE attrib +r 'C:\windows\inf\oem3.pnf' >/dev/null 2>&1
cp "$BIN/cmdline_recorder.exe" "$WINEPREFIX/drive_c/uninstaller.exe"
reg_add 'SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\VX2917' /v UninstallString \
    /d 'C:\uninstaller.exe /remove C:\vx2917\install.log'
export VX_RECORD_FILE='C:\uninstaller-calls.txt'

snapshot() {
    for k in 'Enum\USB\VID_0D96&PID_4100' 'Enum\USB\VID_0D96&PID_4100\INST_0' \
             'Enum\USB\VID_0D96&PID_4100\INST_10' 'Enum\USB\VID_0D96&PID_4102' \
             "$CLASS\\Image\\0000" "$CLASS\\Image\\0010" \
             "$IMAGE\\0000" "$IMAGE\\0001" "$IMAGE\\0002"; do
        if $WINE reg query "HKLM\\$k" >/dev/null 2>&1; then echo "key  HKLM\\$k"; fi
    done
    (cd "$INF" && ls oem3.* oem4.* oem5.* other/MicrosoftVX2917.inf 2>/dev/null || true) |
        sed 's|^|file C:\\windows\\inf\\|; s|/|\\|g'
    return 0
}
snapshot >"$WORK/before"
echo "-- before:"; sed 's/^/   /' "$WORK/before"

echo "== running Tidrek.exe (the demo answers its question with Yes)"
$WINE "$BIN/click_box.exe" Tidrek yes </dev/null >"$WORK/click.txt" 2>&1 &
clicker=$!
$WINE "$BIN/Tidrek.exe" </dev/null >/dev/null 2>&1
wait $clicker || true
sed 's/^/   /' "$WORK/click.txt"
# The uninstaller is started without waiting for it: give it a moment to write.
for _ in $(seq 100); do
    if [ -f "$WINEPREFIX/drive_c/uninstaller-calls.txt" ]; then break; fi
    sleep 0.05
done

snapshot >"$WORK/after"
echo "-- removed:"
comm -23 <(sort "$WORK/before") <(sort "$WORK/after") | sed 's/^/   /'
echo "-- kept:"
comm -12 <(sort "$WORK/before") <(sort "$WORK/after") | sed 's/^/   /'
echo "-- uninstaller started with command line:"
if [ -f "$WINEPREFIX/drive_c/uninstaller-calls.txt" ]; then
    sed 's/^/   /' "$WINEPREFIX/drive_c/uninstaller-calls.txt"
else
    echo "   (not started)"
fi
