// The line editor on its own: typing and deleting (line breaks and surrogate pairs as one
// character), the navigation keys and how Shift carries the selection, the clipboard keys through
// the headless clipboard and without one, case modes, the maximum length, and its two callbacks.
#include "shapes/line_edit.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/headless_clipboard.h"

namespace sw {
namespace {

void Type(TdtpLineEdit& edit, std::u16string_view text) {
  for (const char16_t c : text) edit.KeyPress(c);
}

// The editor's state as one comparable value: text, caret, selection start and length.
struct TState {
  std::u16string Text;
  int32_t Caret, SelStart, SelLength;
  friend bool operator==(const TState&, const TState&) = default;
};
TState StateOf(const TdtpLineEdit& edit) { return {edit.Text(), edit.Caret, edit.SelStart, edit.SelLength}; }

void PrintTo(const TState& s, std::ostream* os) {
  *os << "caret " << s.Caret << " sel " << s.SelStart << "+" << s.SelLength << " length " << s.Text.size();
}

TEST(LineEdit, TypingDeletingAndLineBreaks) {
  TdtpLineEdit edit;
  int changes = 0;
  edit.OnChange = [&](TdtpLineEdit&) { ++changes; };
  Type(edit, u"Helo");
  EXPECT_EQ(changes, 4);
  edit.KeyDown(vk::Left, 0);
  Type(edit, u"l");
  EXPECT_EQ(StateOf(edit), (TState{u"Hello", 4, 4, 0}));
  edit.KeyDown(vk::Delete, 0);
  edit.KeyDown(vk::Back, 0);
  EXPECT_EQ(StateOf(edit), (TState{u"Hel", 3, 3, 0}));
  // Control characters other than the clipboard's, and DEL, insert nothing; the change still fires.
  changes = 0;
  edit.KeyPress(1);
  edit.KeyPress(13);
  edit.KeyPress(127);
  EXPECT_EQ(edit.Text(), u"Hel");
  EXPECT_EQ(changes, 3);

  // Enter inserts CR LF; one Backspace or Delete takes the whole break, and the caret steps over it.
  edit.KeyDown(vk::Return, 0);
  Type(edit, u"x");
  EXPECT_EQ(edit.Text(), u"Hel\r\nx");
  edit.KeyDown(vk::Left, 0);
  edit.KeyDown(vk::Left, 0);
  EXPECT_EQ(edit.Caret, 3);
  edit.KeyDown(vk::Delete, 0);
  EXPECT_EQ(edit.Text(), u"Helx");
  edit.KeyDown(vk::Return, 0);
  edit.KeyDown(vk::Back, 0);
  EXPECT_EQ(StateOf(edit), (TState{u"Helx", 3, 3, 0}));

  // A character outside the basic plane goes as a whole.
  edit.SetText(u"a\U0001F600");
  edit.KeyDown(vk::Back, 0);
  EXPECT_EQ(edit.Text(), u"a");
  // Keys the editor does not know change nothing; a caret set out of range is pulled back first.
  edit.Caret = 99;
  edit.KeyDown(vk::F5, 0);
  EXPECT_EQ(StateOf(edit), (TState{u"a", 1, 1, 0}));
  edit.KeyDown(vk::Back, 0);
  edit.KeyDown(vk::Back, 0);
  edit.KeyDown(vk::Delete, 0);
  EXPECT_EQ(StateOf(edit), (TState{u"", 0, 0, 0}));
}

TEST(LineEdit, SetTextSelectAllAndReplacingTheSelection) {
  TdtpLineEdit edit;
  std::vector<std::u16string> seen;
  edit.OnChange = [&](TdtpLineEdit& sender) { seen.push_back(sender.Text()); };
  edit.SetText(u"abc");
  EXPECT_EQ(StateOf(edit), (TState{u"abc", 3, 3, 0}));
  edit.Caret = 1;
  edit.SetText(u"abc");  // the same text: caret stays, the change fires anyway
  EXPECT_EQ(edit.Caret, 1);
  EXPECT_EQ(seen.size(), 2u);
  edit.SelectAll();
  EXPECT_EQ(StateOf(edit), (TState{u"abc", 3, 0, 3}));
  EXPECT_EQ(edit.SelectedText(), u"abc");
  Type(edit, u"Z");
  EXPECT_EQ(StateOf(edit), (TState{u"Z", 1, 1, 0}));
  edit.SetText(u"hello world");
  edit.SelStart = 6;
  edit.SelLength = 5;
  edit.KeyDown(vk::Back, 0);
  EXPECT_EQ(StateOf(edit), (TState{u"hello ", 6, 6, 0}));
  // ReplaceText is SetText without the change.
  const size_t before = seen.size();
  edit.ReplaceText(u"hi");
  EXPECT_EQ(StateOf(edit), (TState{u"hi", 2, 2, 0}));
  EXPECT_EQ(seen.size(), before);
}

TEST(LineEdit, ShiftCarriesTheSelectionFromTheCaret) {
  TdtpLineEdit edit;
  edit.SetText(u"abcdef");
  edit.KeyDown(vk::Home, 0);
  edit.KeyDown(vk::Right, ssShift);
  edit.KeyDown(vk::Right, ssShift);
  EXPECT_EQ(StateOf(edit), (TState{u"abcdef", 2, 0, 2}));
  // Back over the start: the selection turns round at the anchor.
  edit.KeyDown(vk::Left, ssShift);
  edit.KeyDown(vk::Left, ssShift);
  EXPECT_EQ(StateOf(edit), (TState{u"abcdef", 0, 0, 0}));
  edit.KeyDown(vk::End, ssShift);
  EXPECT_EQ(StateOf(edit), (TState{u"abcdef", 6, 0, 6}));
  edit.KeyDown(vk::Left, ssShift);
  EXPECT_EQ(StateOf(edit), (TState{u"abcdef", 5, 0, 5}));

  // A selection whose start is the caret moves its start, and turns round past its end.
  edit.Caret = 2;
  edit.SelStart = 2;
  edit.SelLength = 2;
  edit.KeyDown(vk::Right, ssShift);
  EXPECT_EQ(StateOf(edit), (TState{u"abcdef", 3, 3, 1}));
  edit.KeyDown(vk::Right, ssShift);
  edit.KeyDown(vk::Right, ssShift);
  EXPECT_EQ(StateOf(edit), (TState{u"abcdef", 5, 4, 1}));
  // Without Shift the selection goes.
  edit.KeyDown(vk::Left, 0);
  EXPECT_EQ(StateOf(edit), (TState{u"abcdef", 4, 4, 0}));
  // The caret cannot leave the text.
  edit.KeyDown(vk::End, 0);
  edit.KeyDown(vk::Right, ssShift);
  EXPECT_EQ(StateOf(edit), (TState{u"abcdef", 6, 6, 0}));

  // The owner's navigation decides where keys go.
  std::vector<std::pair<int32_t, uint16_t>> asked;
  edit.OnNavigate = [&](int32_t caret, uint16_t key) {
    asked.emplace_back(caret, key);
    return key == vk::Up ? 1 : caret;
  };
  edit.KeyDown(vk::Up, ssShift);
  EXPECT_EQ(asked, (std::vector<std::pair<int32_t, uint16_t>>{{6, vk::Up}}));
  EXPECT_EQ(StateOf(edit), (TState{u"abcdef", 1, 1, 5}));
  edit.MoveCaret(3, true);
  EXPECT_EQ(StateOf(edit), (TState{u"abcdef", 3, 3, 3}));
  edit.MoveCaret(-5, false);
  EXPECT_EQ(StateOf(edit), (TState{u"abcdef", 0, 0, 0}));
}

TEST(LineEdit, ClipboardKeysGoThroughThePlatformClipboard) {
  THeadlessClipboard clipboard;
  TdtpLineEdit edit;
  edit.Clipboard = &clipboard;
  edit.SetText(u"Grüße, world");
  edit.SelStart = 0;
  edit.SelLength = 5;
  edit.Caret = 5;
  edit.KeyPress(TdtpLineEdit::kCtrlC);
  EXPECT_EQ(clipboard.Text(), "Grüße");
  EXPECT_EQ(edit.Text(), u"Grüße, world");

  // A cut of a selection made leftwards: the caret goes to where the selection started.
  edit.KeyDown(vk::End, 0);
  edit.KeyDown(vk::Left, ssShift);
  edit.KeyDown(vk::Left, ssShift);
  edit.KeyPress(TdtpLineEdit::kCtrlX);
  EXPECT_EQ(clipboard.Text(), "ld");
  EXPECT_EQ(StateOf(edit), (TState{u"Grüße, wor", 10, 10, 0}));
  edit.KeyDown(vk::Home, 0);
  edit.KeyPress(TdtpLineEdit::kCtrlV);
  EXPECT_EQ(StateOf(edit), (TState{u"ldGrüße, wor", 2, 2, 0}));
  // Pasting over a selection replaces it.
  edit.SelectAll();
  clipboard.SetText("new\r\ntext");
  edit.KeyPress(TdtpLineEdit::kCtrlV);
  EXPECT_EQ(StateOf(edit), (TState{u"new\r\ntext", 9, 9, 0}));
  // An empty selection copies and cuts the empty text.
  edit.KeyPress(TdtpLineEdit::kCtrlX);
  EXPECT_TRUE(clipboard.HasText());
  EXPECT_EQ(clipboard.Text(), "");
  EXPECT_EQ(edit.Text(), u"new\r\ntext");
  // Control characters a document cannot store are not pasted.
  clipboard.SetText(std::string("x\x01y\0z", 6));
  edit.KeyPress(TdtpLineEdit::kCtrlV);
  EXPECT_EQ(edit.Text(), u"new\r\ntextxyz");
  edit.SetText(u"new\r\ntext");
  // A clipboard with no text pastes nothing.
  clipboard.Clear();
  edit.KeyPress(TdtpLineEdit::kCtrlV);
  EXPECT_EQ(edit.Text(), u"new\r\ntext");

  // Without a platform clipboard the editor keeps its copies.
  TdtpLineEdit own;
  own.SetText(u"abc");
  own.SelectAll();
  own.KeyPress(TdtpLineEdit::kCtrlC);
  own.KeyPress(TdtpLineEdit::kCtrlV);
  own.KeyPress(TdtpLineEdit::kCtrlV);
  EXPECT_EQ(own.Text(), u"abcabc");
  EXPECT_EQ(clipboard.SetCount(), 5);
}

TEST(LineEdit, CaseModesApplyToTypingAndPasting) {
  THeadlessClipboard clipboard;
  TdtpLineEdit edit;
  edit.Clipboard = &clipboard;
  edit.CaseMode = ecUpperCase;
  Type(edit, u"straße é ÿ ж ω ς ı 1!");
  EXPECT_EQ(edit.Text(), u"STRAßE É Ÿ Ж Ω Σ I 1!");
  clipboard.SetText("mixed Case");
  edit.KeyPress(TdtpLineEdit::kCtrlV);
  EXPECT_EQ(edit.Text(), u"STRAßE É Ÿ Ж Ω Σ I 1!MIXED CASE");
  edit.CaseMode = ecLowerCase;
  edit.SetText(u"");
  Type(edit, u"ÀÉÎ ŁĄ Ё Ά XY");
  EXPECT_EQ(edit.Text(), u"àéî łą ё ά xy");
  // Text already there keeps its case.
  edit.CaseMode = ecUpperCase;
  edit.SetText(u"abc");
  EXPECT_EQ(edit.Text(), u"abc");
  EXPECT_EQ(EditUpperCase(u"ĳ ŉ ſ"), u"Ĳ ŉ S");
  EXPECT_EQ(EditLowerCase(u"ĲİŸ"), u"ĳiÿ");
}

TEST(LineEdit, MaximumLengthLimitsWhatGoesInWithoutCuttingText) {
  THeadlessClipboard clipboard;
  TdtpLineEdit edit;
  edit.Clipboard = &clipboard;
  edit.MaxLength = 5;
  Type(edit, u"abcdefg");
  EXPECT_EQ(StateOf(edit), (TState{u"abcde", 5, 5, 0}));
  // Typing in the middle of a full text does not push its end out.
  edit.KeyDown(vk::Home, 0);
  Type(edit, u"X");
  EXPECT_EQ(StateOf(edit), (TState{u"abcde", 0, 0, 0}));
  // Over a selection the selected characters make room.
  edit.KeyDown(vk::Right, ssShift);
  Type(edit, u"X");
  EXPECT_EQ(StateOf(edit), (TState{u"Xbcde", 1, 1, 0}));
  // A paste is cut to the room left, never between CR and LF.
  edit.KeyDown(vk::End, 0);
  edit.KeyDown(vk::Back, 0);
  edit.KeyDown(vk::Back, 0);
  clipboard.SetText("1\r\n2");
  edit.KeyPress(TdtpLineEdit::kCtrlV);
  EXPECT_EQ(edit.Text(), u"Xbc1");
  edit.KeyDown(vk::Return, 0);
  EXPECT_EQ(edit.Text(), u"Xbc1");
  // A text longer than the limit stays whole; it can shrink but not grow.
  edit.SetText(u"0123456789");
  EXPECT_EQ(edit.Length(), 10);
  Type(edit, u"x");
  EXPECT_EQ(edit.Text(), u"0123456789");
  // Typing over a selection that leaves no room keeps the selection instead of deleting it.
  edit.SelStart = 0;
  edit.SelLength = 2;
  Type(edit, u"x");
  EXPECT_EQ(edit.Text(), u"0123456789");
  EXPECT_EQ(edit.SelLength, 2);
  edit.KeyDown(vk::Delete, 0);
  EXPECT_EQ(edit.Text(), u"23456789");
  // Without a maximum length the editor's own bound still holds.
  edit.MaxLength = 0;
  clipboard.SetText(std::string(TdtpLineEdit::kMaxTextLength + 10, 'a'));
  edit.KeyPress(TdtpLineEdit::kCtrlV);
  EXPECT_EQ(edit.Length(), TdtpLineEdit::kMaxTextLength);
}

TEST(LineEdit, AChangeHandlerMayEndTheEditor) {
  auto edit = std::make_unique<TdtpLineEdit>();
  int calls = 0;
  edit->OnChange = [&](TdtpLineEdit&) {
    ++calls;
    edit.reset();
  };
  edit->KeyPress(u'a');
  EXPECT_EQ(edit, nullptr);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace sw
