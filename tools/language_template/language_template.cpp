#include "tools/language_template/language_template.h"

#include <cstring>

#include "base/handles.h"
#include "localization/localized_strings.h"

namespace {

// Reads a dialog template resource with every access checked against its size: a damaged
// template ends the walk instead of reading past the resource.
class TemplateReader {
 public:
  TemplateReader(const BYTE* data, size_t size) : data_(data), size_(size) {}

  bool ok() const { return ok_; }
  size_t offset() const { return offset_; }

  WORD Word() { return static_cast<WORD>(Read(2)); }
  DWORD Dword() { return Read(4); }
  void Skip(size_t count) {
    if (!ok_ || count > size_ - offset_) {
      ok_ = false;
      return;
    }
    offset_ += count;
  }
  void AlignDword() { Skip((4 - offset_ % 4) % 4); }

  // A sz_Or_Ord field: 0x0000 (none), 0xFFFF and an ordinal, or a terminated UTF-16 string.
  // Returns true and the string for the string form.
  bool SzOrOrd(std::wstring* text) {
    text->clear();
    const WORD first = Word();
    if (!ok_ || first == 0) return false;
    if (first == 0xFFFF) {
      Word();
      return false;
    }
    text->push_back(static_cast<wchar_t>(first));
    for (;;) {
      const WORD unit = Word();
      if (!ok_ || unit == 0) break;
      text->push_back(static_cast<wchar_t>(unit));
    }
    return ok_;
  }

  void String(std::wstring* text) {
    text->clear();
    for (;;) {
      const WORD unit = Word();
      if (!ok_ || unit == 0) return;
      text->push_back(static_cast<wchar_t>(unit));
    }
  }

 private:
  DWORD Read(size_t count) {
    if (!ok_ || count > size_ - offset_) {
      ok_ = false;
      return 0;
    }
    DWORD value = 0;
    for (size_t i = 0; i < count; ++i) value |= static_cast<DWORD>(data_[offset_ + i]) << (8 * i);
    offset_ += count;
    return value;
  }

  const BYTE* data_;
  size_t size_;
  size_t offset_ = 0;
  bool ok_ = true;
};

constexpr const wchar_t* kDialogNames[] = {L"SETUPDLG", L"DONEDLG", L"SETUPCONTEXTITEMS"};

// The part of a key-table name after its first colon ("IDS_BETA" for "s:IDS_BETA").
const char* EntryName(const char* keyName) {
  const char* colon = strchr(keyName, ':');
  return colon != nullptr ? colon + 1 : keyName;
}

std::wstring Widen(const char* ascii) {
  std::wstring wide;
  for (; *ascii != '\0'; ++ascii) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*ascii)));
  return wide;
}

bool HasPrefix(const char* keyName, const std::wstring& dialogName) {
  std::wstring prefix = L"$" + dialogName + L":";
  const std::wstring name = Widen(keyName);
  return name.compare(0, prefix.size(), prefix) == 0;
}

void AppendLine(std::wstring* text, const std::wstring& line) {
  text->append(line);
  text->append(L"\r\n");
}

}  // namespace

std::wstring QuoteLanguageValue(const std::wstring& text) {
  std::wstring quoted = L"\"";
  for (const wchar_t c : text) {
    switch (c) {
      case L'\\': quoted += L"\\\\"; break;
      case L'\r': quoted += L"\\r"; break;
      case L'\n': quoted += L"\\n"; break;
      case L'\t': quoted += L"\\t"; break;
      default: quoted.push_back(c); break;
    }
  }
  quoted.push_back(L'"');
  return quoted;
}

