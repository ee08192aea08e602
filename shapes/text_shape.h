// Text shapes: a string of wide characters in one font, size, style and colour, aligned inside the
// shape's rectangle. The layout into lines (spans) is measured once at 300 dots per inch and kept
// with the shape, so a stored design keeps its line breaks and widths on any machine; painting
// re-fits the font of every line to its stored box, so text looks the same at every resolution.
// Text is rendered as coverage into the shape's own cache and turned into an alpha mask of the
// font colour, so text shapes always paint through their cache.
//
// Fonts: a text shape measures and paints with its document's font system (TServices::Fonts);
// a shape without a document (or whose document has none) uses the one set with SetFontSystem.
// Without any, layout waits: the spans are left as they are and the shape is laid out as soon
// as it reaches a font system.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/fonts.h"
#include "platform/timer.h"
#include "shapes/effect_shape.h"
#include "shapes/line_edit.h"

namespace sw {

class TdtpTextBaseShape;

// Layouts are measured at this resolution whatever the output.
constexpr double kTextMeasureDpi = 300.0;

// One laid-out line of a text shape: characters CharPos .. CharPos + CharCount - 1 (1-based) of
// its Text and the line's measured size. Positions outside the text are tolerated: the piece they
// name is cut to the text (see TdtpTextBaseShape::SpanText).
class TdtpTextSpan {
public:
  explicit TdtpTextSpan(TdtpTextBaseShape* owner = nullptr) : owner_(owner) {}
  virtual ~TdtpTextSpan() = default;
  TdtpTextSpan(const TdtpTextSpan&) = delete;
  TdtpTextSpan& operator=(const TdtpTextSpan&) = delete;

  // Writes "CharPos", "CharCount", "Width" and "Height", leaving out zeros.
  virtual void SaveToXml(TXmlNode& node) const;
  // Reads the same elements (0 when missing); sizes that are not finite read as 0.
  virtual void LoadFromXml(const TXmlNode& node);

  TdtpTextBaseShape* Owner() const { return owner_; }

  int32_t CharCount = 0;
  int32_t CharPos = 0;
  // Placement inside the shape in millimetres; recomputed, never stored.
  float Top = 0;
  float Left = 0;
  // Measured size in millimetres.
  float Height = 0;
  float Width = 0;

private:
  TdtpTextBaseShape* owner_;
};

// Horizontal and vertical alignment values as stored.
enum TdtpTextAlignment : uint8_t { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };
enum TdtpVertAlignment : uint8_t { vaTop = 0, vaCenter = 1, vaBottom = 2 };

// The text, the font and the layout into spans. Not registered: it cannot measure on its own.
// The longest text a text shape holds (UTF-16 units): far more than a magnet or a card shows,
// and little enough that laying it out and printing it stays bounded.
constexpr size_t kMaxTextLength = 100000;
// Raises "A text of N characters is too long ..." beyond kMaxTextLength.
void CheckTextLength(size_t length);

class TdtpTextBaseShape : public TdtpEffectShape {
public:
  TdtpTextBaseShape();
  ~TdtpTextBaseShape() override;

  static const char* StaticClassName() { return "TdtpTextBaseShape"; }
  const char* ClassName() const override { return StaticClassName(); }

  // --- Virtual operations added by text shapes ---

  // Creates a span owned by this shape, appends it and returns it.
  virtual TdtpTextSpan* AddSpan();
  // Sets the measuring font for MeasureText; the base has none.
  virtual void PrepareFont() {}
  // Measures characters charPos .. charPos + count - 1 (1-based, cut to the text; an empty piece
  // is measured as "W") in millimetres at 300 dpi with the font PrepareFont set.
  virtual void MeasureText(int32_t charPos, int32_t count, float& width, float& height) = 0;
  // Lays the text out again and fits the box (when AutoSize), refreshes and announces.
  virtual void TextChanged();
  virtual std::string GetFontName() const { return fontName_; }
  // Undo key "FontName".
  virtual void SetFontName(const std::string& value);
  virtual float GetFontHeight() const { return fontHeight_; }
  // Millimetres, the font's cell height; undo key "FontHeight". Not finite: ignored; negative: 0.
  virtual void SetFontHeight(float value);
  virtual uint8_t GetFontStyle() const { return fontStyle_; }
  // TFontStyleBit bits; undo key "FontStyle" spelt "B", "I", "U", "S".
  virtual void SetFontStyle(uint8_t value);
  virtual TdtpColor GetFontColor() const { return fontColor_; }
  // Window-system colour (0x00BBGGRR or a system-colour reference); undo key "FontColor".
  virtual void SetFontColor(TdtpColor value);
  // Line breaks are CR, LF or CR LF; undo key "Text" (the old text as UTF-8). Shows the
  // placeholder (child 0) exactly while the text is empty.
  virtual void SetText(const std::u16string& value);
  // The caret positions of every character index, for editing in place; nothing without fonts or
  // document.
  virtual void BuildCharPositions();
  // Sets the measuring font for the caret positions at dpm pixels per millimetre; base: none.
  virtual void PrepareFontAt(double dpm) { (void)dpm; }
  // Fills the caret positions of one span at dpm; base: none.
  virtual void MeasureCharPositions(const TdtpTextSpan& span, double dpm) { (void)span, (void)dpm; }

