#include "app/handover.h"

#include <windows.h>

#include "base/paths.h"
#include "base/run_log.h"

bool HandOverFile(const wchar_t* fileName) {
  // The data folder is never created here: without the per-user folder the file lands beside
  // the program, where the archiver looks for a portable settings file too.
  wchar_t destination[kPathCapacity];
  ArchiverDataFolder(destination, kPathCapacity);
  JoinPath(destination, fileName, destination, kPathCapacity);
  const bool present = PathExists(destination);
  wchar_t source[kPathCapacity] = {};
  const DWORD length = GetEnvironmentVariableW(L"sfxname", source, kPathCapacity);
  // Missing, empty, or too long to be a path we could use: not started by the installer.
  if (length == 0 || length >= kPathCapacity || source[0] == L'\0') return true;
  if (present) {  // the user's own file wins over the installer's
    LogLine("hand-over: %s is not copied, %s is there already", fileName, destination);
    return true;
  }

  ReplaceFileName(source, fileName, kPathCapacity);
  if (!PathExists(source)) return false;
  const bool copied = CopyFileW(source, destination, /*failIfExists=*/TRUE);
  LogLine("hand-over: copied %s to %s -> %e", source, destination, ErrorUnless(copied));
  return true;
}

void RunPostSetupHandOver() { HandOverFile(L"ovenix.ini"); }
