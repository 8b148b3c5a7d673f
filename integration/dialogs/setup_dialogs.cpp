#include "integration/dialogs/setup_dialogs.h"

#include <richedit.h>
#include <shellapi.h>

#include "base/bounded_text.h"
#include "base/paths.h"
#include "base/run_log.h"
#include "base/run_state.h"
#include "integration/app_registration.h"
#include "integration/associations.h"
#include "integration/integration.h"
#include "integration/integration_settings.h"
#include "integration/previous_owner.h"
#include "localization/help.h"
#include "localization/language.h"
#include "localization/localized_strings.h"
#include "resources/resource_ids.h"
#include "settings/ini_store.h"
#include "settings/registry.h"

namespace {

// The check boxes of "SETUPDLG" besides the archive types, with the field each one shows.
struct FlagBox {
  int control;
  unsigned char IntegrationSettings::*field;
};
constexpr FlagBox kFlagBoxes[] = {
    {IDC_LINKDESKTOP, &IntegrationSettings::Desktop},     {IDC_LINKSTARTMENU, &IntegrationSettings::StartMenu},
    {IDC_LINKPROGRAMS, &IntegrationSettings::Programs},   {IDC_SHELLEXT, &IntegrationSettings::ShellExt},
    {IDC_SHELLCASCADED, &IntegrationSettings::CascadedMenu}, {IDC_SHELLICONS, &IntegrationSettings::MenuIcons},
};

// The association boxes as the select-all button sees them: identifiers in numeric order.
constexpr int kFirstAssociationBox = IDC_ASSOCVOK;
constexpr int kLastAssociationBox = IDC_ASSOC001;

constexpr UINT kFirstExplanationString = IDS_INSTHELP1;
constexpr UINT kLastInlineExplanationString = IDS_INSTHELP5;
constexpr UINT kExplanationTailString = IDS_INSTHELP6;

// The record "SETUPDLG" shows and edits, and what the entry point gave it. Only one settings
// dialog exists at a time (modal, one thread), so one of each serves it.
IntegrationSettings g_setupRecord;
const SetupDialogParameters* g_setupParameters = nullptr;

// What "SETUPCONTEXTITEMS" stored while the settings dialog runs, kept so that it can follow the
// settings into a settings file that comes into use only when setup is confirmed.
struct StoredItems {
  bool stored;
  bool programKeyExisted;  // HKCU\Software\Ovenix, before the first store
  DWORD values[kContextMenuItemCount];
  wchar_t masks[kAlwaysArcCapacity];
};
StoredItems g_storedItems;

void SetCheck(HWND dialog, int control, bool checked) {
  CheckDlgButton(dialog, control, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool IsChecked(HWND dialog, int control) { return IsDlgButtonChecked(dialog, control) == BST_CHECKED; }

// The shell opens what it is given: a document, a folder or an address.
void OpenWithShell(const wchar_t* target) {
  ShellExecuteW(/*owner=*/nullptr, L"open", target, /*parameters=*/nullptr, /*directory=*/L"", SW_SHOWNORMAL);
}

void ToggleAllAssociations(HWND dialog) {
  bool anyUnchecked = false;
  for (int control = kFirstAssociationBox; control <= kLastAssociationBox && !anyUnchecked; ++control)
    anyUnchecked = GetDlgItem(dialog, control) != nullptr && !IsChecked(dialog, control);
  for (int control = kFirstAssociationBox; control <= kLastAssociationBox; ++control)
    SetCheck(dialog, control, anyUnchecked);
}

void WriteStoredItems(const StoredItems& items) {
  for (size_t i = 0; i < kContextMenuItemCount; ++i)
    WriteUserNumber(kMenuItemsKey, ContextMenuItems[i].valueName, items.values[i]);
  WriteUserString(kMenuItemsKey, kAlwaysArcValue, items.masks);
}

// Takes the stored items out of the store again: the whole program key when they made it.
void DeleteStoredItems(const StoredItems& items) {
  if (!items.programKeyExisted) {
    DeleteSettingTree(HKEY_CURRENT_USER, L"");
    return;
  }
  for (const ContextMenuItem& item : ContextMenuItems)
    DeleteSettingValue(HKEY_CURRENT_USER, kMenuItemsKey, item.valueName);
  DeleteSettingValue(HKEY_CURRENT_USER, kMenuItemsKey, kAlwaysArcValue);
}

// The entry point's step before saving. When no settings file was in use, one may come into use
// there; the items stored in the registry meanwhile then move into it. Where none comes, they are
// written back to the registry as they were.
void RunBeforeSaving() {
  if (!g_setupParameters || !g_setupParameters->beforeSaving) return;
  const bool itemsInRegistry = g_storedItems.stored && !g_iniStore.loaded();
  if (itemsInRegistry) DeleteStoredItems(g_storedItems);
  g_setupParameters->beforeSaving();
  if (itemsInRegistry) WriteStoredItems(g_storedItems);
}

void ConfirmSetup(HWND dialog) {
  ReadSettings(dialog, g_setupRecord);
  RunBeforeSaving();
  // Owners an earlier setup saved in the registry follow the settings into the file, or nothing
  // would give them back once the file is the store.
  MoveSavedOwnersIntoSettingsFile();
  SaveIntegrationSettings(g_setupRecord);
  const bool integrated = ApplyIntegration(g_setupRecord, ProgramGroupFolder, kProgramGroupFolderCapacity);
  if (!integrated) {
    // An entry in the list of installed programs would pass a half-done setup off as an
    // installation; the installer learns from the exit code that it is not one.
    LogLine("setup: the integration stopped early: the registry refused a write it needs (access denied): "
            "no installed-programs entry");
    ExitCode = kExitIntegrationRefused;
  } else if (!RunOptions.MsiMode) {
    WriteUninstallEntry();
  }
  ReleaseAceExtension();
  EndDialog(dialog, integrated ? 1 : kSetupStoppedAtRefusedWrite);
}

void InitSetupDialog(HWND dialog, LPARAM parameters) {
  g_setupParameters = reinterpret_cast<const SetupDialogParameters*>(parameters);
  g_storedItems = StoredItems{};
  wchar_t explanation[kSetupExplanationCapacity];
  SetDlgItemTextW(dialog, IDC_INSTHELPTEXT, ComposeSetupExplanation(explanation, kSetupExplanationCapacity));

  g_setupRecord = IntegrationSettings{};
  LoadIntegrationSettings(g_setupRecord);
  ApplyInitSelection(RunOptions.InitSelection, g_setupRecord);
  ShowSettings(dialog, g_setupRecord);

  SetForegroundWindow(dialog);
  SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_programIcon));
  SendDlgItemMessageW(dialog, IDC_INSTHELPTEXT, EM_SETBKGNDCOLOR, /*useSystemColour=*/0, GetSysColor(COLOR_BTNFACE));

  if (RunOptions.Silent) SendMessageW(dialog, WM_COMMAND, IDOK, 0);
}

void InitContextItemsDialog(HWND dialog) {
  for (const ContextMenuItem& item : ContextMenuItems)
    SetCheck(dialog, item.checkBox, ReadUserNumber(kMenuItemsKey, item.valueName, item.defaultValue) != 0);
  wchar_t masks[kAlwaysArcCapacity];
  ReadUserString(kMenuItemsKey, kAlwaysArcValue, masks, kAlwaysArcDefault, kAlwaysArcCapacity);
  // The user cannot type more than is stored, so nothing typed is lost silently.
  SendDlgItemMessageW(dialog, IDC_CONTEXTALWAYSARC, EM_LIMITTEXT, kAlwaysArcCapacity - 1, 0);
  SetDlgItemTextW(dialog, IDC_CONTEXTALWAYSARC, masks);
  ClearRtlReading(GetDlgItem(dialog, IDC_CONTEXTALWAYSARC));
}

void StoreContextItems(HWND dialog) {
  StoredItems& items = g_storedItems;
  if (!items.stored) items.programKeyExisted = SettingKeyExists(HKEY_CURRENT_USER, L"");
  items.stored = true;
  for (size_t i = 0; i < kContextMenuItemCount; ++i)
    items.values[i] = IsChecked(dialog, ContextMenuItems[i].checkBox) ? 1 : 0;
  items.masks[0] = L'\0';
  GetDlgItemTextW(dialog, IDC_CONTEXTALWAYSARC, items.masks, static_cast<int>(kAlwaysArcCapacity));
  WriteStoredItems(items);
  // With a portable settings file the items reach the disk now, whatever setup does next.
  SaveSettingsNow();
}

void InitDoneDialog(HWND dialog) {
  SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_programIcon));
  // Without the bold font the label keeps the dialog font rather than falling back to the system font.
  if (g_boldDialogFont)
    SendDlgItemMessageW(dialog, IDC_THANKS, WM_SETFONT, reinterpret_cast<WPARAM>(g_boldDialogFont), /*redraw=*/FALSE);
  wchar_t folder[kPathCapacity] = {};
  CurrentFolder(folder, kPathCapacity);  // empty when it cannot be read
  SetDlgItemTextW(dialog, IDC_INSTFOLDER, folder);
  if (RunOptions.Silent) SendMessageW(dialog, WM_COMMAND, IDOK, 0);
}

