#!/usr/bin/env bash
# The main job, on a fresh Debian machine: build uninstall.exe, make a disposable Wine prefix,
# seed it with other programs' associations, lay out a mock Ovenix installation, run a silent
# setup and then a silent uninstall, and show what each step changed in the registry and on disk.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
./scripts/install-deps.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target uninstall >/dev/null

demo=$root/build/demo
prefix=$demo/prefix
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
quiet() { "$@" >/dev/null 2>&1 </dev/null; }

quiet wineserver -k || true
rm -rf "$demo"
mkdir -p "$prefix"
xvfb_pid=""
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 170 230); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
    xvfb_pid=$!
    export DISPLAY=":$n"
    break
  done
  sleep 1
fi
cleanup() {
  quiet wineserver -k || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

echo "== Creating a disposable Wine prefix in $prefix"
quiet wineboot -i
quiet wineserver -w
# Wine links Desktop, Documents, ... to the Linux home folder: plain folders keep the shortcuts
# that setup makes inside the prefix.
for link in "$prefix"/drive_c/users/*/*; do
  if [ -L "$link" ]; then rm -f "$link" && mkdir -p "$link"; fi
done
quiet wineserver -p
quiet wine cmd /c exit   # the session's first process: its services must not hold our output

echo "== Seeding other programs' associations (.zip with a ShellNew entry, .7z, .iso)"
reg_add() { quiet wine reg add "$@" /f; }
reg_add 'HKLM\Software\Classes\.zip' /ve /d OtherZip.Archive
reg_add 'HKLM\Software\Classes\.zip\ShellNew' /v NullFile /d ''
reg_add 'HKLM\Software\Classes\OtherZip.Archive' /ve /d 'Zip archive (other program)'
reg_add 'HKLM\Software\Classes\.7z' /ve /d Other7z.Archive
reg_add 'HKLM\Software\Classes\Other7z.Archive' /ve /d '7z archive (other program)'
reg_add 'HKLM\Software\Classes\.iso' /ve /d DiscImage.File

snapshot() {  # snapshot NAME: the registry (flattened) and the files of the prefix
  quiet wine regedit /E "$demo/$1-hklm.reg" 'HKEY_LOCAL_MACHINE\Software'
  quiet wine regedit /E "$demo/$1-hkcu.reg" 'HKEY_CURRENT_USER\Software'
  { python3 scripts/regflat.py "$demo/$1-hklm.reg"; python3 scripts/regflat.py "$demo/$1-hkcu.reg"; } \
    | grep -v -i -e '\\Software\\Wine' -e 'Explorer\\' -e 'ShellNoRoam' | LC_ALL=C sort >"$demo/$1.registry"
  (cd "$prefix/drive_c" && find users ProgramData 'Program Files' -mindepth 1 2>/dev/null | LC_ALL=C sort) >"$demo/$1.files"
}
show_changes() {  # show_changes FROM TO
  echo "-- registry lines added:"
  LC_ALL=C comm -13 "$demo/$1.registry" "$demo/$2.registry" | sed 's/^/   + /'
  echo "-- registry lines removed:"
  LC_ALL=C comm -23 "$demo/$1.registry" "$demo/$2.registry" | sed 's/^/   - /'
  echo "-- files added:"
  LC_ALL=C comm -13 "$demo/$1.files" "$demo/$2.files" | sed 's/^/   + /'
  echo "-- files removed:"
  LC_ALL=C comm -23 "$demo/$1.files" "$demo/$2.files" | sed 's/^/   - /'
}

snapshot origin   # the machine before the archiver came

install_unix="$prefix/drive_c/Program Files/Ovenix"
install_win='C:\Program Files\Ovenix'
echo "== Laying out a mock installation in $install_win"
. scripts/mock-installation.sh
lay_out_mock_installation "$install_unix"

# Both runs write their log outside the folders compared below.
log_win='C:\vok-demo\run log.txt'
mkdir -p "$prefix/drive_c/vok-demo"
snapshot before
echo "== Silent setup: \"$install_win\\uninstall.exe\" -setup -s \"-log=$log_win\""
set +e
wine "$install_win\\uninstall.exe" -setup -s "-log=$log_win" </dev/null
echo "   exit code $?"
set -e
snapshot setup
show_changes before setup

echo "== Silent uninstall: \"$install_win\\uninstall.exe\" -s \"/log=$log_win\""
set +e
wine "$install_win\\uninstall.exe" -s "/log=$log_win" </dev/null
echo "   exit code $?"
set -e
echo "   waiting for the self-removal batch file to remove the program and its folder ..."
for _ in $(seq 1 120); do
  [ -e "$install_unix" ] || break
  sleep 0.5
done
sleep 1
# The batch file lives in a folder of its own, which its last line removes on Windows. Wine's cmd
# keeps the batch file open until it ends, so there the folder stays, empty: it is removed here
# once cmd has ended (only an empty folder can be), and shown.
for _ in $(seq 1 60); do
  left=0
  for folder in "$prefix"/drive_c/users/*/Temp/*; do
    [[ -d $folder && $(basename "$folder") =~ ^[0-9A-F]{32}$ ]] || continue
    if rmdir "$folder" 2>/dev/null; then
      echo "   removed the empty batch folder that Wine's cmd leaves: ${folder#"$prefix"/drive_c/}"
    else
      left=1
    fi
  done
  [ "$left" = 0 ] && break
  sleep 0.5
done
snapshot after
cp "$prefix/drive_c/vok-demo/run log.txt" "$demo/run.log"
echo "== The runs' log ($log_win, copied to build/demo/run.log: $(wc -l <"$demo/run.log") lines);"
echo "   every line but the single registry and settings changes:"
{ grep -v -e '^registry: ' -e '^settings file: ' "$demo/run.log" || true; } | sed 's/^/   /'
echo "== What installation, setup and uninstall left behind, compared with the machine before"
show_changes origin after
if cmp -s "$demo/origin.registry" "$demo/after.registry" && cmp -s "$demo/origin.files" "$demo/after.files"; then
  echo "== Nothing left: registry and files are exactly as before setup."
else
  # The promise: no value, no key with a value below it, no file or folder that was not there
  # before. Empty keys may stay: removal deletes single keys, so the parent keys that the shell
  # extension registration created (such as Drive\shellex\DragDropHandlers) and the key
  # RegisteredApplications, whose value alone is removed, remain without content.
  values_left=$(LC_ALL=C comm -13 "$demo/origin.registry" "$demo/after.registry" | grep -c ' : ' || true)
  files_left=$(LC_ALL=C comm -13 "$demo/origin.files" "$demo/after.files" | wc -l)
  registry_gone=$(LC_ALL=C comm -23 "$demo/origin.registry" "$demo/after.registry" | wc -l)
  if [ "$values_left" -eq 0 ] && [ "$files_left" -eq 0 ] && [ "$registry_gone" -eq 0 ]; then
    echo "== Round trip clean: no value and no file left, every earlier entry back; only empty keys remain."
  else
    echo "== Round trip NOT clean: $values_left values and $files_left files left, $registry_gone entries gone."
    exit 1
  fi
fi
