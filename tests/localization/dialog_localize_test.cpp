// LocalizeDialog, SetRtlLayout and ClearRtlReading on real dialogs (the run's Xvfb display):
// texts, caption, and positions and sizes after a SIZE entry, with fixed values worked out by hand.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "localization/language.h"
#include "localization/localized_strings.h"
#include "resources/resource_ids.h"
#include "support/language_file.h"
#include "support/text.h"

namespace {

constexpr WORD kButton = 0x0080;
constexpr WORD kEdit = 0x0081;
constexpr WORD kStatic = 0x0082;
constexpr WORD kComboBox = 0x0085;

constexpr int kDropDownCombo = 300;
constexpr int kSimpleCombo = 301;
constexpr int kEditBox = 302;

// An in-memory classic dialog template.
class TemplateBuilder {
 public:
  TemplateBuilder(DWORD style, short x, short y, short cx, short cy, const wchar_t* caption, DWORD exStyle = 0) {
    Dword(style);
    Dword(exStyle);
    countAt_ = words_.size();
    Word(0);           // item count, patched
    Word(x);
    Word(y);
    Word(cx);
    Word(cy);
    Word(0);           // no menu
    Word(0);           // default class
    String(caption);
  }
  void Control(WORD classOrdinal, int id, const wchar_t* text, DWORD style, short x, short y, short cx, short cy) {
    if (words_.size() % 2 != 0) Word(0);  // DWORD alignment
    Dword(style | WS_CHILD | WS_VISIBLE);
    Dword(0);
    Word(x);
    Word(y);
    Word(cx);
    Word(cy);
    Word(static_cast<WORD>(id));
    Word(0xFFFF);
    Word(classOrdinal);
    String(text);
    Word(0);  // no creation data
    ++words_[countAt_];
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Word(WORD value) { words_.push_back(value); }
  void Dword(DWORD value) {
    Word(LOWORD(value));
    Word(HIWORD(value));
  }
  void String(const wchar_t* text) {
    for (; *text; ++text) Word(static_cast<WORD>(*text));
    Word(0);
  }
  std::vector<WORD> words_;
  size_t countAt_ = 0;
};

INT_PTR CALLBACK PassiveDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

class DialogWindow {
 public:
  explicit DialogWindow(const TemplateBuilder& builder)
      : window_(CreateDialogIndirectParamW(GetModuleHandleW(nullptr), builder.get(), nullptr, PassiveDialogProc, 0)) {}
  ~DialogWindow() {
    if (window_ != nullptr) DestroyWindow(window_);
  }
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;
  HWND get() const { return window_; }

 private:
  HWND window_;
};


TemplateBuilder SampleDialog(bool centred, DWORD exStyle = 0) {
  TemplateBuilder builder(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | (centred ? DS_CENTER : 0), 20, 20,
                          200, 120, L"Template caption", exStyle);
  builder.Control(kStatic, IDC_ASSOCWITH, L"Associate with", SS_LEFT, 7, 7, 100, 10);
  builder.Control(kButton, IDC_ASSOCVOK, L"VOK", BS_AUTOCHECKBOX, 7, 20, 60, 10);
  builder.Control(kButton, IDOK, L"OK", BS_DEFPUSHBUTTON, 140, 100, 50, 14);
  builder.Control(kComboBox, kDropDownCombo, L"", CBS_DROPDOWNLIST | WS_VSCROLL, 7, 40, 90, 80);
  builder.Control(kComboBox, kSimpleCombo, L"", CBS_SIMPLE, 100, 40, 90, 50);
  builder.Control(kEdit, kEditBox, L"masks", ES_AUTOHSCROLL | WS_BORDER, 7, 100, 120, 12);
  return builder;
}

struct Measured {
  RECT window{}, client{};
  std::vector<HWND> children;
  std::vector<RECT> childRects;
  std::vector<int> droppedHeights;  // 0 where no list height is added
};

Measured Measure(HWND dialog) {
  Measured m;
  GetWindowRect(dialog, &m.window);
  GetClientRect(dialog, &m.client);
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT rect;
    GetWindowRect(child, &rect);
    m.children.push_back(child);
    m.childRects.push_back(rect);
    int dropped = 0;
    wchar_t className[64] = L"";
    GetClassNameW(child, className, 64);
    if (lstrcmpiW(className, L"ComboBox") == 0 && (GetWindowLongW(child, GWL_STYLE) & 3) != CBS_SIMPLE) {
      RECT list{};
      SendMessageW(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&list));
      dropped = list.bottom - list.top + 1;
    }
    m.droppedHeights.push_back(dropped);
  }
  return m;
}

