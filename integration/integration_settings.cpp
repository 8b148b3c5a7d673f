#include "integration/integration_settings.h"

#include <initializer_list>

#include "base/bounded_text.h"
#include "base/run_log.h"
#include "resources/resource_ids.h"
#include "settings/registry.h"

// The check boxes of types 4, 13 and 14 do not follow the index order of the table.
const ArchiveType ArchiveTypes[kArchiveTypeCount] = {
    {0, L".vok", L".vok", IDC_ASSOCVOK},
    {1, L".zip", L".zip", IDC_ASSOCZIP},
    {2, L".cab", L".cab", IDC_ASSOCCAB},
    {3, L".arj", L".arj", IDC_ASSOCARJ},
    {4, L".lz", L".lz.tlz", IDC_ASSOCLZ},
    {5, L".lzh", L".lzh.lha", IDC_ASSOCLZH},
    {6, L".7z", L".7z", IDC_ASSOC7Z},
    {7, L".tar", L".tar", IDC_ASSOCTAR},
    {8, L".gz", L".gz.tgz", IDC_ASSOCGZ},
    {9, L".uue", L".uue.xxe.uu", IDC_ASSOCUUE},
    {10, L".bz2", L".bz2.tbz2.bz.tbz", IDC_ASSOCBZ2},
    {11, L".jar", L".jar", IDC_ASSOCJAR},
    {12, L".iso", L".iso", IDC_ASSOCISO},
    {13, L".z", L".z.taz", IDC_ASSOCZ},
    {14, L".xz", L".xz.txz", IDC_ASSOCXZ},
    {15, L".zipx", L".zipx", IDC_ASSOCZIPX},
    {16, L".001", L".001", IDC_ASSOC001},
};

const ContextMenuItem ContextMenuItems[kContextMenuItemCount] = {
    {L"ExtrTo", 1, IDC_CONTEXTEXTRACTTO},
    {L"ExtrHere", 1, IDC_CONTEXTEXTRACTHERE},
    {L"Extr", 1, IDC_CONTEXTEXTRACT},
    {L"ExtrSep", 1, IDC_CONTEXTEXTRACTSEPARATE},
    {L"OpenSFX", 1, IDC_CONTEXTOPENSFX},
    {L"OpenArc", 1, IDC_CONTEXTOPENARC},
    {L"AddTo", 1, IDC_CONTEXTADD},
    {L"AddArc", 1, IDC_CONTEXTADDARC},
    {L"EmailArc", 1, IDC_CONTEXTEMAILARC},
    {L"EmailOpt", 1, IDC_CONTEXTEMAILARCOPT},
    {L"Test", 0, IDC_CONTEXTTEST},
    {L"Convert", 0, IDC_CONTEXTCONVERT},
    {L"NewVOK", 1, IDC_CONTEXTNEWVOK},
    {L"NewZIP", 1, IDC_CONTEXTNEWZIP},
    {L"SFXLocal", 1, IDC_CONTEXTSFXLOCAL},
    {L"SFXNetwork", 1, IDC_CONTEXTSFXNETWORK},
    {L"SFXOther", 1, IDC_CONTEXTSFXOTHER},
    {L"DragAdd", 1, IDC_CONTEXTDRAGADD},
    {L"DragExtr", 1, IDC_CONTEXTDRAGEXTRACT},
};

namespace {

constexpr int kJarTypeIndex = 11;
constexpr int kIsoTypeIndex = 12;
constexpr size_t kProgIdCapacity = 80;  // default values of extension keys read for ownership

constexpr const wchar_t* kSetupKey = L"Setup";
constexpr const wchar_t* kLinksKey = L"Setup\\Links";

// One stored flag besides the per-type "Set" values, in the order they are saved.
struct StoredFlag {
  const wchar_t* key;
  const wchar_t* valueName;
  DWORD defaultValue;
  unsigned char IntegrationSettings::*field;
};
const StoredFlag kStoredFlags[] = {
    {kLinksKey, L"Desktop", 0, &IntegrationSettings::Desktop},
    {kLinksKey, L"StartMenu", 0, &IntegrationSettings::StartMenu},
    {kLinksKey, L"Programs", 1, &IntegrationSettings::Programs},
    {kSetupKey, L"ShellExt", 1, &IntegrationSettings::ShellExt},
    {kSetupKey, L"CascadedMenu", 0, &IntegrationSettings::CascadedMenu},
    {kSetupKey, L"MenuIcons", 1, &IntegrationSettings::MenuIcons},
};

// Init selection letters that set one flag from their value character.
struct InitLetter {
  wchar_t letter;
  unsigned char IntegrationSettings::*field;
};
const InitLetter kInitLetters[] = {
    {L'D', &IntegrationSettings::Desktop},      {L'M', &IntegrationSettings::StartMenu},
    {L'P', &IntegrationSettings::Programs},     {L'S', &IntegrationSettings::ShellExt},
    {L'C', &IntegrationSettings::CascadedMenu}, {L'I', &IntegrationSettings::MenuIcons},
};

wchar_t UpperCase(wchar_t character) {
  // CharUpperW converts a single character when the pointer's high word is zero.
  return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(
      CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(character)))));
}

