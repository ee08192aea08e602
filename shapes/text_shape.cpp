#include "shapes/text_shape.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "base/exception.h"
#include "base/numeric.h"
#include "base/strings.h"
#include "engine/document.h"
#include "engine/undo_log.h"
#include "platform/canvas.h"
#include "platform/text.h"
#include "storage/xml/native_xml.h"

namespace sw {

namespace {

constexpr double kMeasureDpm = DpmOfDpi(kTextMeasureDpi);
// Fitted extents are compared with the stored span boxes within this many pixels, so that a box
// measured from the very same extent counts as reached and not as exceeded.
constexpr double kFitTolerance = 0.001;

bool IsLineBreak(char16_t c) { return c == u'\r' || c == u'\n'; }
bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c < 0xDC00; }

// Texts beyond the int32 range of character positions are laid out up to that range.
int32_t TextLength(const std::u16string& text) {
  return static_cast<int32_t>(std::min<size_t>(text.size(), static_cast<size_t>(INT32_MAX - 1)));
}

// The smallest x in [lo, hi] for which pred holds, for a predicate that is false below some point
// and true from it on; hi + 1 when it holds nowhere. The guess (clamped into the range) is probed
// first and the search gallops away from it, then bisects: few probes when the guess is close,
// O(log range) when it is not.
template <typename Pred>
int32_t FirstTrue(int32_t lo, int32_t hi, int32_t guess, Pred pred) {
  if (lo > hi) return hi + 1;
  guess = std::clamp(guess, lo, hi);
  int64_t falseAt = int64_t(lo) - 1;  // largest probe known false
  int64_t trueAt = int64_t(hi) + 1;   // smallest probe known true
  int64_t step = 1;
  if (pred(guess)) {
    trueAt = guess;
    for (int64_t probe = trueAt - step; probe >= lo; probe = trueAt - step) {
      if (!pred(static_cast<int32_t>(probe))) {
        falseAt = probe;
        break;
      }
      trueAt = probe;
      step *= 2;
    }
  } else {
    falseAt = guess;
    for (int64_t probe = falseAt + step; probe <= hi; probe = falseAt + step) {
      if (pred(static_cast<int32_t>(probe))) {
        trueAt = probe;
        break;
      }
      falseAt = probe;
      step *= 2;
    }
  }
  while (trueAt - falseAt > 1) {
    const int64_t mid = falseAt + (trueAt - falseAt) / 2;
    if (pred(static_cast<int32_t>(mid))) {
      trueAt = mid;
    } else {
      falseAt = mid;
    }
  }
  return static_cast<int32_t>(trueAt);
}

// A guess for FirstTrue from a real-valued estimate, kept inside the int32 range.
int32_t GuessFrom(double estimate, int32_t fallback) {
  if (!std::isfinite(estimate)) return fallback;
  return static_cast<int32_t>(std::clamp(estimate, -1e9, 1e9));
}

bool ParseBoolValue(const std::string& text) {
  return !text.empty() && (text[0] == 'T' || text[0] == 't' || text[0] == 'Y' || text[0] == 'y');
}

uint8_t ParseStyleLetters(const std::string& text) {
  uint8_t style = 0;
  for (const char c : text) {
    switch (c) {
      case 'B': case 'b': style |= fsBold; break;
      case 'I': case 'i': style |= fsItalic; break;
      case 'U': case 'u': style |= fsUnderline; break;
      case 'S': case 's': style |= fsStrikeOut; break;
      default: break;
    }
  }
  return style;
}

uint8_t ByteOf(int64_t value) { return static_cast<uint8_t>(std::clamp<int64_t>(value, 0, 255)); }

// Font heights are never negative; a value that is not finite is none.
float SaneFontHeight(double value) { return std::max(0.0f, FiniteOr(value, 0)); }

// Sizes read from files or computed: finite and not negative, else 0.
float SaneSize(float value) { return std::isfinite(value) && value > 0 ? value : 0.0f; }


// The caret blinks at this interval in milliseconds.
constexpr uint32_t kCaretInterval = 400;
// Keys of the platform that end editing besides Escape, Tab, Enter and F2.
constexpr uint16_t kVkCancel = 0x03, kVkExecute = 0x2B;
// The selection's cross-hatch (grey, lines 8 pixels apart) and the caret (2 pixels, navy 0x800000
// in window-system colour order).
constexpr int32_t kHatchSpacing = 8;
constexpr TColor32 kSelectionGrey = 0xFF808080u;
constexpr int32_t kCaretSystemColor = 0x800000;
constexpr int32_t kCaretWidth = 2;

double Cross(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

// The part of the line p0 + t * d (t in [t0, t1]) inside a convex polygon, as the range of t;
// false when nothing is inside. Degenerate polygons hold nothing.
bool ClipToConvex(const TFloatPoint* poly, int count, double px, double py, double dx, double dy, double& t0,
                  double& t1) {
  double area = 0;
  for (int i = 0; i < count; ++i) {
    const TFloatPoint& a = poly[i];
    const TFloatPoint& b = poly[(i + 1) % count];
    area += Cross(a.X, a.Y, b.X, b.Y);
  }
  if (!std::isfinite(area) || area == 0) return false;
  const double sign = area > 0 ? 1 : -1;
  for (int i = 0; i < count; ++i) {
    const TFloatPoint& a = poly[i];
    const TFloatPoint& b = poly[(i + 1) % count];
    const double ex = double(b.X) - a.X, ey = double(b.Y) - a.Y;
    const double num = sign * Cross(ex, ey, px - a.X, py - a.Y);
    const double den = sign * Cross(ex, ey, dx, dy);
    if (den == 0) {
      if (num < 0) return false;
    } else if (den > 0) {
      t0 = std::max(t0, -num / den);
    } else {
      t1 = std::min(t1, -num / den);
    }
  }
  return t0 <= t1;
}

// A window line from a to b, cut to the canvas's clip first: pen lines far outside the window
// cost nothing.
void ClippedLine(TCanvas& canvas, const TFloatPoint& a, const TFloatPoint& b) {
  const TRect clip = canvas.ClipRect();
  if (clip.IsEmpty()) return;
  // A little beyond the clip, so that the wide pen's squares at the edge are drawn whole.
  const TFloatRect r = FloatRect(clip);
  const TFloatPoint box[4] = {
      {r.Left - 4, r.Top - 4}, {r.Right + 4, r.Top - 4}, {r.Right + 4, r.Bottom + 4}, {r.Left - 4, r.Bottom + 4}};
  double t0 = 0, t1 = 1;
  if (!ClipToConvex(box, 4, a.X, a.Y, double(b.X) - a.X, double(b.Y) - a.Y, t0, t1)) return;
  const double dx = double(b.X) - a.X, dy = double(b.Y) - a.Y;
  canvas.MoveTo(Round(a.X + t0 * dx), Round(a.Y + t0 * dy));
  canvas.LineTo(Round(a.X + t1 * dx), Round(a.Y + t1 * dy));
}

// Fills a convex window quadrilateral with a diagonal cross-hatch of one-pixel lines (both
// diagonals, kHatchSpacing apart, fixed to the window so the pattern does not crawl), no outline.
void HatchQuad(TCanvas& canvas, const TFloatPoint (&quad)[4], TColor32 color) {
  const TRect clip = canvas.ClipRect();
  float minX = quad[0].X, maxX = quad[0].X, minY = quad[0].Y, maxY = quad[0].Y;
  for (const TFloatPoint& p : quad) {
    if (!std::isfinite(p.X) || !std::isfinite(p.Y)) return;
    minX = std::min(minX, p.X), maxX = std::max(maxX, p.X);
    minY = std::min(minY, p.Y), maxY = std::max(maxY, p.Y);
  }
  // Only the part inside the clip is hatched.
  const double left = std::max<double>(minX, clip.Left - 1), right = std::min<double>(maxX, clip.Right + 1);
  const double top = std::max<double>(minY, clip.Top - 1), bottom = std::min<double>(maxY, clip.Bottom + 1);
  if (left > right || top > bottom) return;
  TPen pen;
  pen.Color = color;
  canvas.SetPen(pen);
  for (const int direction : {1, -1}) {
    // Lines x - direction * y = c, parametrised by y.
    const double cMin = direction > 0 ? left - bottom : left + top;
    const double cMax = direction > 0 ? right - top : right + bottom;
    const auto first = static_cast<int64_t>(std::ceil(cMin / kHatchSpacing));
    const auto last = static_cast<int64_t>(std::floor(cMax / kHatchSpacing));
    for (int64_t k = first; k <= last; ++k) {
      const double c = static_cast<double>(k * kHatchSpacing);
      double t0 = top, t1 = bottom;
      if (!ClipToConvex(quad, 4, c, 0, direction, 1, t0, t1)) continue;
      // LineTo leaves out its end pixel, so the line is drawn one pixel further.
      canvas.MoveTo(Round(c + direction * t0), Round(t0));
      canvas.LineTo(Round(c + direction * (t1 + 1)), Round(t1 + 1));
    }
  }
}

}  // namespace

// --- TdtpTextSpan ---

void TdtpTextSpan::SaveToXml(TXmlNode& node) const {
  node.WriteInteger("CharPos", CharPos, 0);
  node.WriteInteger("CharCount", CharCount, 0);
  node.WriteFloat("Width", Width, 0);
  node.WriteFloat("Height", Height, 0);
}

void TdtpTextSpan::LoadFromXml(const TXmlNode& node) {
  CharPos = node.ReadInteger("CharPos", 0);
  CharCount = node.ReadInteger("CharCount", 0);
  Width = FiniteOr(node.ReadFloat("Width", 0), 0);
  Height = FiniteOr(node.ReadFloat("Height", 0), 0);
}

// --- TdtpTextBaseShape ---

// The insert cursor is the text cross registered from "CRDTPCROSSTEXT" (-37).
TdtpTextBaseShape::TdtpTextBaseShape() { InsertCursor = -37; }

TdtpTextBaseShape::~TdtpTextBaseShape() {
  // A shape freed without leaving its document first (the document's own end) is no longer edited.
  caretTimer_.reset();
  if (document_ && document_->EditShape() == this) document_->SetEditShape(nullptr);
}

TdtpTextSpan* TdtpTextBaseShape::AddSpan() {
  spans_.push_back(std::make_unique<TdtpTextSpan>(this));
  return spans_.back().get();
}

TdtpTextSpan* TdtpTextBaseShape::Span(int index) const {
  return index >= 0 && index < SpanCount() ? spans_[static_cast<size_t>(index)].get() : nullptr;
}

std::u16string_view TdtpTextBaseShape::SpanText(const TdtpTextSpan& span) const {
  const std::u16string_view text(laid_);
  const int64_t start = std::clamp<int64_t>(int64_t(span.CharPos) - 1, 0, static_cast<int64_t>(text.size()));
  const int64_t count = std::clamp<int64_t>(span.CharCount, 0, static_cast<int64_t>(text.size()) - start);
  return text.substr(static_cast<size_t>(start), static_cast<size_t>(count));
}

TFloatPoint TdtpTextBaseShape::TextExtentMm() const {
  if (spans_.empty()) return {0, 0};
  if (!multiLine_) return {spans_[0]->Width, spans_[0]->Height};
  float width = 0;
  for (const auto& span : spans_) width = std::max(width, span->Width);
  return {width, static_cast<float>(static_cast<double>(spans_.size()) * fontHeight_)};
}

TFontSystem* TdtpTextBaseShape::FontSystem() const {
  if (document_ && document_->Services().Fonts) return document_->Services().Fonts;
  return fonts_;
}

void TdtpTextBaseShape::SetFontSystem(TFontSystem* fonts) {
  fonts_ = fonts;
  if (layoutPending_ && FontSystem()) TextChanged();
}

void TdtpTextBaseShape::SetDocument(TdtpDocument* document) {
  TdtpEffectShape::SetDocument(document);
  if (!layoutPending_ || !FontSystem()) return;
  // A layout that waited for fonts is no edit of the user's: it records no undo.
  const TUndoOff undoOff(document_);
  TextChanged();
}

// --- Layout ---

void TdtpTextBaseShape::BuildLines() {
  spans_.clear();
  laid_ = TextToLay();
  PrepareFont();
  const int32_t length = TextLength(laid_);
  auto addSpan = [this](int32_t start, int32_t count) {
    TdtpTextSpan* span = AddSpan();
    span->CharPos = start + 1;
    span->CharCount = count;
  };

  // One line [start, start + count) of the text broken to the shape's width. Each span holds at
  // least one character and the next line starts after it, so the loop always ends.
  auto wrapLine = [&](int32_t start, int32_t count) {
    if (count == 0) {
      addSpan(start, 0);
      return;
    }
    const int32_t end = start + count;
    const float maxWidth = docWidth_;
    int32_t p = start;
    while (p < end) {
      const int32_t rest = end - p;
      int32_t take = rest;
      if (rest > 1) {
        auto tooWide = [&](int32_t n) {
          float w = 0, h = 0;
          MeasureText(p + 1, n, w, h);
          return !(w < maxWidth);
        };
        // Prefix widths grow with the prefix, so the widest prefix that fits bounds every
        // candidate the breaking rule would try: the whole rest, then each break before it.
        const int32_t guess = GuessFit(p + 1, rest, maxWidth);
        const int32_t fitting = FirstTrue(1, rest, guess + 1, tooWide) - 1;
        if (fitting < rest) {
          int32_t breakAt = 0;
          for (int32_t k = fitting; k > 0; --k) {
            const char16_t c = laid_[static_cast<size_t>(p + k)];
            if (c == u' ' || c == u'-') {
              breakAt = k;
              break;
            }
          }
          if (breakAt > 0) {
            take = breakAt;
          } else {
            take = std::max(1, fitting);
            // A word is broken between characters, never inside a surrogate pair.
            if (IsHighSurrogate(laid_[static_cast<size_t>(p + take - 1)])) take += take > 1 ? -1 : 1;
          }
        }
        // Only spaces are dropped at a break; a line keeps at least one character.
        while (take > 1 && laid_[static_cast<size_t>(p + take - 1)] == u' ') --take;
      }
      addSpan(p, take);
      p += take;
      while (p < end && (laid_[static_cast<size_t>(p)] == u' ' || IsLineBreak(laid_[static_cast<size_t>(p)]))) {
        ++p;
      }
    }
  };

  if (!multiLine_) {
    addSpan(0, length);
  } else {
    int32_t start = 0;
    for (int32_t i = 0; i < length; ++i) {
      const char16_t c = laid_[static_cast<size_t>(i)];
      if (!IsLineBreak(c)) continue;
      if (wordWrap_) {
        wrapLine(start, i - start);
      } else {
        addSpan(start, i - start);
      }
      if (c == u'\r' && i + 1 < length && laid_[static_cast<size_t>(i + 1)] == u'\n') ++i;
      start = i + 1;
    }
    if (start < length) {
      if (wordWrap_) {
        wrapLine(start, length - start);
      } else {
        addSpan(start, length - start);
      }
    }
  }
  for (const auto& span : spans_) MeasureText(span->CharPos, span->CharCount, span->Width, span->Height);
}

void TdtpTextBaseShape::BuildAndFit() {
  BuildLines();
  if (autoSize_) {
    autoSizing_ = true;
    BeginUpdate();
    try {
      const TFloatPoint extent = TextExtentMm();
      const float w = multiLine_ && wordWrap_ ? docWidth_ : extent.X;
      const float h = extent.Y;
      float left = docLeft_, top = docTop_;
      if (alignment_ == taRightJustify) {
        left = docLeft_ + docWidth_ - w;
      } else if (alignment_ == taCenter) {
        left = docLeft_ + (docWidth_ - w) / 2;
      }
      if (vertAlign_ == vaCenter) {
        top = docTop_ + (docHeight_ - h) / 2;
      } else if (vertAlign_ == vaBottom) {
        top = docTop_ + docHeight_ - h;
      }
      SetBounds(left, top, w, h);
    } catch (...) {
      autoSizing_ = false;
      EndUpdate();
      throw;
    }
    autoSizing_ = false;
    EndUpdate();
  }
  PlaceLines();
}

void TdtpTextBaseShape::PlaceLines() {
  const float h = TextExtentMm().Y;
  float top = 0;
  if (vertAlign_ == vaCenter) {
    top = (docHeight_ - h) / 2;
  } else if (vertAlign_ == vaBottom) {
    top = docHeight_ - h;
  }
  for (size_t i = 0; i < spans_.size(); ++i) {
    TdtpTextSpan& span = *spans_[i];
    span.Left = 0;
    if (alignment_ == taRightJustify) {
      span.Left = docWidth_ - span.Width;
    } else if (alignment_ == taCenter) {
      span.Left = (docWidth_ - span.Width) / 2;
    }
    span.Top = static_cast<float>(top + static_cast<double>(i) * fontHeight_);
  }
  if (Editing()) BuildCharPositions();
}

void TdtpTextBaseShape::Relayout() {
  InvalidateArea();
  if (FontSystem()) {
    layoutPending_ = false;
    BuildAndFit();
  } else {
    layoutPending_ = true;
  }
  Refresh();
}

void TdtpTextBaseShape::TextChanged() {
  Relayout();
  Changed();
}

void TdtpTextBaseShape::BuildCharPositions() {
  const size_t positions = laid_.size() + 1;
  charPositions_.assign(positions, TFloatPoint{0, 0});
  charLines_.assign(positions, -1);
  if (!FontSystem() || !document_) return;
  const double dpm = document_->ScreenDpm();
  if (!std::isfinite(dpm) || dpm <= 0) return;
  PrepareFontAt(dpm);
  for (const auto& span : spans_) MeasureCharPositions(*span, dpm);

  // Indexes inside line breaks belong to no line; the caret standing there is drawn at the end of
  // the line before, and after a final line break at the start of the empty line below the text.
  auto emptyLineLeft = [this] {
    return alignment_ == taRightJustify ? docWidth_ : alignment_ == taCenter ? docWidth_ / 2 : 0.0f;
  };
  float firstTop = 0;
  if (vertAlign_ == vaCenter) {
    firstTop = (docHeight_ - TextExtentMm().Y) / 2;
  } else if (vertAlign_ == vaBottom) {
    firstTop = docHeight_ - TextExtentMm().Y;
  }
  int64_t lastCovered = -1;
  for (size_t i = 0; i < positions; ++i) {
    if (charLines_[i] >= 0) {
      lastCovered = static_cast<int64_t>(i);
    } else if (i + 1 == positions && i > 0 && IsLineBreak(laid_[i - 1])) {
      const float top = spans_.empty() ? firstTop : spans_.back()->Top + fontHeight_;
      charPositions_[i] = TFloatPoint{emptyLineLeft(), top};
    } else if (lastCovered >= 0) {
      charPositions_[i] = charPositions_[static_cast<size_t>(lastCovered)];
    } else {
      charPositions_[i] = TFloatPoint{emptyLineLeft(), firstTop};
    }
  }
}

// --- Editing in place ---

TFloatPoint TdtpTextBaseShape::TextToLocal(const TFloatPoint& p) const {
  return {mirrored_ ? docWidth_ - p.X : p.X, flipped_ ? docHeight_ - p.Y : p.Y};
}

bool TdtpTextBaseShape::EndsEditOn(uint16_t key, bool& accepted) const {
  switch (key) {
    case vk::Escape:
    case kVkCancel:
      accepted = false;
      return true;
    case vk::Tab:
    case vk::Return:
    case kVkExecute:
    case vk::F2:
      accepted = true;
      return true;
    default:
      return false;
  }
}

void TdtpTextBaseShape::BeginEdit() {
  TextBeforeEdit = text_;
  if (!AllowEdit) {
    if (document_ && document_->EditShape() == this) document_->EndEditing(false);
    return;
  }
  if (lineEdit_) return;
  boxBeforeEdit_ = {docLeft_, docTop_, docWidth_, docHeight_};
  auto editor = std::make_shared<TdtpLineEdit>();
  editor->CaseMode = EditCaseMode;
  editor->MaxLength = EditMaxLength;
  editor->Clipboard = document_ ? document_->Services().Clipboard : nullptr;
  lineEdit_ = editor;
  CaretPhase = false;
  mouseSelecting_ = false;
  // The stored text is what is edited, so it is what shows while editing.
  if (laid_ != text_) LayShownText();
  BuildCharPositions();
  if (document_ && document_->Services().Timers) {
    caretTimer_ = document_->Services().Timers->CreateTimer();
    caretTimer_->OnTimer = [this] {
      CaretPhase = !CaretPhase;
      InvalidateCaret();
      Invalidate();
    };
    caretTimer_->Start(kCaretInterval);
  }
  editor->OnNavigate = [this](int32_t caret, uint16_t key) { return NavigateCaret(caret, key); };
  editor->OnChange = [this](TdtpLineEdit& sender) { EditorChanged(sender); };
  editor->SetText(text_);
  editor->SelectAll();
  if (document_ && document_->WindowHost()) document_->WindowHost()->SetFocus();
}

void TdtpTextBaseShape::EndEdit(bool accepted) {
  // The document's editing state ends with the shape's: while the document still names this shape
  // it is ended there, and the document calls back here.
  if (!endingThroughDocument_ && document_ && document_->EditShape() == this) {
    endingThroughDocument_ = true;
    try {
      document_->EndEditing(accepted);
    } catch (...) {
      endingThroughDocument_ = false;
      throw;
    }
    endingThroughDocument_ = false;
  }
  FinishEdit(accepted);
}

void TdtpTextBaseShape::FinishEdit(bool accepted) {
  if (!lineEdit_) return;
  InvalidateCaret();
  // The editor may be inside its own change handler now; it lives on until that call returns.
  const std::shared_ptr<TdtpLineEdit> editor = std::move(lineEdit_);
  lineEdit_.reset();
  editor->OnChange = nullptr;
  editor->OnNavigate = nullptr;
  caretTimer_.reset();
  mouseSelecting_ = false;
  const std::u16string edited = text_;
  if (edited != TextBeforeEdit) {
    RestoreBeforeEdit();
    // Set once from the text before editing: the text and the box it gives are one undo step.
    if (accepted) SetText(edited);
  }
  SelStart = 0;
  SelLength = 0;
  CaretPos = 0;
  CaretPhase = false;
  charPositions_.clear();
  charLines_.clear();
  TextBeforeEdit.clear();
  if (shownFill_) LayShownText();
  Invalidate();
}

void TdtpTextBaseShape::RestoreBeforeEdit() {
  const TUndoOff undoOff(document_);
  SetText(TextBeforeEdit);
  const auto& box = boxBeforeEdit_;
  if (!autoSize_ || (docLeft_ == box[0] && docTop_ == box[1] && docWidth_ == box[2] && docHeight_ == box[3])) {
    return;
  }
  // The box is put back as the layout made it, not as a resize of the text.
  autoSizing_ = true;
  try {
    SetBounds(box[0], box[1], box[2], box[3]);
  } catch (...) {
    autoSizing_ = false;
    throw;
  }
  autoSizing_ = false;
  PlaceLines();
  Refresh();
}

void TdtpTextBaseShape::EditorChanged(TdtpLineEdit& editor) {
  InvalidateCaret();
  const bool textChanged = editor.Text() != text_;
  if (textChanged) {
    const TUndoOff undoOff(document_);
    storingEdit_ = true;
    try {
      SetText(editor.Text());
    } catch (...) {
      storingEdit_ = false;
      throw;
    }
    storingEdit_ = false;
  }
  // The text change may have ended the editing.
  if (lineEdit_.get() != &editor) return;
  SelStart = editor.SelStart;
  SelLength = editor.SelLength;
  CaretPos = editor.Caret;
  // A new text that was laid out had its positions built with it.
  if (!textChanged || charPositions_.size() != text_.size() + 1) BuildCharPositions();
  // The caret shows at once after every change.
  CaretPhase = false;
  InvalidateCaret();
  Invalidate();
}

void TdtpTextBaseShape::EditKeyDown(uint16_t key, uint16_t shift) {
  if (!lineEdit_) return;
  bool accepted = false;
  if (EndsEditOn(key, accepted)) {
    EndEdit(accepted);
    return;
  }
  const std::shared_ptr<TdtpLineEdit> editor = lineEdit_;
  editor->KeyDown(key, shift);
}

void TdtpTextBaseShape::EditKeyPress(char16_t ch) {
  if (!lineEdit_) return;
  const std::shared_ptr<TdtpLineEdit> editor = lineEdit_;
  editor->KeyPress(ch);
}

void TdtpTextBaseShape::EditKeyUp(uint16_t key, uint16_t shift) {
  if (!lineEdit_) return;
  const std::shared_ptr<TdtpLineEdit> editor = lineEdit_;
  editor->KeyUp(key, shift);
}

void TdtpTextBaseShape::EditDblClick(int button, uint16_t shift, int32_t x, int32_t y) {
  (void)button, (void)shift, (void)x, (void)y;
  if (!lineEdit_) return;
  mouseSelecting_ = false;
  const std::shared_ptr<TdtpLineEdit> editor = lineEdit_;
  editor->SelectAll();
}

void TdtpTextBaseShape::EditMouseDown(int button, uint16_t shift, int32_t x, int32_t y) {
  if (!lineEdit_) return;
  // The whole rectangle counts, not only the inked pixels: a press between two letters places the
  // caret there instead of ending the editing.
  const TPoint p{x, y};
  if (!RegionContains(ScreenRegion(), x, y) && !HitTest(p)) {
    EndEdit(true);
    return;
  }
  // The press that comes with a double click belongs to it (EditDblClick selected everything).
  if (button != static_cast<int>(TMouseButton::mbLeft) || (shift & ssDouble) != 0) return;
  mouseSelecting_ = true;
  const std::shared_ptr<TdtpLineEdit> editor = lineEdit_;
  editor->MoveCaret(CaretIndexAt(p), (shift & ssShift) != 0);
}

void TdtpTextBaseShape::EditMouseMove(uint16_t shift, int32_t x, int32_t y) {
  (void)shift;
  if (!lineEdit_ || !mouseSelecting_) return;
  const std::shared_ptr<TdtpLineEdit> editor = lineEdit_;
  const int32_t index = CaretIndexAt(TPoint{x, y});
  if (index != editor->Caret) editor->MoveCaret(index, true);
}

void TdtpTextBaseShape::EditMouseUp(int button, uint16_t shift, int32_t x, int32_t y) {
  (void)shift, (void)x, (void)y;
  if (button == static_cast<int>(TMouseButton::mbLeft)) mouseSelecting_ = false;
}

int32_t TdtpTextBaseShape::CaretIndexAt(const TPoint& windowPoint) const {
  if (charPositions_.empty() || spans_.empty()) return 0;
  const TFloatPoint local =
      TextToLocal(ScreenToLocal(TFloatPoint{static_cast<float>(windowPoint.X), static_cast<float>(windowPoint.Y)}));
  // The line whose band holds the point; above the first the first, below the last the last.
  int32_t line = SpanCount() - 1;
  for (int32_t i = 0; i < SpanCount(); ++i) {
    if (local.Y < spans_[static_cast<size_t>(i)]->Top + fontHeight_) {
      line = i;
      break;
    }
  }
  int32_t best = -1;
  double bestDistance = 0;
  for (size_t i = 0; i < charLines_.size(); ++i) {
    if (charLines_[i] != line) continue;
    const double distance = std::abs(double(charPositions_[i].X) - local.X);
    if (best < 0 || distance < bestDistance) {
      best = static_cast<int32_t>(i);
      bestDistance = distance;
    }
  }
  return std::max(best, 0);
}

int32_t TdtpTextBaseShape::NavigateCaret(int32_t caret, uint16_t key) const {
  const int32_t length = TextLength(text_);
  const auto count = static_cast<int32_t>(charLines_.size());
  if (count == 0) {
    // No positions (no fonts or no document): plain steps through the text.
    switch (key) {
      case vk::End: return length;
      case vk::Home: return 0;
      case vk::Left: case vk::Up: return std::max(0, caret - 1);
      case vk::Right: case vk::Down: return std::min(length, caret + 1);
      default: return caret;
    }
  }
  const int32_t i = std::clamp(caret, 0, count - 1);
  auto lineAt = [this](int32_t index) { return charLines_[static_cast<size_t>(index)]; };
  // The line the caret shows on: an index inside a line break goes with the line before it, the
  // end after a final line break with the empty line below the text.
  auto visualLine = [&](int32_t index) {
    if (lineAt(index) >= 0) return lineAt(index);
    if (index == count - 1 && index > 0 && IsLineBreak(text_[static_cast<size_t>(index - 1)])) return SpanCount();
    for (int32_t j = index - 1; j >= 0; --j) {
      if (lineAt(j) >= 0) return lineAt(j);
    }
    return 0;
  };
  const int32_t line = lineAt(i);
  switch (key) {
    case vk::End:
    case vk::Home: {
      const TdtpTextSpan* span = line >= 0 ? Span(line) : nullptr;
      if (!span) return i;
      const int64_t start = int64_t(span->CharPos) - 1;
      return static_cast<int32_t>(std::clamp<int64_t>(key == vk::Home ? start : start + span->CharCount, 0, length));
    }
    case vk::Left:
      for (int32_t j = i - 1; j >= 0; --j) {
        if (lineAt(j) >= 0) return j;
      }
      return 0;
    case vk::Right:
      for (int32_t j = i + 1; j < count; ++j) {
        if (lineAt(j) >= 0) return j;
      }
      return length;
    case vk::Up:
    case vk::Down: {
      const int32_t target = visualLine(i) + (key == vk::Up ? -1 : 1);
      if (target < 0 || target >= SpanCount()) return i;
      const float x = charPositions_[static_cast<size_t>(i)].X;
      int32_t best = -1;
      double bestDistance = 0;
      for (int32_t j = 0; j < count; ++j) {
        if (lineAt(j) != target) continue;
        const double distance = std::abs(double(charPositions_[static_cast<size_t>(j)].X) - x);
        if (best < 0 || distance < bestDistance) {
          best = j;
          bestDistance = distance;
        }
      }
      return best < 0 ? i : best;
    }
    default:
      return i;
  }
}

TRect TdtpTextBaseShape::CaretScreenRect() const {
  if (!document_ || CaretPos < 0 || static_cast<size_t>(CaretPos) >= charPositions_.size()) return {};
  const TFloatPoint p = charPositions_[static_cast<size_t>(CaretPos)];
  const TFloatPoint a = LocalToScreen(TextToLocal(p));
  const TFloatPoint b = LocalToScreen(TextToLocal(TFloatPoint{p.X, p.Y + fontHeight_}));
  if (!std::isfinite(a.X) || !std::isfinite(a.Y) || !std::isfinite(b.X) || !std::isfinite(b.Y)) return {};
  const int32_t pad = kCaretWidth + 1;
  return TRect{Round(std::min(a.X, b.X)) - pad, Round(std::min(a.Y, b.Y)) - pad, Round(std::max(a.X, b.X)) + pad,
               Round(std::max(a.Y, b.Y)) + pad};
}

void TdtpTextBaseShape::InvalidateCaret() {
  if (!document_ || !document_->WindowHost()) return;
  const TRect rect = CaretScreenRect();
  if (!rect.IsEmpty()) document_->WindowHost()->Invalidate(rect);
}

void TdtpTextBaseShape::DrawHandles(TCanvas& canvas) {
  if (!lineEdit_) {
    TdtpEffectShape::DrawHandles(canvas);
    return;
  }
  DrawEditOverlay(canvas);
}

void TdtpTextBaseShape::DrawEditOverlay(TCanvas& canvas) const {
  if (!document_) return;
  const size_t positions = charPositions_.size();
  const int64_t length = static_cast<int64_t>(text_.size());
  auto screen = [this](float x, float y) { return LocalToScreen(TextToLocal(TFloatPoint{x, y})); };
  if (positions == text_.size() + 1 && SelStart >= 0 && SelStart < length && SelLength > 0 &&
      int64_t(SelStart) + SelLength <= length) {
    // Runs of selected characters on one line; line breaks belong to none.
    const auto end = static_cast<size_t>(SelStart + SelLength);
    size_t k = static_cast<size_t>(SelStart);
    while (k < end) {
      const int32_t line = charLines_[k];
      if (line < 0 || charLines_[k + 1] != line) {
        ++k;
        continue;
      }
      const size_t first = k;
      while (k < end && charLines_[k] == line && charLines_[k + 1] == line) ++k;
      const float x0 = charPositions_[first].X, x1 = charPositions_[k].X, top = charPositions_[first].Y;
      const TFloatPoint quad[4] = {screen(x0, top), screen(x1, top), screen(x1, top + fontHeight_),
                                   screen(x0, top + fontHeight_)};
      HatchQuad(canvas, quad, kSelectionGrey);
    }
  }
  if (!CaretPhase && CaretPos >= 0 && static_cast<size_t>(CaretPos) < positions) {
    const TFloatPoint p = charPositions_[static_cast<size_t>(CaretPos)];
    TPen pen;
    pen.Color = ColorFromSystem(kCaretSystemColor);
    pen.Width = kCaretWidth;
    canvas.SetPen(pen);
    ClippedLine(canvas, screen(p.X, p.Y), screen(p.X, p.Y + fontHeight_));
  }
}

void TdtpTextBaseShape::SetSize(float width, float height) {
  if (restoringBox_) {
    // An undo puts back the box the layout had made; the lines follow it without fitting again (a
    // text or font restored in the same step fits the box itself).
    TdtpEffectShape::SetSize(width, height);
    if (multiLine_ && wordWrap_ && FontSystem()) BuildLines();
    PlaceLines();
  } else if (autoSizing_ || docHeight_ == 0) {
    TdtpEffectShape::SetSize(width, height);
  } else if (!multiLine_ && autoSize_ && ScaleFontOnResize) {
    SetFontHeight(static_cast<float>(static_cast<double>(fontHeight_) * height / docHeight_));
  } else if (multiLine_) {
    TdtpEffectShape::SetSize(width, height);
    if (FontSystem()) {
      BuildAndFit();
    } else {
      layoutPending_ = true;
    }
  } else {
    TdtpEffectShape::SetSize(width, height);
    PlaceLines();
  }
}

void CheckTextLength(size_t length) {
  if (length > kMaxTextLength) {
    RaiseError(Format("A text of %zu characters is too long: a text shape holds at most %zu", length, kMaxTextLength));
  }
}

// --- Properties ---

std::u16string TdtpTextBaseShape::TextToLay() const {
  if (!shownFill_ || lineEdit_) return text_;
  std::u16string shown = XmlCharactersOnly(shownFill_(text_));
  if (shown.size() > kMaxTextLength) shown.resize(kMaxTextLength);
  return shown;
}

void TdtpTextBaseShape::SetShownText(TShownText fill) {
  shownFill_ = std::move(fill);
  LayShownText();
}

void TdtpTextBaseShape::LayShownText() {
  // Only what shows changes: no undo step (an auto-size box fits what shows, which is a change).
  const TUndoOff undoOff(document_);
  Relayout();
}

void TdtpTextBaseShape::SetText(const std::u16string& text) {
  // Every text the shape takes (typed, pasted, from the window, a file or the batch tool) is one
  // the document can store and read back as it was.
  const std::u16string value = XmlCharactersOnly(text);
  if (value == text_) return;
  CheckTextLength(value.size());
  const TUndoStep step(document_);
  RecordChange(ckProperty, "Text", Utf16ToUtf8(text_));
  text_ = value;
  TextStored();
  ShowPlaceHolder(text_.empty());
  TextChanged();
  // A change from outside (an undo, the application) while editing: the editor follows it.
  if (lineEdit_ && !storingEdit_) {
    lineEdit_->ReplaceText(text_);
    CaretPos = lineEdit_->Caret;
    SelStart = lineEdit_->SelStart;
    SelLength = lineEdit_->SelLength;
  }
}

void TdtpTextBaseShape::SetFontName(const std::string& value) {
  if (value == fontName_) return;
  const TUndoStep step(document_);
  RecordChange(ckProperty, "FontName", fontName_);
  fontName_ = value;
  TextChanged();
}

void TdtpTextBaseShape::SetFontHeight(float value) {
  if (!std::isfinite(value)) return;
  value = std::max(0.0f, value);
  if (value == fontHeight_) return;
  const TUndoStep step(document_);
  RecordFloat(ckProperty, "FontHeight", fontHeight_);
  fontHeight_ = value;
  TextChanged();
}

void TdtpTextBaseShape::SetFontStyle(uint8_t value) {
  value = static_cast<uint8_t>(value & (fsBold | fsItalic | fsUnderline | fsStrikeOut));
  if (value == fontStyle_) return;
  const TUndoStep step(document_);
  RecordFontStyle(ckProperty, "FontStyle", fontStyle_);
  fontStyle_ = value;
  TextChanged();
}

void TdtpTextBaseShape::SetFontColor(TdtpColor value) {
  if (value == fontColor_) return;
  RecordInteger(ckProperty, "FontColor", fontColor_.Value);
  fontColor_ = value;
  RefreshSelf();
  Changed();
}

float TdtpTextBaseShape::FontSize() const { return static_cast<float>(PointsOfMm(fontHeight_)); }

void TdtpTextBaseShape::SetFontSize(float points) { SetFontHeight(static_cast<float>(MmOfPoints(points))); }

void TdtpTextBaseShape::SetBold(bool value) {
  SetFontStyle(static_cast<uint8_t>(value ? fontStyle_ | fsBold : fontStyle_ & ~fsBold));
}

void TdtpTextBaseShape::SetItalic(bool value) {
  SetFontStyle(static_cast<uint8_t>(value ? fontStyle_ | fsItalic : fontStyle_ & ~fsItalic));
}

void TdtpTextBaseShape::SetAutoSize(bool value) {
  if (value == autoSize_) return;
  const TUndoStep step(document_);
  RecordBool(ckProperty, "AutoSize", autoSize_);
  InvalidateArea();
  autoSize_ = value;
  if (autoSize_) {
    TextChanged();
  } else {
    // Switching it off is a stored change too: the document must know it is modified.
    Changed();
  }
}

void TdtpTextBaseShape::SetAlignment(uint8_t value) {
  if (value == alignment_) return;
  RecordInteger(ckProperty, "Alignment", alignment_);
  alignment_ = value;
  PlaceLines();
  Refresh();
  // Announced like every other stored property, so the document knows it is modified.
  Changed();
}

void TdtpTextBaseShape::SetVertAlign(uint8_t value) {
  if (value == vertAlign_) return;
  RecordInteger(ckProperty, "VertAlign", vertAlign_);
  vertAlign_ = value;
  PlaceLines();
  Refresh();
  Changed();
}

void TdtpTextBaseShape::SetWordWrap(bool value) {
  if (value == wordWrap_) return;
  const TUndoStep step(document_);
  RecordBool(ckProperty, "WordWrap", wordWrap_);
  wordWrap_ = value;
  TextChanged();
}

void TdtpTextBaseShape::SetPropertyByName(const std::string& name, const std::string& value) {
  if (SameText(name, "DocWidth") || SameText(name, "DocHeight")) {
    // Restoring a recorded size is no resize by the user: no font scaling, no fitting.
    restoringBox_ = true;
    try {
      TdtpEffectShape::SetPropertyByName(name, value);
    } catch (...) {
      restoringBox_ = false;
      throw;
    }
    restoringBox_ = false;
    return;
  }
  TdtpEffectShape::SetPropertyByName(name, value);
  if (SameText(name, "AutoSize")) {
    SetAutoSize(ParseBoolValue(value));
  } else if (SameText(name, "WordWrap")) {
    SetWordWrap(ParseBoolValue(value));
  } else if (SameText(name, "Text")) {
    SetText(Utf8ToUtf16(value));
  } else if (SameText(name, "FontName")) {
    SetFontName(value);
  } else if (SameText(name, "FontStyle")) {
    SetFontStyle(ParseStyleLetters(value));
  } else if (SameText(name, "FontHeight")) {
    SetFontHeight(static_cast<float>(ParseCommandFloat(value)));
  } else if (SameText(name, "FontColor")) {
    SetFontColor(static_cast<int32_t>(
        std::clamp<int64_t>(ParseCommandInteger(value), INT32_MIN, INT32_MAX)));
  } else if (SameText(name, "Alignment")) {
    SetAlignment(ByteOf(ParseCommandInteger(value)));
  } else if (SameText(name, "VertAlign")) {
    SetVertAlign(ByteOf(ParseCommandInteger(value)));
  }
}

void TdtpTextBaseShape::AddPlaceHolder() {
  auto holder = std::make_unique<TdtpPlaceHolder>();
  holder->SetAnchors(anSizeXProp | anSizeYProp | anLeftLock | anTopLock);
  holder->Protected = true;
  holder->SetVisible(text_.empty());
  if (!InsertChild(0, std::move(holder))) return;
  FitToChildren();
}

// --- XML ---

void TdtpTextBaseShape::SaveToXml(TXmlNode& node) const {
  TdtpEffectShape::SaveToXml(node);
  node.WriteWideString("Text", text_);
  node.WriteFloat("FontHeight", fontHeight_, 0);
  node.WriteBool("AutoSize", autoSize_, false);
  node.WriteInteger("Alignment", alignment_, 0);
  node.WriteBool("WordWrap", wordWrap_, false);
  node.WriteInteger("VertAlign", vertAlign_, 0);
  TXmlNode* font = node.NewChild("Font");
  font->WriteString("Name", fontName_);
  font->WriteColor("Color", fontColor_, 0);
  font->WriteBool("Bold", (fontStyle_ & fsBold) != 0, false);
  font->WriteBool("Italic", (fontStyle_ & fsItalic) != 0, false);
  font->WriteBool("Underline", (fontStyle_ & fsUnderline) != 0, false);
  font->WriteBool("Strikeout", (fontStyle_ & fsStrikeOut) != 0, false);
  // The lines of a shown text are no layout of the stored one: the file holds none then, and the
  // text is laid out again when read.
  if (laid_ == text_) {
    for (const auto& span : spans_) span->SaveToXml(*node.NewChild("Span"));
  }
}

void TdtpTextBaseShape::LoadFromXml(const TXmlNode* node) {
  TdtpEffectShape::LoadFromXml(node);
  text_ = XmlCharactersOnly(node->ReadWideString("Text"));
  CheckTextLength(text_.size());
  fontHeight_ = SaneFontHeight(node->ReadFloat("FontHeight", 0));
  autoSize_ = node->ReadBool("AutoSize", false);
  alignment_ = ByteOf(node->ReadInteger("Alignment", 0));
  wordWrap_ = node->ReadBool("WordWrap", false);
  vertAlign_ = ByteOf(node->ReadInteger("VertAlign", 0));
  if (const TXmlNode* font = node->FindChild("Font")) {
    fontName_ = font->ReadString("Name");
    fontColor_ = font->ReadColor("Color", 0);
    fontStyle_ = 0;
    if (font->ReadBool("Bold", false)) fontStyle_ |= fsBold;
    if (font->ReadBool("Italic", false)) fontStyle_ |= fsItalic;
    if (font->ReadBool("Underline", false)) fontStyle_ |= fsUnderline;
    if (font->ReadBool("Strikeout", false)) fontStyle_ |= fsStrikeOut;
  } else {
    fontName_ = "Arial";
    fontColor_ = 0;
    fontStyle_ = 0;
  }
  spans_.clear();
  std::vector<TXmlNode*> elements;
  node->FindChildren("Span", elements);
  for (const TXmlNode* element : elements) AddSpan()->LoadFromXml(*element);
  TextStored();
  laid_ = text_;
  // An empty text has no lines, so its stored (empty) line list is its layout: fitting an auto-size
  // box to it here would change the box the file holds. A shown text is laid out anew.
  if ((!spans_.empty() || text_.empty()) && (!shownFill_ || TextToLay() == text_)) {
    layoutPending_ = false;
    PlaceLines();
  } else if (FontSystem()) {
    layoutPending_ = false;
    BuildAndFit();
  } else {
    layoutPending_ = true;
  }
  if (lineEdit_) {
    lineEdit_->ReplaceText(text_);
    CaretPos = lineEdit_->Caret;
    SelStart = lineEdit_->SelStart;
    SelLength = lineEdit_->SelLength;
    BuildCharPositions();
  }
  RefreshSelf();
}

// --- TdtpTextShape ---

TdtpTextShape::TdtpTextShape() { SetForceCache(true); }

TFont TdtpTextShape::FontAt(int32_t pixelHeight, TColor32 color) const {
  TFont font;
  font.Name = fontName_;
  font.Style = fontStyle_;
  font.Color = color;
  font.Height = std::clamp(pixelHeight, 1, TFont::kMaxFontPixels);
  return font;
}

TSize TdtpTextShape::Extent(const TFont& font, std::u16string_view text) {
  TFontSystem* fonts = FontSystem();
  return fonts ? TextExtent(font, text, *fonts) : TSize{};
}

void TdtpTextShape::PrepareFont() {
  const TFont font = FontAt(Round(fontHeight_ * kMeasureDpm), clBlack32);
  if (!(font == measureFont_)) advanceCache_.clear();
  measureFont_ = font;
}

void TdtpTextShape::MeasureText(int32_t charPos, int32_t count, float& width, float& height) {
  TdtpTextSpan piece;
  piece.CharPos = charPos;
  piece.CharCount = count;
  std::u16string_view text = SpanText(piece);
  if (text.empty()) text = u"W";
  const TSize extent = Extent(measureFont_, text);
  width = static_cast<float>(extent.cx / kMeasureDpm);
  height = static_cast<float>(extent.cy / kMeasureDpm);
}

double TdtpTextShape::CachedAdvance(char16_t c) {
  if (auto it = advanceCache_.find(c); it != advanceCache_.end()) return it->second;
  TFontSystem* fonts = FontSystem();
  const double advance = fonts ? fonts->RunWidth(measureFont_, std::u16string_view(&c, 1)) : 0;
  advanceCache_.emplace(c, advance);
  return advance;
}

int32_t TdtpTextShape::GuessFit(int32_t charPos, int32_t maxCount, float widthMm) {
  // The sum of single advances leaves out kerning; the exact search corrects the guess.
  const double limit = widthMm * kMeasureDpm;
  const size_t start = static_cast<size_t>(std::max(0, charPos - 1));
  double sum = 0;
  for (int32_t n = 0; n < maxCount && start + static_cast<size_t>(n) < laid_.size(); ++n) {
    sum += CachedAdvance(laid_[start + static_cast<size_t>(n)]);
    if (Round(sum) >= limit) return n;
  }
  return maxCount;
}

int32_t TdtpTextShape::FitFontHeight(std::u16string_view text, int32_t startHeight, double boxWidth,
                                     double boxHeight) {
  const int32_t maxHeight = TFont::kMaxFontPixels;
  const int32_t h0 = std::clamp(startHeight, 1, maxHeight);
  if (!FontSystem()) return h0;
  auto extentAt = [&](int32_t h) { return Extent(FontAt(h, clWhite32), text); };
  auto exceeds = [&](const TSize& e) {
    return e.cx > boxWidth + kFitTolerance || e.cy > boxHeight + kFitTolerance;
  };
  auto reaches = [&](const TSize& e) {
    return e.cx >= boxWidth - kFitTolerance || e.cy >= boxHeight - kFitTolerance;
  };
  const TSize e0 = extentAt(h0);
  // Extents grow in proportion to the height, which gives the search its first probe.
  double scale = boxHeight / std::max(1, e0.cy);
  if (e0.cx > 0) scale = std::min(scale, boxWidth / e0.cx);
  const double estimate = h0 * scale;
  if (exceeds(e0)) {
    if (h0 == 1) return 1;
    const int32_t firstExceeding =
        FirstTrue(1, h0 - 1, GuessFrom(std::floor(estimate) + 1, h0 - 1),
                  [&](int32_t h) { return exceeds(extentAt(h)); });
    return std::max(1, firstExceeding - 1);
  }
  if (!reaches(e0)) {
    // Beyond the largest height the extent stops growing, so the search ends there.
    const int32_t firstReaching = FirstTrue(h0 + 1, maxHeight, GuessFrom(std::ceil(estimate), h0 + 1),
                                            [&](int32_t h) { return reaches(extentAt(h)); });
    return firstReaching - 1;
  }
  return h0;
}

void TdtpTextShape::PaintBitmap(TBitmap32& bitmap, const TdtpPaintInfo& info) {
  if (bitmap.Empty()) return;
  std::fill_n(bitmap.Bits(), static_cast<size_t>(bitmap.Width()) * static_cast<size_t>(bitmap.Height()),
              TColor32{0});
  // The spans are drawn as a mask of the font colour; colour glyphs (emoji) keep their colours.
  const TColor32 rgb = ColorFromSystem(fontColor_) & 0x00FFFFFFu;
  TFontSystem* fonts = FontSystem();
  // The pixels the spans map to decide the fitting: a cache made at a resolution lowered to fit
  // its pixel budget has the scale of its matrix, not the resolution the caller asked for.
  const TdtpAffineTransform& m = PaintMatrix();
  double dpm = std::sqrt(std::abs(m.A * m.D - m.B * m.C));
  if (!std::isfinite(dpm) || dpm <= 0) dpm = info.Dpm;
  if (fonts && std::isfinite(dpm) && dpm > 0) {
    const int32_t startHeight = Round(fontHeight_ * dpm);
    for (const auto& span : spans_) {
      const std::u16string_view text = SpanText(*span);
      if (text.empty()) continue;
      const float spanWidth = SaneSize(span->Width), spanHeight = SaneSize(span->Height);
      const double boxWidth = spanWidth * dpm, boxHeight = spanHeight * dpm;
      // A box under a pixel holds no legible text at any height; it is left out.
      if (boxWidth < 1 || boxHeight < 1) continue;
      // Alignment moves the line right by at most its own width; a line that cannot reach the
      // bitmap is not fitted at all.
      const TFloatPoint reachA = LocalToPaint(TFloatPoint{span->Left, span->Top});
      const TFloatPoint reachB = LocalToPaint(TFloatPoint{span->Left + 2 * spanWidth, span->Top + spanHeight});
      const TRect reach{Round(std::min(reachA.X, reachB.X) - 1.0), Round(std::min(reachA.Y, reachB.Y) - 1.0),
                        Round(std::max(reachA.X, reachB.X) + 1.0), Round(std::max(reachA.Y, reachB.Y) + 1.0)};
      if (IntersectRect(reach, bitmap.BoundsRect()).IsEmpty()) continue;
      const int32_t height = FitFontHeight(text, startHeight, boxWidth, boxHeight);
      const TFont font = FontAt(height, rgb);
      const TSize extent = Extent(font, text);
      double adjust = 0;
      if (alignment_ == taRightJustify) {
        adjust = (boxWidth - extent.cx) / dpm;
      } else if (alignment_ == taCenter) {
        adjust = (boxWidth - extent.cx) / dpm / 2;
      }
      const float left = static_cast<float>(span->Left + adjust);
      const TFloatPoint a = LocalToPaint(TFloatPoint{left, span->Top});
      const TFloatPoint b = LocalToPaint(TFloatPoint{left + spanWidth, span->Top + spanHeight});
      TRect rect{Round(a.X), Round(a.Y), Round(b.X), Round(b.Y)};
      // Each span is one line whatever characters it holds.
      DrawText(bitmap, font, rect, dtNoPrefix | dtSingleLine | dtAlphaMask, text, *fonts);
    }
  }
  // Untouched pixels carry the font colour too, as the cache always has.
  TColor32* p = bitmap.Bits();
  const size_t count = static_cast<size_t>(bitmap.Width()) * static_cast<size_t>(bitmap.Height());
  for (size_t i = 0; i < count; ++i) {
    if (AlphaOf(p[i]) == 0) p[i] = rgb;
  }
  bitmap.Changed();
}

void TdtpTextShape::PrepareFontAt(double dpm) { caretFont_ = FontAt(Round(fontHeight_ * dpm), clBlack32); }

void TdtpTextShape::MeasureCharPositions(const TdtpTextSpan& span, double dpm) {
  TFontSystem* fonts = FontSystem();
  if (!fonts || !std::isfinite(dpm) || dpm <= 0) return;
  int32_t line = -1;
  for (int i = 0; i < SpanCount(); ++i) {
    if (Span(i) == &span) line = i;
  }
  const std::u16string_view text = SpanText(span);
  const size_t first = text.empty() ? static_cast<size_t>(std::clamp<int64_t>(int64_t(span.CharPos) - 1, 0,
                                                                              static_cast<int64_t>(laid_.size())))
                                    : static_cast<size_t>(text.data() - laid_.data());
  double adjust = 0;
  TFont font = caretFont_;
  if (!text.empty()) {
    const double boxWidth = SaneSize(span.Width) * dpm, boxHeight = SaneSize(span.Height) * dpm;
    font = FontAt(FitFontHeight(text, caretFont_.Height, boxWidth, boxHeight), clBlack32);
    const TSize extent = Extent(font, text);
    if (alignment_ == taRightJustify) {
      adjust = (boxWidth - extent.cx) / dpm;
    } else if (alignment_ == taCenter) {
      adjust = (boxWidth - extent.cx) / dpm / 2;
    }
  }
  // Each prefix grows by the next character's advance and its kerning with the one before, so the
  // positions of a long line cost linear time.
  double pen = 0;
  for (size_t k = 0; k <= text.size(); ++k) {
    if (k > 0) {
      pen += k == 1 ? fonts->RunWidth(font, text.substr(0, 1))
                    : fonts->RunWidth(font, text.substr(k - 2, 2)) - fonts->RunWidth(font, text.substr(k - 2, 1));
    }
    const size_t index = first + k;
    if (index >= charPositions_.size()) break;
    charPositions_[index] = TFloatPoint{static_cast<float>(span.Left + adjust + pen / dpm), span.Top};
    charLines_[index] = line;
  }
}

}  // namespace sw