struct Placement {
  int left, top, width, height;
};

// A dialog with a frame of fixed size, whatever the system's metrics: 3 pixels left, right and
// bottom, 26 at the top. Placed at left 100, top 100, right 500, bottom 400, its client rectangle
// has right 394 and bottom 271, as in the worked example of the SIZE rule (NX = 7, NY = 30).
INT_PTR CALLBACK FixedFrameDialogProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_NCCALCSIZE) return FALSE;
  RECT* rect = &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0];
  rect->left += 3;
  rect->right -= 3;
  rect->top += 26;
  rect->bottom -= 3;
  SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
  return TRUE;
}

class FixedFrameDialog {
 public:
  explicit FixedFrameDialog(const TemplateBuilder& builder)
      : window_(CreateDialogIndirectParamW(GetModuleHandleW(nullptr), builder.get(), nullptr, FixedFrameDialogProc, 0)) {
    if (window_ == nullptr) return;
    SetWindowPos(window_, nullptr, 100, 100, 400, 300, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    RECT client{};
    GetClientRect(window_, &client);
    ready_ = client.right == 394 && client.bottom == 271;
  }
  ~FixedFrameDialog() {
    if (window_ != nullptr) DestroyWindow(window_);
  }
  FixedFrameDialog(const FixedFrameDialog&) = delete;
  FixedFrameDialog& operator=(const FixedFrameDialog&) = delete;
  HWND get() const { return window_; }
  bool ready() const { return ready_; }

 private:
  HWND window_;
  bool ready_ = false;
};

// A child's placement in client coordinates of its dialog, with the height its window reports.
Placement ChildPlacement(HWND dialog, HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return Placement{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

// ---- Control texts and caption ----

TEST(LocalizeDialog, SetsKeyTableControlsAndCaptionFromTheFile) {
  ScopedLanguageFile file(
      L":DIALOG SETUPDLG\r\n"
      L"IDC_ASSOCWITH Link with\r\n"
      L"IDOK Confirm\r\n"
      L"IDC_SHELLEXT Not in this dialog\r\n"      // a key-table control the dialog lacks
      L"IDC_UNKNOWN Not a key\r\n"
      L"CAPTION File caption\r\n"
      L":DIALOG DONEDLG\r\n"
      L"IDC_INSTINFOFOLDER Wrong dialog\r\n");   // 5101 in DONEDLG: must not touch SETUPDLG's 5101
  ASSERT_TRUE(file.loaded());
  DialogWindow dialog(SampleDialog(true));
  ASSERT_NE(dialog.get(), nullptr);
  const Measured before = Measure(dialog.get());

  LocalizeDialog(dialog.get(), L"SETUPDLG");

  EXPECT_EQ(WindowText(GetDlgItem(dialog.get(), IDC_ASSOCWITH)), L"Link with");
  EXPECT_EQ(WindowText(GetDlgItem(dialog.get(), IDOK)), L"Confirm");
  EXPECT_EQ(WindowText(GetDlgItem(dialog.get(), IDC_ASSOCVOK)), L"VOK");
  EXPECT_EQ(WindowText(GetDlgItem(dialog.get(), kEditBox)), L"masks");
  EXPECT_EQ(WindowText(dialog.get()), L"File caption") << "caption set without a SIZE entry";
  const Measured after = Measure(dialog.get());
  EXPECT_TRUE(EqualRect(&before.window, &after.window)) << "no SIZE: the geometry stays";
}

TEST(LocalizeDialog, WithoutEntriesTheDialogKeepsEverything) {
  DialogWindow dialog(SampleDialog(true));
  ASSERT_NE(dialog.get(), nullptr);
  const Measured before = Measure(dialog.get());
  LocalizeDialog(dialog.get(), L"SETUPDLG");
  const Measured after = Measure(dialog.get());
  EXPECT_EQ(WindowText(dialog.get()), L"Template caption");
  EXPECT_EQ(WindowText(GetDlgItem(dialog.get(), IDOK)), L"OK");
  EXPECT_TRUE(EqualRect(&before.window, &after.window));
  for (size_t i = 0; i < before.children.size(); ++i) EXPECT_TRUE(EqualRect(&before.childRects[i], &after.childRects[i]));
}

// ---- Scaling ----

struct ScaleCase {
  bool centred;
  const wchar_t* size;
  bool applies;
  Placement dialog;  // window rectangle after: left, top, width, height
  Placement label;   // the label at client (20, 40), 100 x 20 before, in client coordinates after
};

class LocalizeDialogScale : public ::testing::TestWithParam<ScaleCase> {};

// The dialog starts at left 100, top 100, right 500, bottom 400 with client right 394 and bottom
// 271; F (SM_CYDLGFRAME) is 3. The label's screen rectangle Rc then lies 3 + 20 right of the
// dialog's left and 26 + 40 below its top, so x = (Rc.left - 3 - left) * X / 100 = 20 * X / 100,
// y = (Rc.top - 27 - top) * Y / 100 = 39 * Y / 100, width 101 * X / 100, height 21 * Y / 100.
TEST_P(LocalizeDialogScale, FollowsTheSizeRule) {
  const ScaleCase& c = GetParam();
  ASSERT_EQ(3, GetSystemMetrics(SM_CYDLGFRAME)) << "the fixed values below assume a dialog frame of 3";
  ScopedLanguageFile file(std::wstring(L":DIALOG SETUPDLG\r\nSIZE ") + c.size + L"\r\nCAPTION Scaled\r\n");
  ASSERT_TRUE(file.loaded());
  FixedFrameDialog dialog(SampleDialog(c.centred));
  ASSERT_TRUE(dialog.ready()) << "the dialog did not take the fixed frame";
  const HWND label = GetDlgItem(dialog.get(), IDC_ASSOCWITH);
  ASSERT_TRUE(SetWindowPos(label, nullptr, 20, 40, 100, 20, SWP_NOZORDER | SWP_NOACTIVATE));
  const Measured before = Measure(dialog.get());

  LocalizeDialog(dialog.get(), L"SETUPDLG");
  EXPECT_EQ(WindowText(dialog.get()), L"Scaled");

  RECT window;
  GetWindowRect(dialog.get(), &window);
  if (!c.applies) {
    EXPECT_TRUE(EqualRect(&before.window, &window)) << "SIZE " << Narrow(c.size) << " must not apply";
    const Measured after = Measure(dialog.get());
    for (size_t i = 0; i < before.children.size(); ++i) {
      EXPECT_TRUE(EqualRect(&before.childRects[i], &after.childRects[i])) << "child " << i;
    }
    return;
  }
  EXPECT_EQ(c.dialog.left, window.left);
  EXPECT_EQ(c.dialog.top, window.top);
  EXPECT_EQ(c.dialog.width, window.right - window.left);
  EXPECT_EQ(c.dialog.height, window.bottom - window.top);
  const Placement placed = ChildPlacement(dialog.get(), label);
  EXPECT_EQ(c.label.left, placed.left);
  EXPECT_EQ(c.label.top, placed.top);
  EXPECT_EQ(c.label.width, placed.width);
  EXPECT_EQ(c.label.height, placed.height);

  // A drop-down combo box is as tall as its selection field; the height it is given (field plus
  // scaled list) shows in its dropped-list rectangle. Windows reports the whole dropped-down box,
  // Wine 8 only the list below the field: either way more than the scaled field alone.
  const HWND combo = GetDlgItem(dialog.get(), kDropDownCombo);
  RECT list{};
  SendMessageW(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&list));
  const size_t comboIndex = std::find(before.children.begin(), before.children.end(), combo) - before.children.begin();
  ASSERT_LT(comboIndex, before.children.size());
  EXPECT_GE(list.bottom - list.top, (before.droppedHeights[comboIndex] - 1) * 80 / 100) << "the list height was added";
}

// 125*110 is the worked example: width 394 * 125 / 100 + 7 = 499, height 271 * 110 / 100 + 30 =
// 328; centred, left 100 + (401 - 499) / 2 = 51 and top 100 + (301 - 328) / 2 = 87.
INSTANTIATE_TEST_SUITE_P(
    Sizes, LocalizeDialogScale,
    ::testing::Values(ScaleCase{true, L"125*110", true, {51, 87, 499, 328}, {25, 42, 126, 23}},
                      ScaleCase{false, L"125*110", true, {100, 100, 499, 328}, {25, 42, 126, 23}},
                      ScaleCase{true, L"80*90", true, {139, 114, 322, 273}, {16, 35, 80, 18}},
                      ScaleCase{false, L"150*100", true, {100, 100, 598, 301}, {30, 39, 151, 21}},
                      ScaleCase{true, L"120 *110", true, {61, 87, 479, 328}, {24, 42, 121, 23}},
                      // A centred dialog that would start left of or above the screen starts at 0.
                      ScaleCase{true, L"300*300", true, {0, 0, 1189, 843}, {60, 117, 303, 63}},
                      ScaleCase{true, L"100*100", false, {}, {}}, ScaleCase{true, L"0*120", false, {}, {}},
                      ScaleCase{false, L"120", false, {}, {}}, ScaleCase{true, L"120*", false, {}, {}},
                      ScaleCase{true, L"-50*120", false, {}, {}}, ScaleCase{true, L"120* 110", false, {}, {}}));

TEST(LocalizeDialog, OnlyTheFirst512ChildrenAreScaled) {
  ScopedLanguageFile file(L":DIALOG SETUPDLG\r\nSIZE 200*200\r\n");
  ASSERT_TRUE(file.loaded());
  TemplateBuilder builder(WS_POPUP | WS_CAPTION | DS_MODALFRAME, 0, 0, 300, 200, L"Many");
  FixedFrameDialog dialog(builder);
  ASSERT_TRUE(dialog.ready()) << "the dialog did not take the fixed frame";
  for (int i = 0; i < 600; ++i) {
    CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, (i % 40) * 10, (i / 40) * 10, 6, 6, dialog.get(),
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(1000 + i)), GetModuleHandleW(nullptr), nullptr);
  }
  const Measured before = Measure(dialog.get());
  ASSERT_EQ(before.children.size(), 600u);

