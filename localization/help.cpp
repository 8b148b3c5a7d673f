#include "localization/help.h"

#include <cwchar>

#include "base/bounded_text.h"
#include "base/paths.h"
#include "base/system.h"
#include "base/text_file.h"
#include "localization/language.h"
#ifdef VOK_TEST_SEAMS
#include "localization/help_test_seam.h"
#endif

namespace {

constexpr wchar_t kHelpLibraryName[] = L"hhctrl.ocx";
constexpr char kHelpEntryName[] = "HtmlHelpW";
constexpr wchar_t kHelpFileName[] = L"ovenix.chm";
constexpr UINT kDisplayTopic = 0;  // HH_DISPLAY_TOPIC
constexpr UINT kDisplayContents = 1;  // HH_DISPLAY_TOC
constexpr size_t kHelpUrlCapacity = kPathCapacity + 50;

// The help library stays loaded until the process ends and is deliberately never freed: a help
// window may still be open while the process winds down, and unloading its code under it would
// crash the process on exit.
HMODULE g_helpLibrary = nullptr;
HtmlHelpEntry g_helpEntry = nullptr;
wchar_t g_helpFilePath[kPathCapacity];
bool g_helpRetryUsed = false;
#ifdef VOK_TEST_SEAMS
// Only the tests' copy of this file has the hooks (localization/help_test_seam.h).
const HelpTestHooks* g_helpHooks = nullptr;
#endif

// The program's own path into path (kPathCapacity); empty when it cannot be had.
void ProgramPath(wchar_t* path) {
#ifdef VOK_TEST_SEAMS
  if (g_helpHooks && g_helpHooks->programPath) {
    CopyBounded(path, g_helpHooks->programPath, kPathCapacity);
    return;
  }
#endif
  ModulePath(nullptr, path, kPathCapacity);
}

// The help file beside the program whose path is given, or the language folder's copy.
void ComposeHelpFilePath(const wchar_t* programPath) {
  CopyBounded(g_helpFilePath, programPath, kPathCapacity);
  ReplaceFileName(g_helpFilePath, kHelpFileName, kPathCapacity);
  ApplyLanguageFolder(g_helpFilePath, g_helpFilePath, kPathCapacity);
}

HWND CallHtmlHelp(HWND owner, const wchar_t* pathOrUrl, UINT command) {
#ifdef VOK_TEST_SEAMS
  if (g_helpHooks && g_helpHooks->htmlHelp) {
    return g_helpHooks->htmlHelp(g_helpEntry, owner, pathOrUrl, command, 0);
  }
#endif
  return g_helpEntry(owner, pathOrUrl, command, 0);
}

HMODULE LoadHelpLibrary() {
#ifdef VOK_TEST_SEAMS
  if (g_helpHooks && g_helpHooks->loadHelpLibrary) return g_helpHooks->loadHelpLibrary();
#endif
  return LoadSystemLibrary(kHelpLibraryName);
}

// True when the path comes back unchanged from a round trip through the ANSI code page, i.e. the
// help library (which converts to ANSI internally on some systems) can open it as it is.
bool SurvivesAnsiCodePage(const wchar_t* path) {
  char narrow[kPathCapacity];
  wchar_t back[kPathCapacity];
  if (!WideToAnsi(path, narrow, kPathCapacity)) return false;
  if (!AnsiToWide(narrow, back, kPathCapacity)) return false;
  return std::wcscmp(back, path) == 0;
}

}  // namespace

void ShowHelp(HWND window, const wchar_t* topic) {
  const HWND owner = GetDesktopWindow();
  if (!g_helpLibrary) g_helpLibrary = LoadHelpLibrary();
  if (!g_helpEntry) {
    if (!g_helpLibrary) return;
    g_helpEntry = reinterpret_cast<HtmlHelpEntry>(
        reinterpret_cast<void*>(GetProcAddress(g_helpLibrary, kHelpEntryName)));
    wchar_t programPath[kPathCapacity];
    ProgramPath(programPath);
    ComposeHelpFilePath(programPath);
    if (!g_helpEntry) return;
  }

  HWND shown;
  if (topic) {
    wchar_t url[kHelpUrlCapacity];
    CopyBounded(url, g_helpFilePath, kHelpUrlCapacity);
    AppendBounded(url, L"::/html/", kHelpUrlCapacity);
    AppendBounded(url, topic, kHelpUrlCapacity);
    AppendBounded(url, L".htm", kHelpUrlCapacity);
    shown = CallHtmlHelp(owner, url, kDisplayTopic);
  } else {
    shown = CallHtmlHelp(owner, g_helpFilePath, kDisplayContents);
  }
  if (shown || g_helpRetryUsed) return;

  // Some help libraries cannot open a path with characters outside the ANSI code page; the
  // program's short path has none, so it is tried once.
  g_helpRetryUsed = true;
  if (SurvivesAnsiCodePage(g_helpFilePath)) return;
  wchar_t programPath[kPathCapacity];
  ProgramPath(programPath);
  wchar_t shortPath[kPathCapacity] = L"";
  const DWORD length = GetShortPathNameW(programPath, shortPath, kPathCapacity);
  ComposeHelpFilePath(length > 0 && length < kPathCapacity && shortPath[0] ? shortPath : programPath);
  ShowHelp(window, topic);
}

#ifdef VOK_TEST_SEAMS
void SetHelpTestHooks(const HelpTestHooks* hooks) {
  g_helpHooks = hooks;
  g_helpLibrary = nullptr;  // forgotten, not freed: a help window of it may still be open
  g_helpEntry = nullptr;
  g_helpFilePath[0] = L'\0';
  g_helpRetryUsed = false;
}
#endif
