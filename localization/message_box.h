// Message boxes that follow the reading order of the loaded language.
#pragma once

#include <windows.h>

// MessageBoxW, with MB_RIGHT | MB_RTLREADING added when the loaded language reads right to left.
int ShowMessage(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);