  LocalizeDialog(dialog.get(), L"SETUPDLG");

  // Not centred: the dialog stays; a child at client (x, y), 6 x 6, goes to (2x, 2(y - 1)), 14 wide.
  for (size_t i = 0; i < before.children.size(); ++i) {
    const Placement actual = ChildPlacement(dialog.get(), before.children[i]);
    if (i < 512) {
      EXPECT_EQ(actual.width, 14) << "child " << i;
      EXPECT_EQ(actual.left, static_cast<int>(i % 40) * 20) << "child " << i;
      EXPECT_EQ(actual.top, (static_cast<int>(i / 40) * 10 - 1) * 2) << "child " << i;
    } else {
      RECT rect;
      GetWindowRect(before.children[i], &rect);
      EXPECT_TRUE(EqualRect(&rect, &before.childRects[i])) << "child " << i << " beyond the limit was moved";
    }
  }
}

TEST(LocalizeDialog, ControlsKeepTheirSideInMirroredAndPlainDialogs) {
  // In client coordinates a control's left edge, and so its distance from the dialog's leading
  // edge, scales by X; in a mirrored dialog that edge is the right one. The label of the scale
  // table: left 20 and width 100 become 25 and 126 at 125*110.
  ScopedLanguageFile file(L":DIALOG SETUPDLG\r\nSIZE 125*110\r\n");
  ASSERT_TRUE(file.loaded());
  for (const DWORD exStyle : {DWORD{WS_EX_LAYOUTRTL}, DWORD{0}}) {
    FixedFrameDialog dialog(SampleDialog(true, exStyle));
    ASSERT_TRUE(dialog.ready()) << "the dialog did not take the fixed frame";
    ASSERT_EQ(static_cast<DWORD>(GetWindowLongW(dialog.get(), GWL_EXSTYLE)) & WS_EX_LAYOUTRTL, exStyle);
    const HWND label = GetDlgItem(dialog.get(), IDC_ASSOCWITH);
    ASSERT_TRUE(SetWindowPos(label, nullptr, 20, 40, 100, 20, SWP_NOZORDER | SWP_NOACTIVATE));
    LocalizeDialog(dialog.get(), L"SETUPDLG");
    const Placement after = ChildPlacement(dialog.get(), label);
    EXPECT_EQ(25, after.left) << (exStyle ? "mirrored" : "plain") << " dialog";
    EXPECT_EQ(126, after.width) << (exStyle ? "mirrored" : "plain") << " dialog";
  }
}

