#!/bin/sh
# The Wine side of a test run.
#   start    PREFIX [heap-checks] make the prefix if needed, start a display and one persistent
#                                 server; with heap-checks, every process in the prefix runs with
#                                 Wine's heap checking
#   stop     PREFIX               stop the server (and the display this script started)
#   reset    PREFIX               put the registry and the user folders back as they were when the
#                                 prefix was made, then start the server again
#   scenario PREFIX EXE [ARGS]    reset, then run one end-to-end program and return its exit code
#
# Wine's session services are started by the first process of a server and inherit its output:
# that first process always writes to /dev/null, or CTest (which reads our output through a pipe)
# would wait for them forever.
set -u
command=$1
prefix=$2
shift 2
heap_checks=no
[ "$command" = start ] && [ "${1:-}" = heap-checks ] && heap_checks=yes

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
pristine="$prefix.pristine"
display_file="$prefix.display"
xvfb_pid_file="$prefix.xvfb.pid"
mkdir -p "$(dirname "$prefix")"

quiet() { "$@" >/dev/null 2>&1 </dev/null; }

start_display() {
  if [ -n "${DISPLAY:-}" ]; then
    echo "$DISPLAY" >"$display_file"
    return 0
  fi
  for n in $(seq 90 160); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
    echo $! >"$xvfb_pid_file"
    i=0
    while [ $i -lt 100 ] && [ ! -e "/tmp/.X11-unix/X$n" ]; do sleep 0.1; i=$((i + 1)); done
    if [ -e "/tmp/.X11-unix/X$n" ]; then
      echo ":$n" >"$display_file"
      DISPLAY=":$n"
      export DISPLAY
      return 0
    fi
    kill "$(cat "$xvfb_pid_file")" 2>/dev/null
  done
  echo "no free X display for Xvfb" >&2
  return 1
}

use_display() {
  if [ -z "${DISPLAY:-}" ] && [ -f "$display_file" ]; then
    DISPLAY="$(cat "$display_file")"
    export DISPLAY
  fi
}

stop_server() {
  quiet wineserver -k
  quiet wineserver -w
}

start_server() {
  use_display
  quiet wineserver -p
  quiet wine cmd /c exit
}

# Wine links the user's Desktop, Documents, Music, ... to the Linux home folder. The tests make
# shortcuts on the desktop and list the desktop before and after: give the prefix plain folders of
# its own there, so a run neither writes into the real home nor reads what other programs change
# in it meanwhile.
detach_user_folders() {
  for link in "$1"/*/*; do
    [ -L "$link" ] || continue
    rm -f "$link" && mkdir -p "$link"
  done
}

# Xvfb runs no window manager, and Wine waits up to two seconds for one whenever a window it lets
# a window manager handle is hidden: every dialog and message box of a test would cost that.
# The prefix's windows are left unmanaged instead.
leave_windows_unmanaged() {
  quiet wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
  stop_server
}
# A prefix made before both steps were taken is made again.
windows_are_unmanaged() { grep -q '^"Managed"="N"' "$pristine/user.reg" 2>/dev/null; }

# Heap checking, for the checked configuration: Wine reads the system-wide global flags when a
# process starts. Tail checking (0x10) fills the slack after each block with a pattern, free
# checking (0x20) each freed block; the validation every test program ends with
# (tests/support/heap_check.cpp) then finds a block written past its end while it is still
# allocated, and a freed block written to before its memory is handed out again. (Validating the
# whole heap at every heap call, 0x80, would also catch a block written past its end and then
# freed, but under Wine it makes a test program of 2.5 seconds run for minutes.) A fresh prefix
# has the value already, as 0.
global_flag=00000000
[ "$heap_checks" = yes ] && global_flag=00000030
set_global_flag() {
  quiet wine reg add 'HKLM\System\CurrentControlSet\Control\Session Manager' /v GlobalFlag /t REG_DWORD /d "0x$global_flag" /f
  stop_server
}
# A prefix made with the other setting is made again.
global_flag_is_set() { grep -q "^\"GlobalFlag\"=dword:$global_flag\$" "$pristine/system.reg" 2>/dev/null; }

save_pristine() {
  rm -rf "$pristine"
  mkdir -p "$pristine"
  cp "$prefix/system.reg" "$prefix/user.reg" "$prefix/userdef.reg" "$pristine/"
  cp -a "$prefix/drive_c/users" "$pristine/users"
  cp -a "$prefix/drive_c/ProgramData" "$pristine/ProgramData"
}

restore_pristine() {
  cp "$pristine/system.reg" "$pristine/user.reg" "$pristine/userdef.reg" "$prefix/"
  rm -rf "$prefix/drive_c/users" "$prefix/drive_c/ProgramData" "$prefix/drive_c/vok-e2e" \
         "$prefix/drive_c/Program Files/Ovenix" "$prefix/drive_c/Program Files (x86)/Ovenix"
  cp -a "$pristine/users" "$prefix/drive_c/users"
  cp -a "$pristine/ProgramData" "$prefix/drive_c/ProgramData"
}

case "$command" in
  start)
    start_display || exit 1
    if [ ! -f "$prefix/system.reg" ] || [ ! -d "$pristine" ] || ! windows_are_unmanaged || ! global_flag_is_set; then
      stop_server
      rm -rf "$prefix" "$pristine"
      mkdir -p "$prefix"
      # On a heavily loaded machine wineboot has been seen to stop half-way, leaving a prefix
      # without its system files: check that a program starts, and make it once more if not.
      for attempt in 1 2; do
        quiet wineboot -i
        stop_server
        if [ -f "$prefix/system.reg" ] && quiet wine cmd /c exit; then
          stop_server
          break
        fi
        stop_server
        [ "$attempt" = 2 ] && { echo "wineboot did not create a working prefix in $prefix" >&2; exit 1; }
        rm -rf "$prefix"
        mkdir -p "$prefix"
      done
      leave_windows_unmanaged
      [ "$heap_checks" = no ] || set_global_flag
      detach_user_folders "$prefix/drive_c/users"
      save_pristine
    fi
    start_server
    echo "Wine session ready: prefix $prefix, display ${DISPLAY:-none}, heap checking $heap_checks"
    ;;
  stop)
    stop_server
    if [ -f "$xvfb_pid_file" ]; then
      kill "$(cat "$xvfb_pid_file")" 2>/dev/null
      rm -f "$xvfb_pid_file"
    fi
    rm -f "$display_file"
    echo "Wine session stopped"
    ;;
  reset)
    stop_server
    restore_pristine
    start_server
    ;;
  scenario)
    exe=$1
    shift
    stop_server
    restore_pristine
    start_server
    wine "$exe" "$@"
    ;;
  *)
    echo "usage: $0 start PREFIX [heap-checks] | stop|reset PREFIX | scenario PREFIX EXE [ARGS...]" >&2
    exit 2
    ;;
esac
