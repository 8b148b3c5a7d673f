#include "integration/shell_extension.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>

#include "base/bounded_text.h"
#include "base/paths.h"
#include "integration/app_registration.h"
#include "integration/default_apps.h"
#include "integration/integration_settings.h"
#include "integration/previous_owner.h"
#include "settings/registry.h"

const ShellExtensionLibrary kShellExtensionLibraries[2] = {
    {L"vokext32.dll", L"{5E0A1C32-8EE4-4F7B-9C21-7D3B6A90E514}", L"Ovenix32", true},
    {L"vokext.dll", L"{5E0A1C32-64E4-4F7B-9C21-7D3B6A90E514}", L"Ovenix", false},
};

namespace {

constexpr size_t kKeyCapacity = 1024;

constexpr wchar_t kClassKeyFormat[] = L"CLSID\\%ls";
constexpr wchar_t kInProcServerKeyFormat[] = L"CLSID\\%ls\\InProcServer32";
constexpr wchar_t kThreadingModel[] = L"Apartment";

// Handler keys named by the CLSID below a class key, default value empty.
constexpr wchar_t kContextMenuHandlerFormat[] = L"%ls\\shellex\\ContextMenuHandlers\\%ls";
constexpr wchar_t kPropertySheetHandlerFormat[] = L"%ls\\shellex\\PropertySheetHandlers\\%ls";
struct ClassHandlerKey {
  const wchar_t* classKey;
  const wchar_t* format;  // class key, then CLSID
};
constexpr ClassHandlerKey kClassHandlerKeys[] = {
    {kArchiveProgId, kContextMenuHandlerFormat}, {kArchiveProgId, kPropertySheetHandlerFormat},
    {kZipProgId, kContextMenuHandlerFormat},     {kZipProgId, kPropertySheetHandlerFormat},
    {L"exefile", kPropertySheetHandlerFormat},
};
// "<ProgID>\shellex\DropHandler", default value the CLSID: the last library registered owns them.
constexpr wchar_t kDropHandlerFormat[] = L"%ls\\shellex\\DropHandler";
constexpr const wchar_t* kDropHandlerProgIds[] = {kArchiveProgId, kZipProgId};
// Handler keys named by the handler name, default value the CLSID.
constexpr const wchar_t* kNamedHandlerKeyFormats[] = {
    L"*\\shellex\\ContextMenuHandlers\\%ls",
    L"Folder\\shellex\\ContextMenuHandlers\\%ls",
    L"Folder\\shellex\\DragDropHandlers\\%ls",
    L"Drive\\shellex\\DragDropHandlers\\%ls",
    L"lnkfile\\shellex\\ContextMenuHandlers\\%ls",
};
// Written by earlier versions only; removal still cleans them up.
constexpr const wchar_t* kLegacyHandlerKeyFormats[] = {
    L"Directory\\shellex\\ContextMenuHandlers\\%ls",
    L"Directory\\shellex\\DragDropHandlers\\%ls",
};

constexpr wchar_t kApprovedKey[] = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
constexpr wchar_t kApprovalText[] = L"Ovenix shell extension";  // the approval's description

struct FormattedKey {
  wchar_t text[kKeyCapacity];
  FormattedKey(const wchar_t* format, const wchar_t* argument) {
    FormatBounded(text, kKeyCapacity, format, argument);
  }
  FormattedKey(const wchar_t* format, const wchar_t* first, const wchar_t* second) {
    FormatBounded(text, kKeyCapacity, format, first, second);
  }
};

void WriteClassKeys(const wchar_t* libraryPath, const wchar_t* clsid, bool use32BitView) {
  const FormattedKey classKey(kClassKeyFormat, clsid);
  const FormattedKey serverKey(kInProcServerKeyFormat, clsid);
  SetRegistryView(use32BitView ? KEY_WOW64_32KEY : 0);
  (void)WriteSettingString(HKEY_CLASSES_ROOT, classKey.text, L"", kArchiverName);
  {
    SettingKey server(HKEY_CLASSES_ROOT, serverKey.text);
    (void)server.WriteString(L"", libraryPath);
    (void)server.WriteString(L"ThreadingModel", kThreadingModel);
  }
  SetRegistryView(0);
}

void Register(const wchar_t* libraryName, const wchar_t* clsid, const wchar_t* handlerName, bool use32BitView) {
  wchar_t libraryPath[kPathCapacity];
  if (ProgramFilePath(libraryName, libraryPath, kPathCapacity) && PathExists(libraryPath)) {
    WriteClassKeys(libraryPath, clsid, use32BitView);
  }
  for (const ClassHandlerKey& key : kClassHandlerKeys) {
    (void)WriteSettingString(HKEY_CLASSES_ROOT, FormattedKey(key.format, key.classKey, clsid).text, L"", L"");
  }
  for (const wchar_t* progId : kDropHandlerProgIds) {
    (void)WriteSettingString(HKEY_CLASSES_ROOT, FormattedKey(kDropHandlerFormat, progId).text, L"", clsid);
  }
  for (const wchar_t* format : kNamedHandlerKeyFormats) {
    (void)WriteSettingString(HKEY_CLASSES_ROOT, FormattedKey(format, handlerName).text, L"", clsid);
  }
  (void)WriteSettingString(HKEY_LOCAL_MACHINE, kApprovedKey, clsid, kApprovalText);
}

void Unregister(const wchar_t* clsid, const wchar_t* handlerName, bool use32BitView) {
  const FormattedKey classKey(kClassKeyFormat, clsid);
  const FormattedKey serverKey(kInProcServerKeyFormat, clsid);
  DeleteSettingKey(HKEY_CLASSES_ROOT, serverKey.text);
  DeleteSettingKey(HKEY_CLASSES_ROOT, classKey.text);
  if (use32BitView) {
    // Registration put this class in the 32-bit view; a default-view deletion does not reach it
    // on 64-bit Windows, and a class left there would point at a deleted library.
    DeleteSettingKey32(HKEY_CLASSES_ROOT, serverKey.text);
    DeleteSettingKey32(HKEY_CLASSES_ROOT, classKey.text);
  }
  for (const ClassHandlerKey& key : kClassHandlerKeys) {
    DeleteSettingKey(HKEY_CLASSES_ROOT, FormattedKey(key.format, key.classKey, clsid).text);
  }
  for (const wchar_t* progId : kDropHandlerProgIds) {
    DeleteSettingKey(HKEY_CLASSES_ROOT, FormattedKey(kDropHandlerFormat, progId).text);
  }
  for (const wchar_t* format : kNamedHandlerKeyFormats) {
    DeleteSettingKey(HKEY_CLASSES_ROOT, FormattedKey(format, handlerName).text);
  }
  for (const wchar_t* format : kLegacyHandlerKeyFormats) {
    DeleteSettingKey(HKEY_CLASSES_ROOT, FormattedKey(format, handlerName).text);
  }
  DeleteSettingValue(HKEY_LOCAL_MACHINE, kApprovedKey, clsid);
}

}  // namespace

void RegisterExtensionDll(bool registerDll, const wchar_t* libraryName, const wchar_t* clsid,
                          const wchar_t* handlerName, bool use32BitView) {
  if (registerDll) {
    Register(libraryName, clsid, handlerName, use32BitView);
  } else {
    Unregister(clsid, handlerName, use32BitView);
  }
}

void UpdateShellExtensions(bool removing, const IntegrationSettings& settings) {
  for (const ShellExtensionLibrary& library : kShellExtensionLibraries) {
    RegisterExtensionDll(settings.ShellExt != 0, library.fileName, library.clsid, library.handlerName,
                         library.use32BitView);
  }
  if (removing) {
    DeleteDefaultAppsRegistration();
    DeleteProgramSettings(HKEY_LOCAL_MACHINE);  // owner records of extensions still ours stay
  } else {
    WriteDefaultAppsRegistration();
  }
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}