void OpenLicense() {
  wchar_t path[kPathCapacity] = {};
  CurrentFolder(path, kPathCapacity);
  JoinPath(path, L"license.txt", path, kPathCapacity);
  ApplyLanguageFolder(path, path, kPathCapacity);
  OpenWithShell(path);
}

}  // namespace

HICON g_programIcon = nullptr;
HFONT g_boldDialogFont = nullptr;

bool HandleCommonDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM, const wchar_t* dialogName,
                               const wchar_t* helpTopic) {
  switch (message) {
    case WM_SETFONT:  // sent while the dialog is created, before WM_INITDIALOG and before it shows
      SetRtlLayout(dialog);
      return false;
    case WM_INITDIALOG:
      LocalizeDialog(dialog, dialogName);
      return false;
    case WM_HELP:
      if (helpTopic) ShowHelp(dialog, helpTopic);
      return true;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDHELP && helpTopic) ShowHelp(dialog, helpTopic);
      return false;
    default:
      return false;
  }
}

wchar_t* ComposeSetupExplanation(wchar_t* buffer, size_t capacity) {
  if (capacity == 0) return buffer;
  CopyBounded(buffer, L"   ", capacity);
  for (UINT id = kFirstExplanationString; id <= kLastInlineExplanationString; ++id) {
    AppendBounded(buffer, L" ", capacity);
    AppendBounded(buffer, LocalizedString(id), capacity);
  }
  AppendBounded(buffer, L"\r\n    ", capacity);
  AppendBounded(buffer, LocalizedString(kExplanationTailString), capacity);
  // A cut through a surrogate pair would leave half a character at the end: drop it.
  const size_t length = wcslen(buffer);
  if (length == capacity - 1 && length > 0 && IS_HIGH_SURROGATE(buffer[length - 1])) buffer[length - 1] = L'\0';
  return buffer;
}

