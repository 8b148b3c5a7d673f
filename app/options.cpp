#include "app/options.h"

#include <windows.h>

#include <cwchar>

#include "base/bounded_text.h"
#include "base/run_log.h"
#include "base/run_state.h"

namespace {

enum class OptionAction { Setup, Msi, Init, Wait, NoExplorer, Warning, Log, RestartExitCode };

struct OptionRow {
  const wchar_t* name;
  int comparedCharacters;
  OptionAction action;
  bool excludesUninstall;  // a command line holding it is not an uninstall
};

// Tried in this order; the first match acts. A token longer than the compared count still matches
// ("-noexplorer" and "-noex" alike). A switch that matches no row is unknown.
constexpr OptionRow kOptions[] = {
    {L"setup", 5, OptionAction::Setup, true},           {L"msi", 3, OptionAction::Msi, true},
    {L"init", 4, OptionAction::Init, true},             {L"wait", 4, OptionAction::Wait, true},
    {L"noexplorer", 4, OptionAction::NoExplorer, true}, {L"warning", 7, OptionAction::Warning, true},
    // Exactly "log=" and a path: "-logo" and a bare "-log" are unknown switches. Like the silent
    // switch it leaves uninstall mode alone.
    {L"log=", 4, OptionAction::Log, false},
    // A deployment tool's wish about the exit code, not a mode: "/S -restartexitcode=3010" uninstalls.
    {L"restartexitcode=", 16, OptionAction::RestartExitCode, false},
};

constexpr size_t kSwitchAndLogName = 5;              // "-log=" or "/log="
constexpr size_t kSwitchAndRestartExitCodeName = 17;  // "-restartexitcode=" or "/restartexitcode="

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

wchar_t UpperCase(wchar_t c) {
  return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c)))));
}

// -s, /S, -s1: 'S' followed by anything but an ASCII letter (the end of the token included).
bool IsSilentSwitch(const wchar_t* token) { return UpperCase(token[1]) == L'S' && !IsAsciiLetter(token[2]); }

const OptionRow* FindOption(const wchar_t* name) {
  for (const OptionRow& option : kOptions) {
    if (MatchOptionName(name, option.name, option.comparedCharacters)) return &option;
  }
  return nullptr;
}

// n of "restartexitcode=<n>": decimal digits only, 1 to kMaxRestartExitCode. A tool that asked for
// 3010 and got a code cut to something else would misread every run: anything else is refused.
bool ReadRestartExitCode(const wchar_t* digits, uint32_t* code) {
  if (*digits == L'\0') return false;
  uint32_t value = 0;
  for (; *digits != L'\0'; ++digits) {
    if (*digits < L'0' || *digits > L'9') return false;
    value = value * 10 + static_cast<uint32_t>(*digits - L'0');
    if (value > kMaxRestartExitCode) return false;
  }
  if (value == 0) return false;
  *code = value;
  return true;
}

// Acts on a switch that matched an option. False when the switch lacks its value or its value is
// invalid: it is then refused like an unknown switch.
[[nodiscard]] bool ApplyOption(OptionAction action, const wchar_t* token, RunRequests* requests) {
  switch (action) {
    case OptionAction::Setup:
      requests->setup = true;
      break;
    case OptionAction::Msi:
      RunOptions.MsiMode = true;
      break;
    case OptionAction::Init:
      // Everything after the switch character and "init"; "-init" alone gives an empty selection.
      CopyBounded(RunOptions.InitSelection, wcslen(token) > 5 ? token + 5 : L"", kInitSelectionCapacity);
      break;
    case OptionAction::Wait:
      requests->wait = true;
      break;
    case OptionAction::NoExplorer:
      RunOptions.NoExplorer = true;
      break;
    case OptionAction::Warning:
      requests->warning = true;
      break;
    case OptionAction::Log:
      if (token[kSwitchAndLogName] == L'\0') return false;
      CopyBounded(requests->logPath, token + kSwitchAndLogName, kCommandTokenCapacity);
      break;
    case OptionAction::RestartExitCode:
      return ReadRestartExitCode(token + kSwitchAndRestartExitCodeName, &requests->restartExitCode);
  }
  return true;
}

}  // namespace

const wchar_t* NextCommandToken(const wchar_t* source, wchar_t* destination, size_t capacity, bool* cut) {
  if (capacity > 0) destination[0] = 0;
  if (cut) *cut = false;
  while (IsBlank(*source)) ++source;
  if (*source == 0) return nullptr;
  size_t length = 0;
  bool dropped = false;
  bool inQuotes = false;
  for (; *source != 0; ++source) {
    wchar_t c = *source;
    if (!inQuotes && IsBlank(c)) break;
    if (c == L'"') {
      if (source[1] != L'"') {
        inQuotes = !inQuotes;
        continue;
      }
      ++source;  // a doubled quote is one literal quote; the quoting state stays
    }
    if (length + 1 < capacity) {
      destination[length++] = c;
    } else {
      dropped = true;
    }
  }
  if (capacity > 0) destination[length] = 0;
  if (cut) *cut = dropped;
  return source;
}

bool MatchOptionName(const wchar_t* token, const wchar_t* optionName, int count) {
  const int tokenLength = static_cast<int>(wcslen(token)) + 1;
  const int nameLength = static_cast<int>(wcslen(optionName)) + 1;
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, token,
                        tokenLength < count ? tokenLength : count, optionName,
                        nameLength < count ? nameLength : count) == CSTR_EQUAL;
}

void ParseOptions(bool fromInstaller, const wchar_t* text, RunRequests* requests) {
  wchar_t token[kCommandTokenCapacity];
  bool cut = false;
  bool uninstallExcluded = fromInstaller;  // the command line alone decides the mode
  for (const wchar_t* position = text ? NextCommandToken(text, token, kCommandTokenCapacity, &cut) : nullptr;
       position; position = NextCommandToken(position, token, kCommandTokenCapacity, &cut)) {
    if (token[0] != L'-' && token[0] != L'/') continue;  // the program path, stray words
    // A cut switch would act on what it did not say (a log path cut short names another file): the
    // command line refuses it; the installer's text ignores it like its other switches.
    if (cut) {
      if (!fromInstaller) requests->overlongSwitch = true;
      uninstallExcluded = true;
      continue;
    }
    if (IsSilentSwitch(token)) {
      RunOptions.Silent = true;  // never stands in the way of uninstall mode
      continue;
    }
    if (fromInstaller) continue;  // the installer may only ask for silence
    const OptionRow* option = FindOption(token + 1);
    if (option == nullptr || !ApplyOption(option->action, token, requests)) {
      requests->unknownSwitch = true;
      uninstallExcluded = true;
      continue;
    }
    uninstallExcluded = uninstallExcluded || option->excludesUninstall;
  }
  requests->uninstall = !uninstallExcluded;
}

uint32_t UninstallExitCode(uint32_t runCode, bool restartScheduled, uint32_t restartExitCode) {
  if (!restartScheduled) return runCode;
  if (runCode != kExitDone) {
    LogLine("restart: deletions wait for the next restart, but the run failed: its exit code %u stays", runCode);
    return runCode;
  }
  if (restartExitCode == 0) {
    LogLine("restart: deletions wait for the next restart; no -restartexitcode asks for its own code: exit code 0");
    return runCode;
  }
  LogLine("restart: deletions wait for the next restart: exit code %u, as -restartexitcode asks", restartExitCode);
  return restartExitCode;
}
