// TdtpLineEdit: the small text editor a text shape keeps while it is edited in place. It holds the
// text, the caret and the selection, and turns keys and typed characters into edits. Where the
// caret goes on navigation keys is the owner's business (it knows the lines); the owner hears
// every change through OnChange. The clipboard is the platform's, or a private one without it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/window_host.h"

namespace sw {

class IClipboard;

// How typed and pasted text is cased.
enum TdtpEditCase : uint8_t { ecNormal = 0, ecUpperCase = 1, ecLowerCase = 2 };

// Upper- or lower-case form of a text (Latin, Greek and Cyrillic letters; others unchanged).
std::u16string EditUpperCase(std::u16string_view text);
std::u16string EditLowerCase(std::u16string_view text);

class TdtpLineEdit {
public:
  // (current caret, key) -> new caret.
  using TNavigateEvent = std::function<int32_t(int32_t caret, uint16_t key)>;
  using TChangeEvent = std::function<void(TdtpLineEdit& sender)>;

  // Typed characters of the clipboard commands.
  static constexpr char16_t kCtrlC = 3, kCtrlV = 22, kCtrlX = 24;
  // No edit makes the text longer than this (a paste is cut to fit); longer texts stay as they are.
  static constexpr int32_t kMaxTextLength = 1 << 20;

  TdtpLineEdit() = default;
  virtual ~TdtpLineEdit() = default;
  TdtpLineEdit(const TdtpLineEdit&) = delete;
  TdtpLineEdit& operator=(const TdtpLineEdit&) = delete;

  // Backspace, Delete, Enter (a CR LF line break) and the navigation keys End, Home, Left, Up,
  // Right, Down; with Shift the selection follows the caret. Other keys change nothing. OnChange
  // fires afterwards in every case.
  virtual void KeyDown(uint16_t key, TShiftState shift);
  // Ctrl+C copies, Ctrl+X cuts and Ctrl+V pastes the selection; characters from 32 on are
  // inserted; other control characters change nothing. OnChange fires afterwards in every case.
  virtual void KeyPress(char16_t ch);
  // Key releases change nothing.
  virtual void KeyUp(uint16_t key, TShiftState shift) { (void)key, (void)shift; }

  // When different, replaces the text, puts the caret at the end and clears the selection;
  // OnChange fires in every case.
  void SetText(const std::u16string& value);
  // As SetText without OnChange: the owner's text changed under the editor.
  void ReplaceText(const std::u16string& value);
  // Caret at the end, everything selected; OnChange.
  void SelectAll();
  // Puts the caret at index (clamped to the text); with extend the selection follows it from the
  // old caret as with Shift and a navigation key, else it is cleared. OnChange.
  void MoveCaret(int32_t index, bool extend);
  // Applies the case mode and inserts at the caret, replacing the selection when there is one; the
  // caret ends behind the inserted text. Nothing goes in beyond MaxLength or kMaxTextLength: the
  // text is cut to the room left. No OnChange (the key handlers fire it).
  void Insert(std::u16string_view value);

  const std::u16string& Text() const { return text_; }
  int32_t Length() const { return static_cast<int32_t>(text_.size()); }
  // The selected characters (empty without selection).
  std::u16string SelectedText() const;

  int32_t Caret = 0;
  // TdtpEditCase.
  uint8_t CaseMode = ecNormal;
  // Most characters typing or pasting may give the text; 0: no limit. A text already longer is
  // kept (nothing the user typed is cut), it only cannot grow.
  int32_t MaxLength = 0;
  int32_t SelLength = 0;
  int32_t SelStart = 0;
  // The platform clipboard; null keeps copies in the editor.
  IClipboard* Clipboard = nullptr;
  TNavigateEvent OnNavigate;
  TChangeEvent OnChange;

protected:
  // Clamps caret and selection into the text.
  void Normalize();
  void FireChange();

private:
  // The caret a navigation key gives without OnNavigate.
  int32_t DefaultNavigate(int32_t caret, uint16_t key) const;
  // Deletes the selection; the caret goes to where it started.
  void DeleteSelection();
  void CopyToClipboard(const std::u16string& text);
  std::u16string ClipboardText() const;

  std::u16string text_;
  std::u16string ownClipboard_;
};

}  // namespace sw