// ---- The program's own dialogs ----

TEST(LocalizeDialog, ProgramsDialogsTakeEveryKeyTableTextFromTheFile) {
  // Every dialog key of the table with a text made from its name.
  std::wstring body;
  for (const wchar_t* dialogName : {DLG_SETUP_NAME, DLG_DONE_NAME, DLG_SETUPCONTEXTITEMS_NAME}) {
    body += std::wstring(L":DIALOG ") + dialogName + L"\r\nCAPTION caption of " + dialogName + L"\r\n";
    const std::wstring prefix = std::wstring(L"$") + dialogName + L":";
    for (const LanguageKey& key : LanguageKeyTable) {
      const std::wstring name(key.name, key.name + strlen(key.name));
      if (name.compare(0, prefix.size(), prefix) == 0) body += name.substr(prefix.size()) + L" [" + name + L"]\r\n";
    }
  }
  ScopedLanguageFile file(body);
  ASSERT_TRUE(file.loaded());
  // The explanation box of SETUPDLG is a rich-edit control.
  const HMODULE richEdit = LoadLibraryW(L"riched20.dll");
  ASSERT_NE(richEdit, nullptr);

  for (const wchar_t* dialogName : {DLG_SETUP_NAME, DLG_DONE_NAME, DLG_SETUPCONTEXTITEMS_NAME}) {
    const HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), dialogName, nullptr, PassiveDialogProc, 0);
    ASSERT_NE(dialog, nullptr) << Narrow(dialogName) << ": error " << GetLastError();
    LocalizeDialog(dialog, dialogName);
    EXPECT_EQ(WindowText(dialog), std::wstring(L"caption of ") + dialogName);
    const std::wstring prefix = std::wstring(L"$") + dialogName + L":";
    int checked = 0;
    for (const LanguageKey& key : LanguageKeyTable) {
      const std::wstring name(key.name, key.name + strlen(key.name));
      if (name.compare(0, prefix.size(), prefix) != 0) continue;
      EXPECT_EQ(WindowText(GetDlgItem(dialog, static_cast<int>(key.id))), L"[" + name + L"]");
      ++checked;
    }
    EXPECT_GT(checked, 0);
    DestroyWindow(dialog);
  }
}