DialogTemplateTexts ReadDialogTemplateTexts(HMODULE module, const wchar_t* dialogName) {
  DialogTemplateTexts result;
  const HRSRC resource = FindResourceW(module, dialogName, MAKEINTRESOURCEW(5) /* RT_DIALOG */);
  if (resource == nullptr) return result;
  const HGLOBAL loaded = LoadResource(module, resource);
  const DWORD size = SizeofResource(module, resource);
  const BYTE* data = loaded != nullptr ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
  if (data == nullptr) return result;

  TemplateReader reader(data, size);
  const bool extended = size >= 4 && data[0] == 1 && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF;
  DWORD style = 0;
  WORD count = 0;
  if (extended) {
    reader.Skip(4);      // dlgVer, signature
    reader.Skip(4);      // helpID
    reader.Skip(4);      // exStyle
    style = reader.Dword();
  } else {
    style = reader.Dword();
    reader.Skip(4);      // extended style
  }
  count = reader.Word();
  reader.Skip(8);  // x, y, cx, cy
  std::wstring ignored;
  reader.SzOrOrd(&ignored);  // menu
  reader.SzOrOrd(&ignored);  // window class
  reader.String(&result.caption);
  if ((style & DS_SETFONT) != 0) {
    reader.Skip(2);                 // point size
    if (extended) reader.Skip(4);   // weight, italic, charset
    reader.String(&ignored);        // typeface
  }
  for (WORD i = 0; i < count && reader.ok(); ++i) {
    reader.AlignDword();
    DialogTemplateTexts::Control control{};
    if (extended) {
      reader.Skip(12);  // helpID, exStyle, style
      reader.Skip(8);   // x, y, cx, cy
      control.id = reader.Dword();
    } else {
      reader.Skip(8);   // style, exStyle
      reader.Skip(8);   // x, y, cx, cy
      control.id = reader.Word();
    }
    reader.SzOrOrd(&ignored);  // class
    const bool textual = reader.SzOrOrd(&control.text);
    const WORD extra = reader.Word();
    reader.Skip(extra);
    if (reader.ok() && textual) result.controls.push_back(control);
  }
  result.found = reader.ok();
  return result;
}

std::wstring BuildLanguageTemplate(HMODULE module) {
  std::wstring text;
  AppendLine(&text, L"Template language file of the Ovenix setup and uninstall program (base language: English).");
  AppendLine(&text, L"");
  AppendLine(&text, L"To translate: replace each quoted text and save the file as \"uninstall.lng\" in the Ovenix");
  AppendLine(&text, L"folder or in the language folder. Everything above the marker line is ignored.");
  AppendLine(&text, L"Below it, lines that start with a semicolon are comments. Quotes keep leading and trailing");
  AppendLine(&text, L"blanks; write \\n for a line break, \\t for a tab and \\\\ for a backslash. Keep every %s");
  AppendLine(&text, L"of a text: the program puts a file name or a path there.");
  AppendLine(&text, L"***messages***");
  AppendLine(&text, L"");
  AppendLine(&text, L"; RTL for a language written right to left, LTR otherwise.");
  AppendLine(&text, L":DIRECTION LTR");
  AppendLine(&text, L"");
  AppendLine(&text, L":STRINGS");
  for (const LanguageKey& key : LanguageKeyTable) {
    if (strncmp(key.name, "s:", 2) != 0) continue;
    const wchar_t* resourceText = nullptr;
    // Capacity 0 hands out a pointer to the resource text itself: the full text, never cut.
    const int length = LoadStringW(module, key.id, reinterpret_cast<wchar_t*>(&resourceText), 0);
    if (length > 0 && resourceText != nullptr) {
      AppendLine(&text, Widen(EntryName(key.name)) + L" " + QuoteLanguageValue(std::wstring(resourceText, length)));
    } else {
      AppendLine(&text, L"; " + Widen(EntryName(key.name)) + L" (no text in the program)");
    }
  }

  for (const wchar_t* dialogName : kDialogNames) {
    const DialogTemplateTexts dialog = ReadDialogTemplateTexts(module, dialogName);
    AppendLine(&text, L"");
    AppendLine(&text, std::wstring(L":DIALOG ") + dialogName);
    if (!dialog.found) AppendLine(&text, L"; (the program has no such dialog)");
    AppendLine(&text, L"; To make room for longer texts: SIZE <width>*<height> in percent, e.g. SIZE 120*110.");
    if (dialog.found) AppendLine(&text, L"CAPTION " + QuoteLanguageValue(dialog.caption));
    for (const LanguageKey& key : LanguageKeyTable) {
      if (!HasPrefix(key.name, dialogName)) continue;
      const DialogTemplateTexts::Control* control = nullptr;
      for (const DialogTemplateTexts::Control& candidate : dialog.controls) {
        if (candidate.id == key.id) {
          control = &candidate;
          break;
        }
      }
      if (control != nullptr) {
        AppendLine(&text, Widen(EntryName(key.name)) + L" " + QuoteLanguageValue(control->text));
      } else {
        AppendLine(&text, L"; " + Widen(EntryName(key.name)) + L" (not in this dialog)");
      }
    }
  }
  return text;
}

bool WriteLanguageTemplate(HMODULE module, const wchar_t* path) {
  const std::wstring text = L"\xFEFF" + BuildLanguageTemplate(module);
  UniqueFileHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  // wchar_t is UTF-16 little-endian on every Windows target.
  const size_t bytes = text.size() * sizeof(wchar_t);
  DWORD written = 0;
  if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(bytes), &written, nullptr)) return false;
  return written == bytes;
}
