#include "localization/localized_strings.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <iterator>

#include "base/bounded_text.h"
#include "base/text_file.h"
#include "localization/language.h"
#include "resources/resource_ids.h"

namespace {

constexpr size_t kMaxScaledChildren = 512;
constexpr size_t kSizeTextCapacity = 512;
constexpr size_t kControlTextCapacity = 1024;
constexpr size_t kClassNameCapacity = 2048;
constexpr UINT kDialogMoveFlags = SWP_NOZORDER | SWP_NOOWNERZORDER;  // 0x204

// An optional minus sign and decimal digits up to the first non-digit; no digits give 0. Values
// beyond the int range saturate instead of overflowing (a translator's typo must not wrap round
// into a plausible percentage).
int ReadScaleNumber(const wchar_t* text) {
  bool negative = false;
  if (*text == L'-') {
    negative = true;
    ++text;
  }
  long long value = 0;
  for (; *text >= L'0' && *text <= L'9'; ++text) {
    if (value <= INT_MAX) value = value * 10 + (*text - L'0');
  }
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(negative ? -value : value);
}

// value * percent / 100, truncating toward zero, kept inside the int range.
int Percent(long long value, int percent) {
  long long result = value * percent / 100;
  if (result > INT_MAX) result = INT_MAX;
  if (result < INT_MIN) result = INT_MIN;
  return static_cast<int>(result);
}

int ClampToInt(long long value) {
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

wchar_t g_rotatingStrings[8][LocalizedStringCapacity];
unsigned g_rotatingIndex = 0;

}  // namespace

bool FindStringKey(uint32_t id, char* key) {
  if (g_languageTable.EntryCount() == 0) return false;
  const size_t position = SearchKeyIdIndex(g_languageTable.KeyIdIndex(), g_languageTable.KeyIdCount(), "s", id);
  if (position >= LanguageKeyCount) return false;
  CopyBounded(key, LanguageKeyTable[position].name, LanguageKeyBufferSize);
  return true;
}

wchar_t* LocalizedStringInto(uint32_t id, wchar_t* buffer, size_t capacity) {
  if (capacity == 0) return buffer;
  buffer[0] = L'\0';
  char key[LanguageKeyBufferSize];
  if (FindStringKey(id, key) && FindText(key, buffer, capacity)) return buffer;

  // LoadStringW takes an int capacity and, for 0, would hand out a pointer instead of copying.
  const int loadCapacity = capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity);
  if (LoadStringW(ResourceModule, id, buffer, loadCapacity) > 0) return buffer;
  return ProgramStringInto(id, buffer, capacity);
}

wchar_t* ProgramStringInto(uint32_t id, wchar_t* buffer, size_t capacity) {
  if (capacity == 0) return buffer;
  const int loadCapacity = capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity);
  buffer[0] = L'\0';
  if (LoadStringW(g_programModule, id, buffer, loadCapacity) > 0) return buffer;
  buffer[0] = L'\0';
  return buffer;
}

const wchar_t* LocalizedString(uint32_t id) {
  g_rotatingIndex = (g_rotatingIndex + 1) % std::size(g_rotatingStrings);
  return LocalizedStringInto(id, g_rotatingStrings[g_rotatingIndex], LocalizedStringCapacity);
}

bool FindDialogText(const wchar_t* dialogName, const wchar_t* itemName, wchar_t* buffer, size_t capacity) {
  if (capacity > 0) buffer[0] = L'\0';
  wchar_t wideKey[LanguageKeyBufferSize] = L"$";
  AppendBounded(wideKey, dialogName, LanguageKeyBufferSize);
  AppendBounded(wideKey, L":", LanguageKeyBufferSize);
  AppendBounded(wideKey, itemName, LanguageKeyBufferSize);
  char key[LanguageKeyBufferSize];
  if (!WideToAnsi(wideKey, key, sizeof key)) return false;
  return FindText(key, buffer, capacity);
}

bool ParseDialogScale(const wchar_t* sizeText, DialogScale* scale) {
  const wchar_t* asterisk = wcschr(sizeText, L'*');
  if (asterisk == nullptr) return false;
  const int x = ReadScaleNumber(sizeText);
  const int y = ReadScaleNumber(asterisk + 1);
  if (x <= 0 || y <= 0 || (x == 100 && y == 100)) return false;
  scale->x = x;
  scale->y = y;
  return true;
}

DialogFrame MeasureDialogFrame(const RECT& window, const RECT& client) {
  const long long width = static_cast<long long>(window.right) - window.left + 1;
  const long long height = static_cast<long long>(window.bottom) - window.top + 1;
  DialogFrame frame;
  frame.nx = ClampToInt(width - client.right);
  frame.ny = ClampToInt(height - client.bottom);
  return frame;
}

WindowPlacement ScaleDialogPlacement(const RECT& window, const RECT& client, DialogScale scale) {
  const DialogFrame frame = MeasureDialogFrame(window, client);
  const long long width = static_cast<long long>(window.right) - window.left + 1;
  const long long height = static_cast<long long>(window.bottom) - window.top + 1;
  WindowPlacement placement;
  placement.width = ClampToInt(static_cast<long long>(Percent(client.right, scale.x)) + frame.nx);
  placement.height = ClampToInt(static_cast<long long>(Percent(client.bottom, scale.y)) + frame.ny);
  const long long left = window.left + (width - placement.width) / 2;
  const long long top = window.top + (height - placement.height) / 2;
  placement.left = left < 0 ? 0 : ClampToInt(left);
  placement.top = top < 0 ? 0 : ClampToInt(top);
  return placement;
}

