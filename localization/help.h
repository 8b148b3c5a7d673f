// The help viewer: shows a page of the archiver's compiled help file "ovenix.chm" (beside the
// program, or a translated copy in the language folder) through the HTML Help control
// "hhctrl.ocx", loaded from the system folder on the first request.
#pragma once

#include <windows.h>

// With a topic, shows the page "html/<topic>.htm" of the help file; without one (null), the help
// file's table of contents. window is not used as the owner: the help window is owned by the
// desktop window. Failures are silent. When the first attempt fails and the help file's path does
// not survive a round trip through the ANSI code page, the path is composed once more from the
// program's short (8.3) path and the request repeated; this retry happens at most once per process.
// The help library, its entry point and the help file path are cached until the process ends.
void ShowHelp(HWND window, const wchar_t* topic);

// HtmlHelpW's signature as the HTML Help control exports it.
using HtmlHelpEntry = HWND(WINAPI*)(HWND owner, const wchar_t* pathOrUrl, UINT command, DWORD_PTR data);
