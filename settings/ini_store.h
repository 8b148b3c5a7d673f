// The portable settings file "Ovenix.ini": when it exists beside the program (or in the
// archiver's per-user application-data folder), the program's own settings (Software\Ovenix under
// HKCU and HKLM) live in it instead of the registry. settings/registry.h routes to it.
//
// The file is a flat list of "name=value" lines; a name is the full path of a value, beginning with
// "HKCU\", "HKLM\" or "Global\". Names are compared by UTF-16 code units, with case.
//   Read:    any encoding ReadTextFileLines decodes (ANSI, UTF-8 with mark, UTF-16 LE/BE with mark).
//            A line is an entry when it starts with an ASCII letter and contains "="; the name is
//            everything before the first "=", blanks included. Values: "\"text\"" is Quoted (one
//            final quote dropped, no escaping), "bin:text" is Bin, anything else Plain.
//   Written: UTF-16 LE with the mark FF FE, CR LF after every entry, no NUL, entries sorted by name
//            in code-unit order (entries of the same name keep their order, so the one that reads
//            stays first); numbers Plain unsigned decimal, strings Quoted, Bin unchanged.
//            Lines that were not entries are not written back.
//            The format has no escaping, so a name or value holding CR or LF cannot be stored:
//            it would come back cut, its rest an entry of its own. Such a Set is refused.
//
// Three Global entries steer the program: Global\Integration = 0 switches every registry access
// outside the program's own key off (and shortcut changes), Global\SaveSettings = 0 stops every
// write-back, Global\AppData is carried along. They are read with default 1 and written back as
// "0" or "1".
//
// Write-back replaces the file only as a whole: the complete new content goes to a file beside it,
// which then replaces the old one. When any step fails, the old file stays as it was and the write
// returns false. Only when no file can be created beside it (a folder the user may not create files
// in) is the file rewritten in place.
//
// Running out of memory while the file is read or parsed leaves the store not in use for the rest
// of the process (everything goes to the registry), and the file is never written back then.
//
// Single-threaded; g_iniStore is process-wide and unguarded.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cwchar>

// How a value is written in the file.
enum class IniValueKind : int32_t { Plain = 0, Quoted = 1, Bin = 2 };

// An entry's name or value: a terminated copy in a block of its own, so that the store needs no
// string library. Running out of memory throws std::bad_alloc, which the store handles like
// VOK_EXIT.
class IniText {
 public:
  IniText() noexcept = default;
  ~IniText() { delete[] text_; }
  IniText(const IniText&) = delete;
  IniText& operator=(const IniText&) = delete;

  // Copies length characters of text (which must not point into this object) and a terminator;
  // the block is replaced only when it is too small.
  void assign(const wchar_t* text, size_t length);
  void assign(const wchar_t* text) { assign(text, wcslen(text)); }
  // Code-unit order (wchar_t is an unsigned 16-bit code unit on Windows): < 0, 0 or > 0.
  int compare(const wchar_t* text) const { return wcscmp(c_str(), text); }
  int compare(const IniText& other) const { return compare(other.c_str()); }
  // Terminated; "" before the first assign.
  const wchar_t* c_str() const { return text_ ? text_ : L""; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  wchar_t operator[](size_t index) const { return c_str()[index]; }

 private:
  wchar_t* text_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;  // characters the block holds, terminator included
};

// One entry, owned by the store's list.
struct IniEntry {
  IniText name;   // full entry name
  IniText value;  // without quotes or "bin:"
  IniValueKind kind = IniValueKind::Plain;
  IniEntry* next = nullptr;
};

// Capacity of an entry name formed by IniEntryName, terminator included.
constexpr size_t kIniEntryNameCapacity = 1024;

// The entry name of (root, subkey, valueName): "HKCU\" for HKCU, "HKLM\" for HKLM, nothing for the
// root none (nullptr) or any other root; then the subkey unchanged; then a backslash (unless the
// text so far is empty or ends with one) and the value name. With an empty value name the result
// is the key prefix, ending with a backslash: (HKCU, "Setup", "") gives "HKCU\Setup\".
// Cut to fit `capacity` characters (terminator included); nothing written for capacity 0.
void IniEntryName(HKEY root, const wchar_t* subkey, const wchar_t* valueName, wchar_t* name, size_t capacity);

// The decimal reading of an entry's text: optional "-", then digits up to the first non-digit;
// anything else (leading blanks included) reads as 0. Overlong digit runs wrap modulo 2^64 (the low
// 32 bits are what callers use).
[[nodiscard]] int64_t IniDecimalValue(const wchar_t* text);

class IniStore {
 public:
  IniStore() noexcept = default;
  // Writes a loaded file back (unless SaveSettings is 0 or the store was discarded), then releases
  // the entries. Never throws.
  ~IniStore();
  IniStore(const IniStore&) = delete;
  IniStore& operator=(const IniStore&) = delete;

