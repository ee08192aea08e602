#include "shapes/line_edit.h"

#include <algorithm>

#include "base/strings.h"
#include "platform/clipboard.h"

namespace sw {

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c < 0xDC00; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c < 0xE000; }

// Two code units that stand for one thing on the page: a CR LF line break or a surrogate pair.
bool IsPair(char16_t first, char16_t second) {
  return (first == u'\r' && second == u'\n') || (IsHighSurrogate(first) && IsLowSurrogate(second));
}

char16_t UpperOf(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
  if (c < 0xB5) return c;
  if (c == 0xB5) return 0x39C;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
  if (c == 0xFF) return 0x178;
  if (c == 0x131) return u'I';
  if (c == 0x17F) return u'S';
  // Latin Extended-A: upper and lower alternate, upper first except in the two odd-first runs.
  if ((c >= 0x100 && c <= 0x137 && c != 0x130) || (c >= 0x14A && c <= 0x177)) return static_cast<char16_t>(c & ~1u);
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : static_cast<char16_t>(c - 1);
  if (c == 0x3C2) return 0x3A3;  // final sigma
  if ((c >= 0x3B1 && c <= 0x3C1) || (c >= 0x3C3 && c <= 0x3CB)) return static_cast<char16_t>(c - 32);
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return static_cast<char16_t>(c - 37);
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return static_cast<char16_t>(c - 63);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 32);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 80);
  return c;
}

char16_t LowerOf(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  if (c < 0xC0) return c;
  if (c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  if (c == 0x130) return u'i';
  if (c == 0x178) return 0xFF;
  if ((c >= 0x100 && c <= 0x137 && c != 0x131) || (c >= 0x14A && c <= 0x177)) return static_cast<char16_t>(c | 1u);
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? static_cast<char16_t>(c + 1) : c;
  if ((c >= 0x391 && c <= 0x3A1) || (c >= 0x3A3 && c <= 0x3AB)) return static_cast<char16_t>(c + 32);
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return static_cast<char16_t>(c + 37);
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return static_cast<char16_t>(c + 63);
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
  return c;
}

int32_t ToIndex(size_t value) { return static_cast<int32_t>(std::min<size_t>(value, INT32_MAX)); }

}  // namespace

std::u16string EditUpperCase(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = UpperOf(c);
  return out;
}

std::u16string EditLowerCase(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = LowerOf(c);
  return out;
}

std::u16string TdtpLineEdit::SelectedText() const {
  if (SelLength <= 0 || SelStart < 0 || SelStart >= Length()) return {};
  return text_.substr(static_cast<size_t>(SelStart),
                      static_cast<size_t>(std::min(SelLength, Length() - SelStart)));
}

void TdtpLineEdit::Normalize() {
  const int32_t length = Length();
  Caret = std::clamp(Caret, 0, length);
  SelStart = std::clamp(SelStart, 0, length);
  SelLength = std::clamp(SelLength, 0, length - SelStart);
}

void TdtpLineEdit::FireChange() {
  // The handler may end the editing and free this editor, so nothing is touched after it.
  const TChangeEvent handler = OnChange;
  if (handler) handler(*this);
}

void TdtpLineEdit::SetText(const std::u16string& value) {
  ReplaceText(value);
  FireChange();
}

void TdtpLineEdit::ReplaceText(const std::u16string& value) {
  if (value != text_) {
    text_ = value;
    Caret = Length();
    SelStart = Caret;
    SelLength = 0;
  }
  Normalize();
}

void TdtpLineEdit::SelectAll() {
  Caret = Length();
  SelStart = 0;
  SelLength = Length();
  FireChange();
}

void TdtpLineEdit::MoveCaret(int32_t index, bool extend) {
  Normalize();
  const int32_t old = Caret;
  const int32_t next = std::clamp(index, 0, Length());
  if (!extend) {
    SelStart = next;
    SelLength = 0;
  } else if (SelLength == 0) {
    SelStart = old;
    SelLength = next - old;
  } else if (SelStart == old) {
    // The caret sits at the selection's start: the start moves with it.
    const int32_t end = SelStart + SelLength;
    SelStart = next;
    SelLength = end - next;
  } else if (SelStart + SelLength == old) {
    SelLength = next - SelStart;
  } else {
    // The caret was elsewhere: the selection starts again from it.
    SelStart = old;
    SelLength = next - old;
  }
  if (SelLength < 0) {
    SelStart += SelLength;
    SelLength = -SelLength;
  }
  Caret = next;
  Normalize();
  FireChange();
}

