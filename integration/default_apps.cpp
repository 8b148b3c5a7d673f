#include "integration/default_apps.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "base/bounded_text.h"
#include "base/paths.h"
#include "base/run_log.h"
#include "base/run_state.h"
#include "base/system.h"
#include "integration/app_registration.h"
#include "integration/integration_settings.h"
#include "localization/localized_strings.h"
#include "localization/message_box.h"
#include "resources/resource_ids.h"
#include "settings/registry.h"
#ifdef VOK_TEST_SEAMS
#include "integration/default_apps_test_seam.h"
#endif

namespace {

constexpr wchar_t kFileAssociationsKey[] = L"\\Software\\Ovenix\\Capabilities\\FileAssociations";
constexpr wchar_t kSupportedTypesKey[] = L"Applications\\Ovenix.exe\\SupportedTypes";
constexpr wchar_t kApplicationsKey[] = L"Applications";
constexpr wchar_t kProgramKey[] = L"\\Software\\Ovenix";
constexpr size_t kIconCapacity = kPathCapacity + 4;
constexpr DWORD kAccountCapacity = 257;  // UNLEN and its terminator

// The pages where the user makes the archiver the default: Settings (Windows 10.0 and later) takes
// the RegisteredApplications value name with the scope of the registration; the control panel
// page (Windows 6.x) takes none.
constexpr wchar_t kSettingsPageFormat[] = L"ms-settings:defaultapps?%ls=%ls";
constexpr wchar_t kControlPanel[] = L"control.exe";
constexpr wchar_t kDefaultProgramsPage[] = L"/name Microsoft.DefaultPrograms /page pageDefaultProgram";
// The count, a blank line and the question, each a localized string.
constexpr size_t kQuestionCapacity = 2 * LocalizedStringCapacity + 4;

// Extensions the last check found opening with another program by a choice in Windows, and
// whether the last registration was made per user.
unsigned g_chosenForAnotherApp = 0;
bool g_registeredPerUser = false;
#ifdef VOK_TEST_SEAMS
// Only the tests' copy of this file has the hooks (integration/default_apps_test_seam.h).
const DefaultAppsTestHooks* g_defaultAppsHooks = nullptr;
#endif

// The roots a registration may live under, in the order they are tried: machine-wide, then, where
// the machine's keys are refused, for the running user alone.
const HKEY kRegistrationRoots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};

// Default programs (RegisteredApplications and capabilities) came with Windows 6.0.
bool HasDefaultPrograms() { return WindowsVersion() >= 0x600; }

const wchar_t* ProgIdOf(const ArchiveType& type) { return type.index == kZipTypeIndex ? kZipProgId : kArchiveProgId; }

void WriteApplicationEntry() {
  (void)WriteSettingString(HKEY_CLASSES_ROOT, kApplicationKey, L"FriendlyAppName", kArchiverName);
  SettingKey supportedTypes(HKEY_CLASSES_ROOT, kSupportedTypesKey);
  ForEachArchiveExtension([&supportedTypes](const ArchiveType&, const wchar_t* extension) {
    (void)supportedTypes.WriteString(extension, L"");
  });
}

// False, having written nothing, when the root refuses the first write with access denied.
bool WriteCapabilities(HKEY root) {
  SettingKey capabilities(root, kCapabilitiesKey);
  if (capabilities.WriteString(L"ApplicationName", kArchiverName) == ERROR_ACCESS_DENIED) return false;
  (void)capabilities.WriteString(L"ApplicationDescription", kArchiverName);
  wchar_t icon[kIconCapacity];
  (void)ProgramFilePath(kArchiverExe, icon, kPathCapacity);
  AppendBounded(icon, L",0", kIconCapacity);
  (void)capabilities.WriteString(L"ApplicationIcon", icon);
  SettingKey fileAssociations(root, kFileAssociationsKey);
  ForEachArchiveExtension([&fileAssociations](const ArchiveType& type, const wchar_t* extension) {
    (void)fileAssociations.WriteString(extension, ProgIdOf(type));
  });
  // Last, so that the list never names a key that is not there yet. Its data is the key's path
  // below the same root.
  (void)WriteSettingString(root, kRegisteredApplicationsKey, kArchiverName, kCapabilitiesKey + 1);
  return true;
}

// Which program the shell starts when the extension is opened, as the running account sees it
// (its choice in Windows included). ASSOCF_INIT_IGNOREUNKNOWN: an extension nothing is associated
// with has no answer, rather than the program of the "Open with" dialog; ASSOCF_NOTRUNCATE: a cut
// path is no answer either.
HRESULT QueryExecutable(const wchar_t* extension, wchar_t* program, DWORD capacity) {
  const ASSOCF flags = ASSOCF_INIT_IGNOREUNKNOWN | ASSOCF_NOTRUNCATE;
  DWORD length = capacity;
#ifdef VOK_TEST_SEAMS
  if (g_defaultAppsHooks && g_defaultAppsHooks->queryAssociation)
    return g_defaultAppsHooks->queryAssociation(flags, ASSOCSTR_EXECUTABLE, extension, nullptr, program, &length);
#endif
  return AssocQueryStringW(flags, ASSOCSTR_EXECUTABLE, extension, /*verb: the default*/ nullptr, program, &length);
}