  // Searches for the file once per store: "Ovenix.ini" beside the module holding this code, else
  // in the archiver's per-user folder (not created). Loads it when found.
  void EnsureLoaded();
  // Uses `path` as the settings file instead of searching (tests; a caller that knows the file):
  // marks the search as done and loads the file if it can be read. Only on a store that is not
  // loaded: returns false and changes nothing otherwise. Returns whether the store is now in use.
  bool LoadFile(const wchar_t* path);
  // Searches once more when no file is in use (a settings file may have appeared since the first
  // search: the installer's, handed over during setup); a loaded store is left as it is, and so is
  // one that was discarded. Returns whether a file is now in use.
  bool SearchAgain();
  // For the log: into path (kPathCapacity characters) the settings file in use, or the one a
  // search would find now while the store has not searched yet (nothing is loaded); empty when the
  // settings live in the registry.
  void FileInUse(wchar_t* path);

  // True when the store serves (root, subkey): runs EnsureLoaded, then loaded and root none, HKCU
  // or HKLM and the subkey does not begin with a backslash.
  [[nodiscard]] bool Handles(HKEY root, const wchar_t* subkey);

  // The value of the first entry named exactly `name`, or nullptr. Valid until the next change.
  [[nodiscard]] const wchar_t* Lookup(const wchar_t* name) const;
  // Replaces the value and kind of the first entry named `name`, or appends a new entry, and
  // returns true. Returns false, changing nothing, when the name or the text holds CR or LF.
  bool Set(const wchar_t* name, const wchar_t* text, IniValueKind kind);
  // Empty value name: removes every entry whose name begins with the key prefix of (root, subkey)
  // (subkeys included, so "HKCU\SetupX" survives the removal of "Setup"). Otherwise removes every
  // entry named exactly IniEntryName(root, subkey, valueName). Returns how many entries went.
  size_t Remove(HKEY root, const wchar_t* subkey, const wchar_t* valueName);
  // Some entry name begins with the key prefix of (root, subkey).
  [[nodiscard]] bool KeyExists(HKEY root, const wchar_t* subkey) const;

  // Writes the file back now (see the header comment). False when not loaded, SaveSettings is 0,
  // the store was discarded, or the write failed (the old file is then intact).
  bool Save();
  // Whether Save would write the file at all: loaded, SaveSettings on, not discarded, and the file
  // not read-only. What the store holds otherwise is lost when the process ends.
  [[nodiscard]] bool WritesBack() const;
  // Frees every entry, clears loaded and the search mark (a later EnsureLoaded searches again) and
  // resets the Global flags to their start values. Writes nothing.
  void Release();
  // Ends the store's use for the rest of the process without any write-back (the uninstall calls it
  // after the installation folder was emptied, so the deleted file is not recreated). The entries
  // are freed; the store is no longer loaded and never searches again; the Integration flag keeps
  // its value, so a portable installation stays off the registry to the end.
  void Discard();

  bool loaded() const { return loaded_; }
  bool loadTried() const { return loadTried_; }
  const wchar_t* filePath() const { return filePath_; }
  // The entries in list order (file order, then those added during the run).
  const IniEntry* entries() const { return head_; }

  // Global\AppData, Global\Integration, Global\SaveSettings (true at start and without a file).
  bool AppData = true;
  bool Integration = true;
  bool SaveSettings = true;

 private:
  // The file the search finds (beside this module, else in the per-user folder), or empty.
  static void Locate(wchar_t* path);
  void ParseLines(const wchar_t* path);
  void ReadGlobalFlags();
  void Append(IniEntry* entry);
  void FreeEntries() noexcept;

  IniEntry* head_ = nullptr;
  IniEntry* tail_ = nullptr;
  wchar_t filePath_[2048] = {};
  bool loaded_ = false;
  bool loadTried_ = false;
  bool discarded_ = false;  // Discard ran, or memory ran out while loading: never write back
};

// The program's one store, constructed before the entry point and written back at process exit.
extern IniStore g_iniStore;

// The operations on g_iniStore.
void EnsureIniLoaded();
[[nodiscard]] bool IniHandles(HKEY root, const wchar_t* subkey);
[[nodiscard]] const wchar_t* IniLookup(const wchar_t* name);
[[nodiscard]] bool IniSet(const wchar_t* name, const wchar_t* text, IniValueKind kind);
size_t IniRemove(HKEY root, const wchar_t* subkey, const wchar_t* valueName);
// Writes the file back at once (after the context-menu items dialog is confirmed). Same result as
// IniStore::Save.
bool SaveSettingsNow();
// g_iniStore.Discard(): release without write-back, for the rest of the process.
void DiscardIniStore();
// g_iniStore.SearchAgain().
bool SearchIniFileAgain();