bool IsDecimalDigit(wchar_t character) { return character >= L'0' && character <= L'9'; }

}  // namespace

void ExtensionStateKey(const wchar_t* extension, wchar_t* key, size_t capacity) {
  CopyBounded(key, kSetupKey, capacity);
  AppendBounded(key, L"\\", capacity);
  AppendBounded(key, extension, capacity);
}

bool NextGroupExtension(const wchar_t** cursor, wchar_t* extension, size_t capacity) {
  if (capacity > 0) extension[0] = L'\0';
  if (cursor == nullptr || *cursor == nullptr || **cursor == L'\0') return false;
  const wchar_t* start = *cursor;
  const wchar_t* end = start + 1;
  while (*end != L'\0' && *end != L'.') ++end;
  if (capacity > 0) {
    size_t length = static_cast<size_t>(end - start);
    if (length > capacity - 1) length = capacity - 1;
    for (size_t i = 0; i < length; ++i) extension[i] = start[i];
    extension[length] = L'\0';
  }
  *cursor = end;
  return true;
}

void LoadIntegrationSettings(IntegrationSettings& settings) {
  wchar_t key[kExtensionCapacity + 8];
  for (const ArchiveType& type : ArchiveTypes) {
    ExtensionStateKey(type.mainExtension, key, sizeof(key) / sizeof(key[0]));
    settings.Associate[type.index] = ReadUserNumber(key, L"Set", 1) != 0 ? 1 : 0;
  }

  // ".jar" is left alone unless the archiver already owns it (a Java runtime usually does), and
  // ".iso" is not taken from a program that has claimed it.
  for (const int index : {kJarTypeIndex, kIsoTypeIndex}) {
    const wchar_t* extension = ArchiveTypes[index].mainExtension;
    if (IsOwnedAssociation(extension)) continue;
    wchar_t progId[kProgIdCapacity];
    const bool read = ReadSettingString(HKEY_CLASSES_ROOT, extension, L"", progId, L"", kProgIdCapacity);
    // A type name too long for the buffer is a claim all the same.
    const bool unreadable = !read && SettingValueExists(HKEY_CLASSES_ROOT, extension, L"");
    if (progId[0] != L'\0' || unreadable || index == kJarTypeIndex) {
      settings.Associate[index] = 0;
      LogLine("setup: %s is not pre-selected: %s", extension,
              index == kJarTypeIndex ? L"the archiver does not own it" : L"another program owns it");
    }
  }

  for (const StoredFlag& flag : kStoredFlags) {
    settings.*flag.field = ReadUserNumber(flag.key, flag.valueName, flag.defaultValue) != 0 ? 1 : 0;
  }
}

void SaveIntegrationSettings(const IntegrationSettings& settings) {
  wchar_t key[kExtensionCapacity + 8];
  for (const ArchiveType& type : ArchiveTypes) {
    ExtensionStateKey(type.mainExtension, key, sizeof(key) / sizeof(key[0]));
    (void)WriteUserNumber(key, L"Set", settings.Associate[type.index] != 0 ? 1 : 0);
  }
  for (const StoredFlag& flag : kStoredFlags) {
    (void)WriteUserNumber(flag.key, flag.valueName, settings.*flag.field != 0 ? 1 : 0);
  }
}

void ApplyInitSelection(const wchar_t* initSelection, IntegrationSettings& settings) {
  if (initSelection == nullptr) return;
  const wchar_t* cursor = initSelection;
  // Pairs of a letter and a value character; a letter with nothing after it ends the parsing.
  while (cursor[0] != L'\0' && cursor[1] != L'\0') {
    const wchar_t letter = UpperCase(cursor[0]);
    if (letter == L'A') {
      ++cursor;
      for (size_t position = 0; position < kAssociateSlots && IsDecimalDigit(*cursor); ++position, ++cursor) {
        settings.Associate[position] = *cursor == L'1' ? 1 : 0;
      }
      continue;
    }
    for (const InitLetter& entry : kInitLetters) {
      if (entry.letter == letter) settings.*entry.field = cursor[1] == L'1' ? 1 : 0;
    }
    cursor += 2;
  }
}

bool IsOwnedAssociation(const wchar_t* extension) {
  if (extension == nullptr || extension[0] == L'\0') return false;
  wchar_t progId[kProgIdCapacity];
  ReadSettingString(HKEY_CLASSES_ROOT, extension, L"", progId, L"", kProgIdCapacity);
  return NamesEqual(progId, kArchiveProgId) || NamesEqual(progId, kZipProgId);
}
