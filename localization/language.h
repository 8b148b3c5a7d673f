// Language data: the language library "voklng.dll" (a resource-only module with the program's
// resources in another language) and the language file "uninstall.lng" (named texts that override
// single strings, control labels, captions and dialog sizes).
//
// Start-up calls LoadLanguageLibrary first and LoadLanguageFile second: the file loader asks the
// resource module whether the language is right-to-left. Everything here runs on the program's one
// thread; after start-up the table is read-only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "base/growable_array.h"
#include "base/handles.h"

// ---------------------------------------------------------------------------------------------
// Process-wide handles and flags

// The module that dialogs, icons and strings are loaded from: the language library while one is
// loaded, otherwise the program's own module (the executable's handle from before the entry point).
extern HMODULE ResourceModule;
// The program's own module: the last fallback for strings, and what ResourceModule returns to when
// the language library is released. Set again by LoadLanguageLibrary.
extern HMODULE g_programModule;
// The loaded language is written right to left: set by a DIRECTION line with the word "RTL" in the
// language file or by a dialog resource named "RTL" in the language library. False at start.
extern bool RightToLeft;

// ---------------------------------------------------------------------------------------------
// Limits of the language file

constexpr size_t kLanguageKeyMaxBytes = 49;        // a key is cut to this many bytes
constexpr size_t kLanguagePrefixMaxBytes = 99;     // current prefix; also section arguments, names
constexpr size_t kLanguageValueMaxChars = 65536;   // characters kept per value
constexpr uint64_t kLanguageMarkerLastOffset = 2093056;  // last byte offset where the marker may begin
constexpr size_t kLanguageTextMaxBytes = 2097152;  // bytes read from the marker on
constexpr size_t kLanguageTextMaxChars = 1048576;  // characters parsed at most

// One entry of the language file. Both texts are owned by the table (heap copies).
struct LanguageEntry {
  char* key;          // full key, prefix included, ANSI code page, at most 49 bytes, terminated
  wchar_t* text;      // value after escapes and trimming, at most 65,536 characters, terminated
  size_t textLength;  // characters in text, terminator not counted
};

// The texts of one language file.
//
// Keys are compared byte-wise, with case. Choices this table makes where the file format leaves
// it open:
// - A key that appears more than once: every entry is stored, and a lookup returns the text of the
//   LAST one in the file, the way a later line overrides an earlier one in most settings files (the
//   key index sort is stable by file position, and the search takes the last of equal keys).
// - An entry name alone on its line (no space, tab or comma before the line end): the line is
//   ignored, as any other entry line without a delimiter; no entry is stored.
// Running out of memory while storing entries is fatal (VOK_EXIT 8); buffers for the text read are
// not: without them the table just stays empty.
class LanguageTable {
 public:
  LanguageTable() noexcept;
  ~LanguageTable();
  LanguageTable(const LanguageTable&) = delete;
  LanguageTable& operator=(const LanguageTable&) = delete;

  // Empties the table (entries, both indexes) and clears the file's direction.
  void Clear() noexcept;

  // Replaces the contents with the language file at fullPath: the key-ID index is prepared once
  // the file opens, then the marker search, the text read and the parse. Returns true when a marker
  // was found and the text parsed (the table may still hold no entries). On false the table is
  // empty and the direction is left to right. The path is used as given (no language folder).
  bool LoadFromFile(const wchar_t* fullPath);

  // Replaces the contents with the parse of text[0..count), a language text that starts at the
  // marker (the rest of its first line is skipped). The walk ends at count, at 1,048,576
  // characters or at the first NUL. False, with the table empty, when the value buffer cannot be
  // allocated. The key-ID index is left as it is.
  bool ParseText(const wchar_t* text, size_t count);

  // Looks up the entry whose key equals key (byte-wise) and copies its text, cut to capacity - 1
  // characters and terminated (nothing written for capacity 0). True when an entry was found, even
  // with an empty text; false at once when the table is empty. On false the buffer is untouched.
  [[nodiscard]] bool FindText(const char* key, wchar_t* buffer, size_t capacity) const;

  // The direction the file's last DIRECTION line gave; false without one.
  bool IsRightToLeft() const noexcept { return rightToLeft_; }

  // Entries in file order.
  size_t EntryCount() const noexcept { return static_cast<size_t>(entries_.Count()); }
  const LanguageEntry& Entry(size_t position) const noexcept { return entries_[position]; }

  // The key-ID index: positions into LanguageKeyTable (localization/localized_strings.h) of all its
  // entries, sorted by prefix (the name's text before its first colon, byte-wise) and within a
  // prefix by ID (unsigned). Prepared when a language file opens; empty before that.
  size_t KeyIdCount() const noexcept { return static_cast<size_t>(keyIdIndex_.Count()); }
  const uint64_t* KeyIdIndex() const noexcept { return keyIdIndex_.Data(); }

 private:
  void AppendEntry(const char* key, const wchar_t* text, size_t textLength);
  void BuildKeyIndex();
  void PrepareKeyIdIndex();
  void ParseLine(const wchar_t* text, size_t start, size_t end, char* prefix, wchar_t* value);

  GrowableArray<LanguageEntry> entries_;  // file order
  GrowableArray<uint64_t> keyIndex_;       // entry positions sorted by key, then file position
  GrowableArray<uint64_t> keyIdIndex_;     // LanguageKeyTable positions sorted by (prefix, ID)
  bool rightToLeft_ = false;
};

// The process-wide table, constructed empty before the entry point.
extern LanguageTable g_languageTable;

// FindText on g_languageTable.
[[nodiscard]] bool FindText(const char* key, wchar_t* buffer, size_t capacity);

// ---------------------------------------------------------------------------------------------
// The language library holder: one per process; its destruction unloads the library.
class LanguageLibrary {
 public:
  LanguageLibrary() noexcept = default;
  ~LanguageLibrary();
  LanguageLibrary(const LanguageLibrary&) = delete;
  LanguageLibrary& operator=(const LanguageLibrary&) = delete;

  bool loaded() const noexcept { return loaded_; }

 private:
  friend void LoadLanguageLibrary(HMODULE programModule);
  friend void UnloadLanguageLibrary();
  UniqueModule library_;
  bool loaded_ = false;
};

extern LanguageLibrary g_languageLibrary;

// Loads "voklng.dll" from the program's folder, or from the language folder when it is there
// (ApplyLanguageFolder), as a data file on Windows XP SP2 and later. ResourceModule becomes the
// library, or the program module when there is none or it does not load (nothing is reported).
// A library loaded before is released first.
void LoadLanguageLibrary(HMODULE programModule);

// Frees the language library if one is loaded and sets ResourceModule back to the program module;
// otherwise does nothing. RightToLeft keeps its value.
void UnloadLanguageLibrary();

// Writes into result the same file name in the language folder (the HKCU registry value
// "Software\Ovenix\General" "LanguageFolder", read directly, never through the settings store,
// environment references expanded) when a file or folder of that name exists there; otherwise the
// given path unchanged. Both are cut to capacity - 1 characters. result may be path itself.
void ApplyLanguageFolder(const wchar_t* path, wchar_t* result, size_t capacity);

// Fills g_languageTable from the language file fileName (swapped for the language folder's copy
// when there is one; a bare name is taken from the program's folder) and settles RightToLeft: the
// file's DIRECTION, then set if ResourceModule holds a dialog named "RTL". A right-to-left
// language switches the process default layout to right-to-left. A missing, unreadable or
// marker-less file leaves the table empty; nothing is reported.
void LoadLanguageFile(const wchar_t* fileName);