  // --- Overrides of TdtpShape ---

  void SetSize(float width, float height) override;
  TFloatPoint PasteOffset() const override { return {0, fontHeight_}; }
  void LoadFromXml(const TXmlNode* node) override;
  void SaveToXml(TXmlNode& node) const override;
  // Recorded widths and heights are put back as they were, the lines placed (and re-wrapped) in
  // them, without scaling the font or fitting the box.
  void SetPropertyByName(const std::string& name, const std::string& value) override;
  // A newly attached shape whose layout waits for fonts is laid out.
  void SetDocument(TdtpDocument* document) override;
  // Inserts a placeholder group as child 0 (40 x 30 mm, anchors SizeXProp, SizeYProp, LeftLock,
  // TopLock, protected), visible while the text is empty, then fits the shape to its children.
  void AddPlaceHolder() override;

  // --- Editing in place ---
  // The document starts editing this shape (it is its EditShape): the text is remembered and,
  // when AllowEdit, a line editor with everything selected, the caret positions and the 400 ms
  // caret timer are made and the window takes the focus; without AllowEdit the document's editing
  // ends at once, not accepted.
  void BeginEdit() override;
  // Ends editing: a cancelled edit gives the text (and the box it had) back without any undo
  // record; an accepted one that changed the text is one undo step from the text before editing.
  // While the document still names this shape as edited, the document ends its editing first.
  void EndEdit(bool accepted) override;
  // Escape and the cancel key cancel; Tab, Enter, the execute key and F2 accept (the memo keeps
  // Enter for line breaks); every other key goes to the line editor.
  void EditKeyDown(uint16_t key, uint16_t shift) override;
  void EditKeyPress(char16_t ch) override;
  void EditKeyUp(uint16_t key, uint16_t shift) override;
  // Selects everything.
  void EditDblClick(int button, uint16_t shift, int32_t x, int32_t y) override;
  // A press outside the shape's rectangle ends editing, accepted; a left press inside puts the
  // caret at the nearest character (with Shift the selection follows it), and moves with the left
  // button held extend the selection until the release. The press of a double click changes nothing.
  void EditMouseDown(int button, uint16_t shift, int32_t x, int32_t y) override;
  void EditMouseMove(uint16_t shift, int32_t x, int32_t y) override;
  void EditMouseUp(int button, uint16_t shift, int32_t x, int32_t y) override;
  // While edited: the selection and the caret instead of the handles.
  void DrawHandles(TCanvas& canvas) override;

  // True from BeginEdit to EndEdit.
  bool IsEditing() const { return lineEdit_ != nullptr; }
  // The line editor and the caret timer while editing, else null.
  TdtpLineEdit* LineEdit() const { return lineEdit_.get(); }
  ITimer* CaretTimer() const { return caretTimer_.get(); }
  // The caret index nearest a window point: on the line under it (the first or last line beyond
  // them), the position closest in x. 0 without positions.
  int32_t CaretIndexAt(const TPoint& windowPoint) const;
  // The line editor's navigation: where a navigation key takes the caret from caret.
  int32_t NavigateCaret(int32_t caret, uint16_t key) const;
  // A caret position's place in the shape's frame (Mirrored measures x from the right edge,
  // Flipped y from the bottom).
  TFloatPoint TextToLocal(const TFloatPoint& p) const;
  // Case mode and maximum length the line editor gets at BeginEdit (TdtpLineEdit).
  uint8_t EditCaseMode = ecNormal;
  int32_t EditMaxLength = 0;

  // --- Spans ---