void ShowSettings(HWND dialog, const IntegrationSettings& settings) {
  for (const ArchiveType& type : ArchiveTypes) SetCheck(dialog, type.checkBox, settings.Associate[type.index] != 0);
  for (const FlagBox& box : kFlagBoxes) SetCheck(dialog, box.control, settings.*box.field != 0);
  EnableWindow(GetDlgItem(dialog, IDC_SHELLCASCADED), settings.ShellExt != 0);
  EnableWindow(GetDlgItem(dialog, IDC_SHELLICONS), settings.ShellExt != 0);
}

void ReadSettings(HWND dialog, IntegrationSettings& settings) {
  for (const ArchiveType& type : ArchiveTypes) settings.Associate[type.index] = IsChecked(dialog, type.checkBox) ? 1 : 0;
  for (const FlagBox& box : kFlagBoxes) settings.*box.field = IsChecked(dialog, box.control) ? 1 : 0;
}

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (HandleCommonDialogMessage(dialog, message, wParam, lParam, kSetupDialogName, kSetupHelpTopic)) return TRUE;
  switch (message) {
    case WM_INITDIALOG:
      InitSetupDialog(dialog, lParam);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          ConfirmSetup(dialog);
          break;
        case IDCANCEL:
          ExitCode = kExitSetupCancelled;
          EndDialog(dialog, 0);
          break;
        case IDC_SHELLEXT:  // the box has toggled itself; follow it with the enabling of its two options
          ReadSettings(dialog, g_setupRecord);
          ShowSettings(dialog, g_setupRecord);
          break;
        case IDC_ASSOCALL:
          ToggleAllAssociations(dialog);
          break;
        case IDC_SETCONTEXTMENU:
          DialogBoxParamW(ResourceModule, kContextItemsDialogName, dialog, ContextItemsDialogProc, 0);
          break;
        default:
          break;
      }
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK ContextItemsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (HandleCommonDialogMessage(dialog, message, wParam, lParam, kContextItemsDialogName, kContextItemsHelpTopic))
    return TRUE;
  switch (message) {
    case WM_INITDIALOG:
      InitContextItemsDialog(dialog);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          StoreContextItems(dialog);
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK DoneDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (HandleCommonDialogMessage(dialog, message, wParam, lParam, kDoneDialogName, /*helpTopic=*/nullptr)) return TRUE;
  switch (message) {
    case WM_INITDIALOG:
      InitDoneDialog(dialog);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
          EndDialog(dialog, 1);
          break;
        case IDC_VIEWHELP:
          ShowHelp(dialog, /*topic=*/nullptr);
          break;
        case IDC_VIEWLICENSE:
          OpenLicense();
          break;
        case IDC_HOMEPAGE:
          OpenWithShell(LocalizedString(IDS_HOMEURL));
          break;
        default:
          break;
      }
      return TRUE;
    default:
      return FALSE;
  }
}
