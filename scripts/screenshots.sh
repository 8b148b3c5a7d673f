#!/usr/bin/env bash
# Screenshots of the three setup dialogs ("SETUPDLG", "SETUPCONTEXTITEMS", "DONEDLG") and of the
# question that offers the Default apps page ("DEFAULTAPPS") taken from
# the real uninstall.exe under Xvfb, in English and in the sample right-to-left language, at the
# given dpi values (default: 96 and 144). Steps through setup in a disposable prefix of its own
# with a mock installation, clicking through window messages (dialog_driver). Writes
# docs/screenshots/<language>-<dpi>-<dialog>.png. Needs imagemagick (import, convert).
#   scripts/screenshots.sh [build folder] [dpi...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build}
shift || true
dpis=("$@")
[ ${#dpis[@]} -gt 0 ] || dpis=(96 144)
cmake --build "$build" --target uninstall dialog_driver >/dev/null

work=$root/$build/screenshots
prefix=$work/prefix
out=$root/docs/screenshots
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
quiet() { "$@" >/dev/null 2>&1 </dev/null; }
driver="$root/$build/tools/dialog_driver.exe"

xvfb_pid=""
cleanup() {
  quiet wineserver -k || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
for n in $(seq 240 300); do
  [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
  xvfb_pid=$!
  export DISPLAY=":$n"
  break
done
sleep 1

mkdir -p "$out" "$work"
if [ ! -f "$prefix/system.reg" ]; then
  quiet wineboot -i
  quiet wineserver -w
fi
# Without a window manager Wine draws no frames; its virtual desktop draws them itself.
quiet wineserver -p
quiet wine cmd /c exit
quiet wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
quiet wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1000x800 /f

install_unix="$prefix/drive_c/Program Files/Ovenix"
install_win='C:\Program Files\Ovenix'

shoot() {  # shoot MARKER FILE: the dialog marked by the control MARKER, cropped to its window
  wine "$driver" wait "$1" >/dev/null 2>&1
  sleep 1.5
  local geometry
  geometry=$(wine "$driver" rect "$1" 2>/dev/null | tr -d '\r')
  import -window root "$work/root.png"
  /usr/bin/convert "$work/root.png" -crop "$geometry" +repage "$2"
  echo "   $2 ($geometry)"
}

for language in ${LANGUAGES:-en he}; do
  for dpi in "${dpis[@]}"; do
    echo "== $language at $dpi dpi"
    quiet wineserver -k || true
    quiet wineserver -w || true
    rm -rf "$install_unix" "$prefix/drive_c/users/Public/Desktop/Ovenix.lnk"
    mkdir -p "$install_unix"
    cp "$build/uninstall.exe" "$install_unix/"
    for f in Ovenix.exe vokext.dll vokext32.dll ovenix.chm Vok.txt WhatsNew.txt license.txt; do
      echo "mock $f" >"$install_unix/$f"
    done
    [ "$language" = he ] && cp languages/hebrew/uninstall.lng "$install_unix/uninstall.lng"
    quiet wineserver -p
    quiet wine cmd /c exit
    quiet wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f
    quiet wine reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
      /v LogPixels /t REG_DWORD /d "$dpi" /f
    quiet wine reg delete 'HKCU\Software\Ovenix' /f || true
    # The question comes when Windows opens a chosen extension with another app. Wine keeps no
    # choice in Windows (UserChoice): a default verb of the archiver's ZIP class that starts
    # another program makes the shell answer for ".zip" as it would for such a choice.
    quiet wine reg add 'HKCR\Ovenix.ZIP\shell' /ve /d view /f
    quiet wine reg add 'HKCR\Ovenix.ZIP\shell\view\command' /ve /d 'C:\windows\notepad.exe "%1"' /f
    # Wine's own Tahoma has no Hebrew letters (the one of Windows has): for the right-to-left
    # pictures, link a system font that has them, as Windows links fonts for scripts a face lacks.
    for face in Tahoma 'MS Shell Dlg' 'MS Shell Dlg 2'; do
      if [ "$language" = he ]; then
        quiet wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$face" \
          /t REG_MULTI_SZ /d 'DejaVuSans.ttf,DejaVu Sans' /f
      else
        quiet wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$face" /f || true
      fi
    done
    quiet wineserver -k || true
    quiet wineserver -w || true
    quiet wineserver -p
    quiet wine cmd /c exit
    wine start /d "$install_win" "$install_win\\uninstall.exe" -setup -noexplorer >/dev/null 2>&1 </dev/null
    shoot 5125 "$out/$language-$dpi-SETUPDLG.png"
    wine "$driver" click 5125 5126 >/dev/null 2>&1
    shoot 121 "$out/$language-$dpi-SETUPCONTEXTITEMS.png"
    wine "$driver" click 121 2 >/dev/null 2>&1
    sleep 1
    wine "$driver" click 5125 1 >/dev/null 2>&1
    shoot 5102 "$out/$language-$dpi-DONEDLG.png"
    wine "$driver" click 5102 1 >/dev/null 2>&1
    shoot 6 "$out/$language-$dpi-DEFAULTAPPS.png"  # the message box, by its Yes button
    wine "$driver" click 6 7 >/dev/null 2>&1
    sleep 1
  done
done
