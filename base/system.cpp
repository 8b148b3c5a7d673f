#include "base/system.h"

#include "base/handles.h"
#include "base/paths.h"

uint32_t WindowsVersion() {
  static int32_t platformId = -1;  // -1: not asked yet
  static uint32_t major = 0, minor = 0;
  if (platformId == -1) {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)  // GetVersionExW is deprecated but is exactly what we want here
#endif
    if (GetVersionExW(&info)) {
      platformId = static_cast<int32_t>(info.dwPlatformId);
      major = info.dwMajorVersion;
      minor = info.dwMinorVersion;
    } else {
      platformId = 0;
    }
  }
  if (platformId != VER_PLATFORM_WIN32_NT) return 0x0501;
  return major * 256 + minor;
}

HMODULE LoadSystemLibrary(const wchar_t* fileName) {
  wchar_t path[2048] = {};
  const UINT length = GetSystemDirectoryW(path, 2048);
  if (length == 0 || length >= 2048) return nullptr;
  JoinPath(path, fileName, path, 2048);
  return LoadLibraryW(path);
}

int32_t ScaleFontHeightForDpi(int32_t heightAt96Dpi, int32_t dpi) {
  return static_cast<int32_t>(static_cast<int64_t>(heightAt96Dpi) * dpi / 96);
}

int32_t ScaledFontHeight(int32_t heightAt96Dpi) {
  static int32_t screenDpi = 0;
  if (screenDpi == 0) {
    ScreenDc screen;
    if (screen.get()) screenDpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
  }
  return ScaleFontHeightForDpi(heightAt96Dpi, screenDpi);
}

void HardenDllSearchPath() {
  using SetDllDirectoryFunction = BOOL(WINAPI*)(LPCWSTR);
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32");
  if (!kernel) return;
  // Resolved by name: neither export exists on every system the archiver still knows.
  auto setDllDirectory = reinterpret_cast<SetDllDirectoryFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryW")));
  if (setDllDirectory) setDllDirectory(L"");
  // The program runs elevated from a folder an installer wrote: libraries that Windows' own DLLs
  // load on its behalf come from the system folder only, never from the program's folder.
  auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefaultDllDirectories) setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