WindowPlacement ScaleChildPlacement(const RECT& child, const RECT& dialogWindow, DialogFrame frame,
                                    int dialogFrameMetric, DialogScale scale, int droppedListHeight,
                                    bool mirrored) {
  WindowPlacement placement;
  const long long x = mirrored ? static_cast<long long>(dialogWindow.right) - frame.nx / 2 - child.right
                               : static_cast<long long>(child.left) - frame.nx / 2 - dialogWindow.left;
  placement.left = Percent(x, scale.x);
  placement.top = Percent(
      static_cast<long long>(child.top) - (static_cast<long long>(frame.ny) - dialogFrameMetric) - dialogWindow.top,
      scale.y);
  placement.width = Percent(static_cast<long long>(child.right) - child.left + 1, scale.x);
  const long long height = static_cast<long long>(Percent(static_cast<long long>(child.bottom) - child.top + 1, scale.y)) +
                           Percent(droppedListHeight, scale.y);
  placement.height = ClampToInt(height);
  return placement;
}

void LocalizeDialog(HWND dialog, const wchar_t* dialogName) {
  // 1. Control texts of the key-table entries of this dialog.
  wchar_t widePrefix[LanguageKeyBufferSize] = L"$";
  AppendBounded(widePrefix, dialogName, LanguageKeyBufferSize);
  AppendBounded(widePrefix, L":", LanguageKeyBufferSize);
  char prefix[LanguageKeyBufferSize];
  if (WideToAnsi(widePrefix, prefix, sizeof prefix)) {
    const size_t prefixLength = strlen(prefix);
    wchar_t text[kControlTextCapacity];
    for (const LanguageKey& key : LanguageKeyTable) {
      if (strncmp(key.name, prefix, prefixLength) != 0) continue;
      // A control the dialog lacks makes SetDlgItemTextW fail; nothing to do about it.
      if (FindText(key.name, text, kControlTextCapacity)) SetDlgItemTextW(dialog, static_cast<int>(key.id), text);
    }
  }

  // 2. The scale.
  wchar_t sizeText[kSizeTextCapacity];
  DialogScale scale;
  const bool scaled = FindDialogText(dialogName, L"SIZE", sizeText, kSizeTextCapacity) && ParseDialogScale(sizeText, &scale);

  // 3. Measures before resizing; the children are placed with these frame sizes.
  RECT window{};
  RECT client{};
  GetWindowRect(dialog, &window);
  GetClientRect(dialog, &client);
  const DialogFrame frame = MeasureDialogFrame(window, client);

  // 4. The dialog itself. Only a centred dialog moves, so that it stays centred.
  if (scaled) {
    const WindowPlacement placement = ScaleDialogPlacement(window, client, scale);
    UINT flags = kDialogMoveFlags;
    if ((GetWindowLongW(dialog, GWL_STYLE) & DS_CENTER) == 0) flags |= SWP_NOMOVE;
    SetWindowPos(dialog, nullptr, placement.left, placement.top, placement.width, placement.height, flags);
    GetWindowRect(dialog, &window);
  }

  // 5. The caption, scaled or not.
  wchar_t caption[kControlTextCapacity];
  if (FindDialogText(dialogName, L"CAPTION", caption, kControlTextCapacity)) SetWindowTextW(dialog, caption);

  // 6. The direct children.
  if (!scaled) return;
  const int dialogFrameMetric = GetSystemMetrics(SM_CYDLGFRAME);
  const bool mirrored = (GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
  const HWND first = GetWindow(dialog, GW_CHILD);
  HWND child = first;
  for (size_t count = 0; child != nullptr && count < kMaxScaledChildren; ++count) {
    RECT rect{};
    GetWindowRect(child, &rect);
    int droppedListHeight = 0;
    wchar_t className[kClassNameCapacity];
    if (GetClassNameW(child, className, static_cast<int>(kClassNameCapacity)) > 0 && NamesEqual(className, L"COMBOBOX") &&
        (GetWindowLongW(child, GWL_STYLE) & 3) != CBS_SIMPLE) {
      // A combo box's window height includes its dropped-down list.
      RECT dropped{};
      SendMessageW(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
      droppedListHeight = ClampToInt(static_cast<long long>(dropped.bottom) - dropped.top + 1);
    }
    const WindowPlacement placement =
        ScaleChildPlacement(rect, window, frame, dialogFrameMetric, scale, droppedListHeight, mirrored);
    SetWindowPos(child, nullptr, placement.left, placement.top, placement.width, placement.height, kDialogMoveFlags);
    const HWND next = GetWindow(child, GW_HWNDNEXT);
    if (next == first) break;
    child = next;
  }
}

void SetRtlLayout(HWND window) {
  if (!RightToLeft) return;
  SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_LAYOUTRTL);
}

void ClearRtlReading(HWND window) {
  if (!RightToLeft) return;
  SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) & ~WS_EX_RTLREADING);
}
