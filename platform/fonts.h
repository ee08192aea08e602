// Fonts of the platform layer: faces found by family name through the machine's font configuration,
// rendered with antialiasing. A font is chosen by its pixel height the way a window system's logical
// font is: a positive height is the cell height (ascent plus descent, internal leading included), a
// negative one the character height (the em) without internal leading.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "raster/bitmap32.h"

namespace sw {

// Style bits, in the order the text shapes store them.
enum TFontStyleBit : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

struct TFont {
  std::string Name = "Arial";
  // Pixels: > 0 cell height, < 0 character height, 0 the default (a 12-pixel character height).
  // Magnitudes beyond kMaxFontPixels are drawn at that size.
  int32_t Height = -12;
  uint8_t Style = 0;
  // Only the RGB bits are used; drawn pixels get alpha 0.
  TColor32 Color = clBlack32;

  static constexpr int32_t kMaxFontPixels = 4096;
  bool Bold() const { return Style & fsBold; }
  bool Italic() const { return Style & fsItalic; }
  friend bool operator==(const TFont&, const TFont&) = default;
};

struct TSize {
  int32_t cx = 0, cy = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

// Metrics of a font at its pixel height; all in whole pixels.
struct TFontMetrics {
  int32_t Height = 0;  // cell height, Ascent + Descent
  int32_t Ascent = 0;  // baseline below the cell top
  int32_t Descent = 0;
  int32_t InternalLeading = 0;  // Height minus the em
  int32_t ExternalLeading = 0;  // extra line gap the face suggests
  int32_t AveCharWidth = 0;
  int32_t MaxCharWidth = 0;
  double EmPixels = 0;       // pixels per em, fractional
  int32_t UnderlineTop = 0;  // first underline row, below the cell top
  int32_t UnderlineThickness = 1;
  int32_t StrikeOutTop = 0;  // first strike-out row, below the cell top
  int32_t StrikeOutThickness = 1;
};

// The face a family name and style resolved to.
struct TFaceInfo {
  std::string Family;     // the family actually found, e.g. "Liberation Sans" for "Arial"
  std::string StyleName;  // e.g. "Bold Italic"
  std::string File;
  int32_t Index = 0;
  bool SyntheticBold = false;    // the family has no bold face: strokes are widened
  bool SyntheticItalic = false;  // the family has no italic face: glyphs are slanted
};

// One glyph of a laid-out line: its index in the face that draws it, its pen position in pixels
// (x to the right, y down from the baseline) and that face's family.
struct TLineGlyph {
  uint32_t Glyph = 0;
  double X = 0, Y = 0;
  std::string Family;
};

// What drawing writes into the target: coverage blended into the colour bytes with alpha 0 on
// every touched pixel (the surface convention), or a mask with straight alpha on a transparent
// target (the coverage as alpha of the font colour, colour glyphs in their own colours).
enum TTextTarget : uint8_t { ttCoverage, ttAlphaMask };

// Faces, sizes and rendered glyphs are cached. FreeType handles are not thread-safe, so every
// operation takes the system's own lock; one system may be shared by all threads.
// Whoever starts the program creates one and passes it on (see TServices); there is no global one.
class TFontSystem {
public:
  // The machine's font configuration. A machine without one gives a system that raises the
  // no-font error on every request.
  static std::unique_ptr<TFontSystem> CreateForMachine();
  // Only the fonts in these folders (for tests and portable installs); no folders means no fonts.
  explicit TFontSystem(const std::vector<std::string>& fontFolders);
  ~TFontSystem();
  TFontSystem(const TFontSystem&) = delete;
  TFontSystem& operator=(const TFontSystem&) = delete;

  // The face for a family name and the bold/italic bits of style. An unknown name resolves to the
  // fallback face (the configuration's sans-serif); an empty name means the fallback. No face at
  // all raises "No font available for "<name>"".
  TFaceInfo Resolve(const std::string& name, uint8_t style);
  TFontMetrics Metrics(const TFont& font);
  // Advance width in pixels of a run of text on one line, as shaped (glyph advances with the face's
  // positioning, or its legacy kerning when it has no layout tables); control characters have no
  // width. Characters the face lacks are measured in the fallback face that draws them.
  double RunWidth(const TFont& font, std::u16string_view text);
  // Draws one line of text with its cell top at (x, top), only inside clip (which is first cut to
  // the bitmap). The line is shaped in runs of one face, script and direction, right-to-left runs
  // placed in their visual order; a character the font lacks is drawn with the first face of the
  // machine's configuration that has it (a colour one first for emoji), at the same em and style,
  // and with the font's own box when none has it. In ttCoverage mode coverage blends the font
  // colour into the colour bytes and sets the alpha byte of every touched pixel to 0; untouched
  // pixels keep everything. Underline and strike-out are drawn across the run's width.
  void DrawRun(TBitmap32& target, const TFont& font, std::u16string_view text, int32_t x, int32_t top,
               const TRect& clip, TTextTarget mode = ttCoverage);
  // The glyphs DrawRun draws for one line, from left to right.
  std::vector<TLineGlyph> LineGlyphs(const TFont& font, std::u16string_view text);
  // The family that draws a character in a font: the font's own, a fallback's, or empty when no
  // installed face has it.
  std::string FamilyFor(const TFont& font, char32_t character);

private:
  struct TMachineConfiguration {};
  explicit TFontSystem(TMachineConfiguration);
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

}  // namespace sw