void TdtpLineEdit::Insert(std::u16string_view value) {
  Normalize();
  // What is pasted may hold characters the document cannot store; they never reach the text.
  const std::u16string storable = XmlCharactersOnly(value);
  std::u16string piece = CaseMode == ecUpperCase   ? EditUpperCase(storable)
                         : CaseMode == ecLowerCase ? EditLowerCase(storable)
                                                   : storable;
  int64_t limit = kMaxTextLength;
  if (MaxLength > 0) limit = std::min<int64_t>(limit, MaxLength);
  const int64_t kept = int64_t(Length()) - SelLength;
  const int64_t room = std::max<int64_t>(0, limit - kept);
  if (static_cast<int64_t>(piece.size()) > room) {
    // Cut to the room left, never between the two halves of a line break or a surrogate pair.
    size_t cut = static_cast<size_t>(room);
    if (cut > 0 && IsPair(piece[cut - 1], piece[cut])) --cut;
    piece.resize(cut);
  }
  // Typing over a selection with no room left keeps the selection rather than deleting it.
  if (piece.empty()) return;
  if (SelLength > 0) {
    text_.replace(static_cast<size_t>(SelStart), static_cast<size_t>(SelLength), piece);
    Caret = SelStart + ToIndex(piece.size());
  } else {
    text_.insert(static_cast<size_t>(Caret), piece);
    Caret += ToIndex(piece.size());
  }
  SelStart = Caret;
  SelLength = 0;
}

void TdtpLineEdit::DeleteSelection() {
  Normalize();
  if (SelLength <= 0) return;
  text_.erase(static_cast<size_t>(SelStart), static_cast<size_t>(SelLength));
  Caret = SelStart;
  SelLength = 0;
}

int32_t TdtpLineEdit::DefaultNavigate(int32_t caret, uint16_t key) const {
  const int32_t length = Length();
  auto at = [this](int32_t i) { return text_[static_cast<size_t>(i)]; };
  switch (key) {
    case vk::End:
      return length;
    case vk::Home:
      return 0;
    case vk::Left:
    case vk::Up:
      if (caret <= 0) return 0;
      return caret >= 2 && IsPair(at(caret - 2), at(caret - 1)) ? caret - 2 : caret - 1;
    case vk::Right:
    case vk::Down:
      if (caret >= length) return length;
      return caret + 1 < length && IsPair(at(caret), at(caret + 1)) ? caret + 2 : caret + 1;
    default:
      return caret;
  }
}

void TdtpLineEdit::KeyDown(uint16_t key, TShiftState shift) {
  Normalize();
  switch (key) {
    case vk::Back:
      if (SelLength > 0) {
        DeleteSelection();
      } else if (Caret > 0) {
        // A line break and a surrogate pair go as one character.
        const auto at = static_cast<size_t>(Caret);
        const int32_t n = Caret >= 2 && IsPair(text_[at - 2], text_[at - 1]) ? 2 : 1;
        text_.erase(static_cast<size_t>(Caret - n), static_cast<size_t>(n));
        Caret -= n;
        SelStart = Caret;
      }
      break;
    case vk::Delete:
      if (SelLength > 0) {
        DeleteSelection();
      } else if (Caret < Length()) {
        const auto at = static_cast<size_t>(Caret);
        const int32_t n = Caret + 1 < Length() && IsPair(text_[at], text_[at + 1]) ? 2 : 1;
        text_.erase(static_cast<size_t>(Caret), static_cast<size_t>(n));
      }
      break;
    case vk::Return:
      Insert(u"\r\n");
      break;
    case vk::End:
    case vk::Home:
    case vk::Left:
    case vk::Up:
    case vk::Right:
    case vk::Down: {
      const int32_t next = OnNavigate ? OnNavigate(Caret, key) : DefaultNavigate(Caret, key);
      // MoveCaret fires the change.
      MoveCaret(next, (shift & ssShift) != 0);
      return;
    }
    default:
      break;
  }
  Normalize();
  FireChange();
}

void TdtpLineEdit::CopyToClipboard(const std::u16string& text) {
  if (Clipboard) {
    Clipboard->SetText(Utf16ToUtf8(text));
  } else {
    ownClipboard_ = text;
  }
}

std::u16string TdtpLineEdit::ClipboardText() const {
  return Clipboard ? Utf8ToUtf16(Clipboard->Text()) : ownClipboard_;
}

void TdtpLineEdit::KeyPress(char16_t ch) {
  Normalize();
  switch (ch) {
    case kCtrlC:
      CopyToClipboard(SelectedText());
      break;
    case kCtrlV:
      Insert(ClipboardText());
      break;
    case kCtrlX:
      // On the clipboard first, so that nothing is lost when the clipboard refuses it.
      CopyToClipboard(SelectedText());
      DeleteSelection();
      break;
    default:
      // 127 is the delete control character, not a letter.
      if (ch >= 32 && ch != 127) Insert(std::u16string_view(&ch, 1));
      break;
  }
  Normalize();
  FireChange();
}

}  // namespace sw
