# Sourced by demo.sh and bench.sh. lay_out_mock_installation FOLDER: a mock Ovenix installation in
# FOLDER (a Unix path inside a Wine prefix): the built uninstall.exe, stand-ins for the archiver's
# files and the installer's Uninstall.lst naming them all. Run from the source tree's root.
lay_out_mock_installation() {
  mkdir -p "$1/Formats"
  cp build/uninstall.exe "$1/uninstall.exe"
  for f in Ovenix.exe vokext.dll vokext32.dll ovenix.chm license.txt Formats/readme.txt; do
    echo "mock $f" >"$1/$f"
  done
  printf '%s\r\n' Ovenix.exe vokext.dll vokext32.dll ovenix.chm license.txt Formats/readme.txt Formats \
    voknew.dat zipnew.dat uninstall.exe >"$1/Uninstall.lst"
}