// Logs what opens the extension, and counts it when another app was chosen for it in Windows.
void CheckExtension(const wchar_t* extension, const wchar_t* archiver) {
  wchar_t program[kPathCapacity];
  const HRESULT answer = QueryExecutable(extension, program, kPathCapacity);
  if (FAILED(answer)) {
    wchar_t code[16];
    FormatBounded(code, 16, L"0x%08lX", static_cast<unsigned long>(answer));
    LogLine("opens with %s: no answer (%s)", extension, code);
  } else if (NamesEqual(program, archiver)) {
    LogLine("opens with %s: the archiver", extension);
  } else if (!IsOwnedAssociation(extension)) {
    // Setup takes over every chosen extension whose previous owner it can save exactly: a class
    // that is not the archiver's after setup is one it had to leave.
    LogLine("opens with %s: %s, as the extension was left to its owner (its type could not be saved exactly)",
            extension, program);
  } else {
    ++g_chosenForAnotherApp;
    LogLine("opens with %s: %s, chosen in Windows", extension, program);
  }
}

bool OpenPage(const DefaultAppsPage& page) {
#ifdef VOK_TEST_SEAMS
  if (g_defaultAppsHooks && g_defaultAppsHooks->open) return g_defaultAppsHooks->open(page.target, page.parameters);
#endif
  const HINSTANCE result =
      ShellExecuteW(/*owner=*/nullptr, L"open", page.target, page.parameters, /*directory=*/nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace

void WriteDefaultAppsRegistration() {
  WriteApplicationEntry();
  if (!HasDefaultPrograms()) return;
  for (HKEY root : kRegistrationRoots) {
    if (!WriteCapabilities(root)) continue;
    g_registeredPerUser = root == HKEY_CURRENT_USER;
    return;
  }
}

void DeleteDefaultAppsRegistration() {
  DeleteSettingTree(HKEY_CLASSES_ROOT, kApplicationKey);
  SettingKey(HKEY_CLASSES_ROOT, kApplicationsKey).DeleteIfEmpty();
  // On Windows 5.x a value of that name is not ours: this program never wrote one there.
  if (!HasDefaultPrograms()) return;
  for (HKEY root : kRegistrationRoots) {
    DeleteSettingValue(root, kRegisteredApplicationsKey, kArchiverName);
    DeleteSettingTree(root, kCapabilitiesKey);
    // Only where the capabilities made it: an earlier setup's settings may live in it.
    SettingKey(root, kProgramKey).DeleteIfEmpty();
  }
}

void CheckWhatOpensChosenExtensions(const IntegrationSettings& settings) {
  g_chosenForAnotherApp = 0;
  if (!IsIntegrationAllowed()) return;
  wchar_t archiver[kPathCapacity];
  (void)ProgramFilePath(kArchiverExe, archiver, kPathCapacity);
  wchar_t account[kAccountCapacity];
  DWORD accountLength = kAccountCapacity;
  if (!GetUserNameW(account, &accountLength)) CopyBounded(account, L"(unknown)", kAccountCapacity);
  LogLine("opens with: what Windows starts for each chosen extension, asked as the account %s; the archiver is %s",
          account, archiver);
  ForEachArchiveExtension([&settings, archiver](const ArchiveType& type, const wchar_t* extension) {
    if (settings.Associate[type.index] != 0) CheckExtension(extension, archiver);
  });
}

bool DefaultAppsPageFor(uint32_t windowsVersion, bool registeredPerUser, DefaultAppsPage& page) {
  page.target[0] = L'\0';
  page.parameters = nullptr;
  page.questionId = 0;
  if (windowsVersion >= 0xA00) {
    FormatBounded(page.target, kPathCapacity, kSettingsPageFormat,
                  registeredPerUser ? L"registeredAppUser" : L"registeredAppMachine", kArchiverName);
    page.questionId = IDS_DEFAULTAPPSQUESTION;
    return true;
  }
  if (windowsVersion < 0x600) return false;
  // By its full path: a control.exe in the current folder or on the search path must never start.
  const UINT length = GetSystemDirectoryW(page.target, kPathCapacity);
  if (length == 0 || length >= kPathCapacity) {
    page.target[0] = L'\0';
    return false;
  }
  JoinPath(page.target, kControlPanel, page.target, kPathCapacity);
  page.parameters = kDefaultProgramsPage;
  page.questionId = IDS_DEFAULTPROGRAMSQUESTION;
  return true;
}

void OfferDefaultAppsPage() {
  if (g_chosenForAnotherApp == 0) return;
  DefaultAppsPage page;
  if (!DefaultAppsPageFor(WindowsVersion(), g_registeredPerUser, page)) return;
  wchar_t count[12];
  FormatBounded(count, 12, L"%u", g_chosenForAnotherApp);
  wchar_t question[kQuestionCapacity];
  FormatWithArgument(question, kQuestionCapacity, LocalizedString(IDS_DEFAULTAPPSCOUNT), count);
  AppendBounded(question, L"\n\n", kQuestionCapacity);
  AppendBounded(question, LocalizedString(page.questionId), kQuestionCapacity);
  if (RunOptions.Silent || RunOptions.MsiMode) {
    LogLine("message not shown, %s: \"%s\"",
            RunOptions.Silent ? L"the run is silent" : L"a Windows Installer package runs setup", question);
    return;
  }
  if (ShowMessage(/*owner=*/nullptr, question, LocalizedString(IDS_UNINSTTITLE),
                  MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES)
    return;
  const bool opened = OpenPage(page);
  LogLine("default apps page: %s, parameters %s: %s", page.target, page.parameters,
          opened ? L"opened" : L"could not be opened");
}

#ifdef VOK_TEST_SEAMS
void SetDefaultAppsTestHooks(const DefaultAppsTestHooks* hooks) { g_defaultAppsHooks = hooks; }
#endif
