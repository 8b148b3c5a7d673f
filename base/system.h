// Small platform helpers every layer shares: the Windows version, libraries loaded from the
// system folder only, the hardened library search path and dpi-scaled font heights.
#pragma once

#include <windows.h>

#include <cstdint>

// The running Windows version as major * 256 + minor (cached after the first call); 0x0501 off the
// NT platform. Never 0.
uint32_t WindowsVersion();

// Loads <system folder>\<fileName> by full path, so a library of that name in the current or
// program folder is never picked up. Null when the folder cannot be read or the library not loaded.
HMODULE LoadSystemLibrary(const wchar_t* fileName);

// A font height given at 96 dpi, scaled to the screen's vertical dpi (read once; while it cannot be
// read the result is 0, the font mapper's default, and the next call tries again).
int32_t ScaledFontHeight(int32_t heightAt96Dpi);
// The arithmetic alone: height * dpi / 96 in 32-bit signed arithmetic, truncated toward zero.
int32_t ScaleFontHeightForDpi(int32_t heightAt96Dpi, int32_t dpi);

// Narrows the DLL search for the rest of the process: the current folder leaves it
// (SetDllDirectoryW(L"")) and, where the system offers SetDefaultDllDirectories, every library
// loaded by name comes from the system folder only (LOAD_LIBRARY_SEARCH_SYSTEM32), the program's
// own folder included in what is no longer searched. Libraries loaded by full path are not
// affected. Each step is skipped silently where kernel32 lacks it.
void HardenDllSearchPath();