// ---- Right-to-left ----

TEST(RtlLayout, FlagsChangeOnlyForARightToLeftLanguage) {
  struct Case {
    bool rightToLeft;
    DWORD startExStyle;
    DWORD layoutBitAfterSet;    // WS_EX_LAYOUTRTL after SetRtlLayout
    DWORD readingBitAfterClear; // WS_EX_RTLREADING after ClearRtlReading
  };
  const Case cases[] = {
      {true, WS_EX_RTLREADING, WS_EX_LAYOUTRTL, 0},
      {false, WS_EX_RTLREADING, 0, WS_EX_RTLREADING},
      {true, 0, WS_EX_LAYOUTRTL, 0},
      {false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    ScopedRightToLeft direction(c.rightToLeft);
    const HWND window = CreateWindowExW(c.startExStyle, L"EDIT", L"*.iso", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    const DWORD start = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
    SetRtlLayout(window);
    const DWORD afterSet = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
    EXPECT_EQ(afterSet & WS_EX_LAYOUTRTL, c.layoutBitAfterSet) << "RightToLeft " << c.rightToLeft;
    EXPECT_EQ(afterSet & ~WS_EX_LAYOUTRTL, start & ~WS_EX_LAYOUTRTL) << "other bits kept";
    ClearRtlReading(window);
    const DWORD afterClear = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
    EXPECT_EQ(afterClear & WS_EX_RTLREADING, c.readingBitAfterClear) << "RightToLeft " << c.rightToLeft;
    EXPECT_EQ(afterClear & ~WS_EX_RTLREADING, afterSet & ~WS_EX_RTLREADING) << "other bits kept";
    DestroyWindow(window);
  }
}

}  // namespace