  int SpanCount() const { return static_cast<int>(spans_.size()); }
  // The span at index; null outside the range.
  TdtpTextSpan* Span(int index) const;
  // The characters a span names, cut to the text: a CharPos below 1 counts as 1, a count that
  // reaches beyond the text ends with it, a negative count is empty.
  std::u16string_view SpanText(const TdtpTextSpan& span) const;
  // (width, height) of the laid-out text in millimetres: multi-line: the widest line and the
  // number of lines x FontHeight; single line: the first line's size; (0, 0) without lines.
  TFloatPoint TextExtentMm() const;

  // --- Properties ---

  const std::u16string& Text() const { return text_; }
  // What the shape shows and prints in place of its stored text while that is not edited in place
  // (a merge row's values in the message's fields): fill gets the stored text and returns the one
  // to lay out. Not saved and not recorded for undo; an empty fill shows the stored text.
  using TShownText = std::function<std::u16string(const std::u16string& stored)>;
  void SetShownText(TShownText fill);
  // The text the lines are laid out from: the stored one, or the shown one while there is a fill.
  const std::u16string& LaidText() const { return laid_; }
  const std::string& FontName() const { return fontName_; }
  float FontHeight() const { return fontHeight_; }
  uint8_t FontStyle() const { return fontStyle_; }
  TdtpColor FontColor() const { return fontColor_; }
  // FontHeight in points (x 72 / 25.4).
  float FontSize() const;
  // Sets FontHeight from points (x 25.4 / 72).
  void SetFontSize(float points);
  bool Bold() const { return (fontStyle_ & fsBold) != 0; }
  void SetBold(bool value);
  bool Italic() const { return (fontStyle_ & fsItalic) != 0; }
  void SetItalic(bool value);
  bool AutoSize() const { return autoSize_; }
  // Undo key "AutoSize"; switching it on fits the box.
  void SetAutoSize(bool value);
  uint8_t Alignment() const { return alignment_; }
  // Undo key "Alignment"; 0 left, 1 right, 2 centre (other values place lines left).
  void SetAlignment(uint8_t value);
  uint8_t VertAlign() const { return vertAlign_; }
  // Undo key "VertAlign"; 0 top, 1 centre, 2 bottom (other values place lines at the top).
  void SetVertAlign(uint8_t value);
  bool WordWrap() const { return wordWrap_; }
  // Undo key "WordWrap"; only multi-line text wraps.
  void SetWordWrap(bool value);
  bool MultiLine() const { return multiLine_; }
  // Resizing a single-line auto-size text scales FontHeight instead of the box.
  bool ScaleFontOnResize = true;

  // The font system used for layout and painting: the document's when it has one, else the one
  // set here (null: none).
  TFontSystem* FontSystem() const;
  // The font system of a shape without document; setting one lays out a waiting layout.
  void SetFontSystem(TFontSystem* fonts);
  // True while the text awaits a layout that needed fonts it did not have.
  bool LayoutPending() const { return layoutPending_; }

  // --- State kept for editing in place ---

  int32_t SelStart = 0;
  int32_t SelLength = 0;
  int32_t CaretPos = 0;
  bool CaretPhase = false;
  std::u16string TextBeforeEdit;
  // One entry per caret index 0 .. length: (x, line top) in millimetres, and the span index
  // holding it (-1 inside line breaks).
  const std::vector<TFloatPoint>& CharPositions() const { return charPositions_; }
  const std::vector<int32_t>& CharLines() const { return charLines_; }

protected:
  // Algorithm of building lines: single line, split at line breaks, or wrapped to the width.
  void BuildLines();
  // Builds the lines, fits the box when AutoSize, and places the lines.
  void BuildAndFit();
  // Places every span inside the box by the alignments; the caret positions follow while editing.
  void PlaceLines();
  // For the word wrap: a first guess of how many characters from charPos (1-based) fit in
  // widthMm, at most maxCount; 0 means no guess. Only speeds the search up.
  virtual int32_t GuessFit(int32_t charPos, int32_t maxCount, float widthMm) {
    (void)charPos, (void)maxCount, (void)widthMm;
    return 0;
  }
  // Called after Text changed and before the layout; the memo refills its lines here.
  virtual void TextStored() {}
  // Clears the spans.
  void ClearSpans() { spans_.clear(); }
  // Replaces the text without undo or layout.
  void StoreText(const std::u16string& value) { text_ = value; }
  bool Editing() const { return IsEditing(); }
  // The text to lay out now: the stored one, or while there is a fill and no editing, the shown one
  // (cut to what a text holds).
  std::u16string TextToLay() const;
  // Lays the lines out again (or waits for fonts) and repaints; TextChanged adds the change event.
  void Relayout();
  // Relayout without an undo step, as the shown text changes or editing begins or ends.
  void LayShownText();
  // Whether a key ends editing, and accepted or not.
  virtual bool EndsEditOn(uint16_t key, bool& accepted) const;

  std::vector<std::unique_ptr<TdtpTextSpan>> spans_;
  bool autoSize_ = true;
  bool autoSizing_ = false;
  std::string fontName_ = "Arial";
  float fontHeight_ = 12.0f;
  uint8_t fontStyle_ = 0;
  TdtpColor fontColor_ = 0;
  std::u16string text_;
  // The text the spans index: text_, or what shownFill_ made of it (see SetShownText).
  std::u16string laid_;
  TShownText shownFill_;
  uint8_t alignment_ = taLeftJustify;
  uint8_t vertAlign_ = vaTop;
  bool multiLine_ = false;
  bool wordWrap_ = false;
  std::vector<TFloatPoint> charPositions_;
  std::vector<int32_t> charLines_;

private:
  // The line editor's change: the text, caret and selection follow it.
  void EditorChanged(TdtpLineEdit& editor);
  // Gives back the text before editing and the box it had, recording nothing.
  void RestoreBeforeEdit();
  // The editing's end itself: editor and timer freed, the text kept or given back.
  void FinishEdit(bool accepted);
  // The window rectangle the caret covers (empty when it is not drawn), and its repaint: the caret
  // after a final line break lies below the box.
  TRect CaretScreenRect() const;
  void InvalidateCaret();
  void DrawEditOverlay(TCanvas& canvas) const;

  TFontSystem* fonts_ = nullptr;
  bool layoutPending_ = false;
  // Shared so that an editor ended from inside its own change handler finishes its call first.
  std::shared_ptr<TdtpLineEdit> lineEdit_;
  std::unique_ptr<ITimer> caretTimer_;
  // The box (left, top, width, height) when editing began, restored with the text.
  std::array<float, 4> boxBeforeEdit_{0, 0, 0, 0};
  bool mouseSelecting_ = false;
  // Set while EndEdit lets the document end its editing, which calls EndEdit again.
  bool endingThroughDocument_ = false;
  // Set while the editor's text is being stored, so the store is not echoed back to it.
  bool storingEdit_ = false;
  // Set while an undo command restores the recorded width or height.
  bool restoringBox_ = false;
};

// The single-line kind (and base of the memo): measures with the platform's text extent and
// paints every span with its font fitted to the span's stored box.
class TdtpTextShape : public TdtpTextBaseShape {
public:
  TdtpTextShape();

  static const char* StaticClassName() { return "TdtpTextShape"; }
  const char* ClassName() const override { return StaticClassName(); }

  void PrepareFont() override;
  void MeasureText(int32_t charPos, int32_t count, float& width, float& height) override;
  void PrepareFontAt(double dpm) override;
  void MeasureCharPositions(const TdtpTextSpan& span, double dpm) override;
  // Clears bitmap, draws every span white at its fitted height into the rectangle the paint
  // matrix gives it, then turns the brightness into alpha of FontColor. The resolution is the
  // paint matrix's scale (info.Dpm when the matrix is degenerate). Nothing is drawn without fonts
  // or for a resolution that is not finite and positive.
  void PaintBitmap(TBitmap32& bitmap, const TdtpPaintInfo& info) override;

  // The pixel height at which text fits a box of boxWidth x boxHeight pixels, starting from
  // startHeight: the largest height not exceeding the box when startHeight does, else the largest
  // one below the first height that reaches it (width or height, within 1/1000 pixel). Heights
  // stay within 1 .. TFont::kMaxFontPixels. Needs a font system.
  int32_t FitFontHeight(std::u16string_view text, int32_t startHeight, double boxWidth, double boxHeight);

protected:
  int32_t GuessFit(int32_t charPos, int32_t maxCount, float widthMm) override;

private:
  // The measuring font: FontName, FontStyle and the cell height at pixel height.
  TFont FontAt(int32_t pixelHeight, TColor32 color) const;
  TSize Extent(const TFont& font, std::u16string_view text);

  TFont measureFont_;
  // Advances (pixels at 300 dpi) of single characters of measureFont_, for the wrap guess.
  std::unordered_map<char16_t, double> advanceCache_;
  double CachedAdvance(char16_t c);
  TFont caretFont_;
};

}  // namespace sw
