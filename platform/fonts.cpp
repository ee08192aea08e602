#include "platform/fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_OUTLINE_H
#include FT_SIZES_H
#include FT_TRUETYPE_TABLES_H
#include <hb-ot.h>
#include <hb.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "base/exception.h"
#include "base/numeric.h"

namespace sw {

namespace {

// Rendered glyphs kept per process before the cache starts over, in bytes of coverage.
constexpr size_t kMaxGlyphCacheBytes = size_t(64) << 20;
// Glyphs larger than this are rendered for each use and not kept.
constexpr size_t kMaxCachedGlyphBytes = size_t(1) << 20;
// Colour glyphs are scaled from their strike up to this many pixels (an em of about 2000 pixels,
// 85 mm at 600 dpi); larger ones are not drawn.
constexpr int64_t kMaxColourGlyphPixels = int64_t(1) << 22;
// Size instances kept before they are all released.
constexpr size_t kMaxInstances = 128;
// The default character height of a font whose height is 0.
constexpr int32_t kDefaultEm = 12;

struct TGlyph {
  double Advance = 0;  // pixels, unhinted so that widths scale smoothly with the height
  bool HasBitmap = false;
  int32_t Left = 0, Top = 0, Width = 0, Rows = 0;  // bitmap offset from the pen on the baseline
  std::vector<uint8_t> Coverage;                   // Width x Rows, 0..255
  std::vector<TColor32> Colour;                    // colour glyphs instead: premultiplied ARGB
  size_t Bytes() const { return Coverage.size() + Colour.size() * sizeof(TColor32); }
};

struct TFaceEntry {
  FT_Face Face = nullptr;
  TFaceInfo Info;
  double Upem = 1000;
  double WinAscent = 0, WinDescent = 0, LineGap = 0;
  double AvgWidth = 0, MaxAdvance = 0;
  double UnderlinePos = 0, UnderlineThick = 0, StrikePos = 0, StrikeSize = 0;
  bool HasKerning = false;
  hb_face_t* Shaper = nullptr;
  // With a positioning table or ligatures the runs go through the shaper; without, text the
  // character map covers left to right (below the combining marks) keeps the character map's
  // glyphs and the legacy kerning, exactly as before shaping existed.
  bool Shaped = false;
  bool Colour = false;      // colour glyphs (bitmap strikes or colour layers)
  int32_t StrikePpem = 0;   // a face of bitmap strikes only: the pixels per em of the strike used
  int StrikeIndex = 0;
  uint32_t Id = 0;          // small number naming the face in the fallback cache
};

struct TInstance;

struct TTextHash {
  using is_transparent = void;
  size_t operator()(std::u16string_view text) const { return std::hash<std::u16string_view>{}(text); }
};

// The face a character missing from a font is drawn with, and how it is synthesised.
struct TFallback {
  TFaceEntry* Face = nullptr;  // null: no installed face has the character
  bool SyntheticBold = false;
  bool SyntheticItalic = false;
};

struct TInstance {
  TFaceEntry* Face = nullptr;
  FT_Size Size = nullptr;
  double Em = 0;            // pixels per em
  FT_Pos BoldStrength = 0;  // 26.6 widening of synthetic bold strokes, 0 without
  bool Oblique = false;
  uint8_t StyleBits = 0;  // the bold and italic bits asked for, which fallback faces follow
  hb_font_t* Shaper = nullptr;
  double ShaperScale = 1;  // shaper units per pixel
  std::unordered_map<uint32_t, TGlyph> Glyphs;
  // Fallback instances at this one's em, by face; owned by the system's instance table.
  std::map<std::tuple<const TFaceEntry*, bool, bool>, TInstance*> Fallbacks;
  // Widths of words, which line breaking asks for again and again.
  std::unordered_map<std::u16string, double, TTextHash, std::equal_to<>> Widths;
  std::unordered_map<uint64_t, double> Pairs;  // pair kerning across word boundaries
};

// Runs up to this many code units keep their width in the instance.
constexpr size_t kMaxCachedRun = 32;
constexpr size_t kMaxCachedRuns = 1 << 16;

// Whether the substitution table has ligatures that are on by default.
bool HasLigatures(hb_face_t* face) {
  hb_tag_t tags[64];
  unsigned start = 0;
  for (;;) {
    unsigned count = 64;
    const unsigned total = hb_ot_layout_table_get_feature_tags(face, HB_OT_TAG_GSUB, start, &count, tags);
    for (unsigned i = 0; i < count; ++i) {
      if (tags[i] == HB_TAG('l', 'i', 'g', 'a') || tags[i] == HB_TAG('c', 'l', 'i', 'g') ||
          tags[i] == HB_TAG('r', 'l', 'i', 'g')) {
        return true;
      }
    }
    start += count;
    if (count == 0 || start >= total) return false;
  }
}

// Direction classes of the reduced bidirectional algorithm used within a line.
enum TBidiClass : uint8_t { bcL, bcR, bcEN, bcAN, bcNSM, bcN };

bool IsRightToLeftBlock(uint32_t cp) {
  return (cp >= 0x0590 && cp <= 0x08FF) || (cp >= 0xFB1D && cp <= 0xFDFF) || (cp >= 0xFE70 && cp <= 0xFEFF) ||
         (cp >= 0x10800 && cp <= 0x10FFF) || (cp >= 0x1E800 && cp <= 0x1EFFF);
}

bool IsMark(hb_unicode_general_category_t c) {
  return c == HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK || c == HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK ||
         c == HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK;
}

bool IsLetter(hb_unicode_general_category_t c) {
  return c == HB_UNICODE_GENERAL_CATEGORY_LOWERCASE_LETTER || c == HB_UNICODE_GENERAL_CATEGORY_UPPERCASE_LETTER ||
         c == HB_UNICODE_GENERAL_CATEGORY_TITLECASE_LETTER || c == HB_UNICODE_GENERAL_CATEGORY_MODIFIER_LETTER ||
         c == HB_UNICODE_GENERAL_CATEGORY_OTHER_LETTER;
}

TBidiClass BidiClassOf(uint32_t cp, hb_unicode_general_category_t c) {
  if (c == HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK || c == HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK) {
    return bcNSM;
  }
  if (IsRightToLeftBlock(cp)) {
    if ((cp >= 0x0660 && cp <= 0x0669) || (cp >= 0x06F0 && cp <= 0x06F9)) return bcAN;
    return IsLetter(c) || c == HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK ? bcR : bcN;
  }
  if (cp >= '0' && cp <= '9') return bcEN;
  return IsLetter(c) || c == HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK ? bcL : bcN;
}

// Characters that belong to the cluster before them and so to its face: marks, joiners,
// variation selectors, emoji modifiers and tags.
bool JoinsPrevious(uint32_t cp, hb_unicode_general_category_t c) {
  return IsMark(c) || cp == 0x200D || cp == 0x200C || (cp >= 0xFE00 && cp <= 0xFE0F) ||
         (cp >= 0x1F3FB && cp <= 0x1F3FF) || (cp >= 0xE0020 && cp <= 0xE007F) || (cp >= 0xE0100 && cp <= 0xE01EF);
}

// Characters drawn as colour pictures by default (the emoji blocks); a colour face is preferred.
bool PrefersColour(uint32_t cp) {
  return (cp >= 0x1F000 && cp <= 0x1FAFF) || (cp >= 0x2600 && cp <= 0x27BF) || (cp >= 0x1F1E6 && cp <= 0x1F1FF);
}

// One piece of a line shaped as a whole: one face, one script, one direction.
struct TRun {
  size_t Start = 0, End = 0;  // code points of the line
  TInstance* Inst = nullptr;
  hb_script_t Script = HB_SCRIPT_COMMON;
  uint8_t Level = 0;
};


// FreeType's 26.6 and 16.16 values lie far below 2^53, so they convert to double exactly.
inline double From26Dot6(FT_Pos v) { return static_cast<double>(v) / 64.0; }
inline double From16Dot16(FT_Fixed v) { return static_cast<double>(v) / 65536.0; }

// Reads the next code point from UTF-16, pairing surrogates; an unpaired one becomes U+FFFD.
uint32_t NextCodePoint(std::u16string_view text, size_t& i) {
  const uint32_t c = text[i++];
  if (c >= 0xD800 && c < 0xDC00) {
    if (i < text.size() && text[i] >= 0xDC00 && text[i] < 0xE000) {
      const uint32_t low = text[i++];
      return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
    }
    return 0xFFFD;
  }
  if (c >= 0xDC00 && c < 0xE000) return 0xFFFD;
  return c;
}

std::string PatternString(FcPattern* p, const char* object) {
  FcChar8* value = nullptr;
  if (FcPatternGetString(p, object, 0, &value) == FcResultMatch && value) {
    return reinterpret_cast<const char*>(value);
  }
  return {};
}

int PatternInt(FcPattern* p, const char* object, int fallback) {
  int value = 0;
  return FcPatternGetInteger(p, object, 0, &value) == FcResultMatch ? value : fallback;
}

// Per-channel coverage blend: cov 255 gives the font colour, 0 the pixel's own; alpha becomes 0.
inline TColor32 CoverPixel(TColor32 pixel, TColor32 color, uint32_t cov) {
  const uint32_t inv = 255 - cov;
  const uint32_t r = (RedOf(color) * cov + RedOf(pixel) * inv + 127) / 255;
  const uint32_t g = (GreenOf(color) * cov + GreenOf(pixel) * inv + 127) / 255;
  const uint32_t b = (BlueOf(color) * cov + BlueOf(pixel) * inv + 127) / 255;
  return (r << 16) | (g << 8) | b;
}

// A premultiplied colour glyph pixel over a surface pixel; alpha becomes 0 as for coverage.
inline TColor32 CoverColourPixel(TColor32 pixel, TColor32 src) {
  const uint32_t inv = 255 - AlphaOf(src);
  const uint32_t r = std::min<uint32_t>(255, RedOf(src) + (RedOf(pixel) * inv + 127) / 255);
  const uint32_t g = std::min<uint32_t>(255, GreenOf(src) + (GreenOf(pixel) * inv + 127) / 255);
  const uint32_t b = std::min<uint32_t>(255, BlueOf(src) + (BlueOf(pixel) * inv + 127) / 255);
  return (r << 16) | (g << 8) | b;
}

// Coverage of the font colour over a pixel of a mask (straight alpha): the alpha grows as
// coverage does on a black surface drawn white, so masks match what coverage drawing gives.
inline TColor32 MaskPixel(TColor32 pixel, TColor32 color, uint32_t cov) {
  const uint32_t a = AlphaOf(pixel);
  const uint32_t out = (255 * cov + a * (255 - cov) + 127) / 255;
  if (a == 0 || (pixel & 0x00FFFFFFu) == (color & 0x00FFFFFFu)) return (out << 24) | (color & 0x00FFFFFFu);
  auto mix = [&](uint32_t c, uint32_t p) { return std::min<uint32_t>(255, (c * cov * 255 + p * a * (255 - cov)) / (out * 255)); };
  return (out << 24) | (mix(RedOf(color), RedOf(pixel)) << 16) | (mix(GreenOf(color), GreenOf(pixel)) << 8) |
         mix(BlueOf(color), BlueOf(pixel));
}

// A premultiplied colour glyph pixel over a pixel of a mask (straight alpha).
inline TColor32 MaskColourPixel(TColor32 pixel, TColor32 src) {
  const uint32_t as = AlphaOf(src), ad = AlphaOf(pixel);
  const uint32_t keep = ad * (255 - as);  // destination weight x 255
  const uint32_t out = as + (keep + 127) / 255;
  if (out == 0) return 0;
  auto mix = [&](uint32_t s, uint32_t d) { return std::min<uint32_t>(255, (s * 255 + d * keep / 255) / out); };
  return (std::min<uint32_t>(out, 255) << 24) | (mix(RedOf(src), RedOf(pixel)) << 16) |
         (mix(GreenOf(src), GreenOf(pixel)) << 8) | mix(BlueOf(src), BlueOf(pixel));
}

}  // namespace

struct TFontSystem::TImpl {
  std::recursive_mutex Lock;
  FcConfig* Config = nullptr;
  FT_Library Library = nullptr;
  std::map<std::pair<std::string, int>, TFaceInfo> Resolved;
  std::map<std::pair<std::string, int32_t>, std::unique_ptr<TFaceEntry>> Faces;
  std::map<std::tuple<TFaceEntry*, FT_F26Dot6, FT_Pos, bool>, std::unique_ptr<TInstance>> Instances;
  size_t GlyphBytes = 0;
  TGlyph Scratch;  // the last glyph too large to keep
  // Fallback faces: the machine's faces in the configuration's order of preference for a family
  // and style, and the face chosen per face, style and character.
  std::map<std::pair<std::string, int>, FcFontSet*> FallbackOrder;
  std::unordered_map<uint64_t, TFallback> FallbackFor;
  // Scratch of the line layout, kept to spare allocations (the lock serialises its use).
  std::vector<uint32_t> Codes;
  std::vector<uint32_t> Clusters;
  std::vector<uint8_t> Classes;
  std::vector<uint8_t> Levels;
  std::vector<TInstance*> CodeInst;
  std::vector<hb_script_t> Scripts;
  std::vector<TRun> Runs;
  hb_buffer_t* Buffer = nullptr;

  ~TImpl() {
    for (auto& [key, inst] : Instances) hb_font_destroy(inst->Shaper);
    Instances.clear();  // each face frees its own sizes
    for (auto& [key, set] : FallbackOrder) FcFontSetDestroy(set);
    if (Buffer) hb_buffer_destroy(Buffer);
    for (auto& [key, face] : Faces) {
      hb_face_destroy(face->Shaper);
      FT_Done_Face(face->Face);
    }
    if (Library) FT_Done_FreeType(Library);
    if (Config) FcConfigDestroy(Config);
  }

  void InitLibrary() {
    if (FT_Init_FreeType(&Library) != 0) {
      Library = nullptr;
      RaiseError("Cannot initialise the font renderer");
    }
  }

  TFaceInfo Resolve(const std::string& name, uint8_t style) {
    const int bits = style & (fsBold | fsItalic);
    const auto key = std::make_pair(name, bits);
    if (auto it = Resolved.find(key); it != Resolved.end()) return it->second;
    if (!Config) RaiseError(Format("No font available for \"%s\"", name.c_str()));

    FcPattern* pattern = FcPatternCreate();
    if (!pattern) RaiseError("Out of memory");
    const std::string family = name.empty() ? "sans-serif" : name;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, (bits & fsBold) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, (bits & fsItalic) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(Config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(Config, pattern, &result);
    FcPatternDestroy(pattern);
    TFaceInfo info;
    if (match) {
      info.File = PatternString(match, FC_FILE);
      info.Family = PatternString(match, FC_FAMILY);
      info.StyleName = PatternString(match, FC_STYLE);
      info.Index = PatternInt(match, FC_INDEX, 0);
      const int weight = PatternInt(match, FC_WEIGHT, FC_WEIGHT_REGULAR);
      const int slant = PatternInt(match, FC_SLANT, FC_SLANT_ROMAN);
      // The configuration may itself ask for synthesis (embolden, a slanting matrix) and then
      // reports the requested weight and slant rather than the face's own.
      FcBool embolden = FcFalse;
      FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden);
      FcMatrix* matrix = nullptr;
      const bool slanted =
          FcPatternGetMatrix(match, FC_MATRIX, 0, &matrix) == FcResultMatch && matrix && matrix->xy != 0;
      info.SyntheticBold = (bits & fsBold) && (embolden || weight < FC_WEIGHT_DEMIBOLD);
      info.SyntheticItalic = (bits & fsItalic) && (slanted || slant == FC_SLANT_ROMAN);
      FcPatternDestroy(match);
    }
    if (info.File.empty()) RaiseError(Format("No font available for \"%s\"", name.c_str()));
    Resolved.emplace(key, info);
    return info;
  }

  TFaceEntry& Face(const TFaceInfo& info) {
    const auto key = std::make_pair(info.File, info.Index);
    if (auto it = Faces.find(key); it != Faces.end()) return *it->second;
    auto entry = std::make_unique<TFaceEntry>();
    if (FT_New_Face(Library, info.File.c_str(), info.Index, &entry->Face) != 0) {
      RaiseError(Format("Cannot load the font file \"%s\"", info.File.c_str()));
    }
    FT_Face f = entry->Face;
    // Colour faces of bitmap strikes only (emoji) are drawn from their largest strike, scaled.
    const bool strikes = FT_HAS_COLOR(f) && FT_HAS_FIXED_SIZES(f) && f->num_fixed_sizes > 0;
    // FreeType gives units per em to scalable faces only; strikes have them in their header.
    const auto* head = static_cast<const TT_Header*>(FT_Get_Sfnt_Table(f, FT_SFNT_HEAD));
    const double upem = f->units_per_EM != 0 ? f->units_per_EM : head ? head->Units_Per_EM : 0;
    if ((!FT_IS_SCALABLE(f) && !strikes) || upem <= 0) {
      FT_Done_Face(f);
      RaiseError(Format("The font \"%s\" is not scalable", info.Family.c_str()));
    }
    if (!FT_IS_SCALABLE(f)) {
      int best = 0;
      for (int i = 1; i < f->num_fixed_sizes; ++i) {
        if (f->available_sizes[i].y_ppem > f->available_sizes[best].y_ppem) best = i;
      }
      entry->StrikePpem = std::max<int32_t>(1, static_cast<int32_t>((f->available_sizes[best].y_ppem + 32) / 64));
      entry->StrikeIndex = best;
      FT_Select_Size(f, best);
    }
    entry->Colour = FT_HAS_COLOR(f);
    hb_blob_t* blob = hb_blob_create_from_file(info.File.c_str());
    entry->Shaper = hb_face_create(blob, static_cast<unsigned>(info.Index));
    hb_blob_destroy(blob);
    entry->Shaped = hb_ot_layout_has_positioning(entry->Shaper) || HasLigatures(entry->Shaper);
    entry->Id = static_cast<uint32_t>(Faces.size() + 1);
    FT_Select_Charmap(f, FT_ENCODING_UNICODE);
    entry->Info = info;
    entry->Upem = upem;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2));
    const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(f, FT_SFNT_HHEA));
    // The cell is the window-system ascent and descent where the face has them, as metric-
    // compatible faces are built to match.
    if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
      entry->WinAscent = os2->usWinAscent;
      entry->WinDescent = os2->usWinDescent;
    } else {
      entry->WinAscent = f->ascender;
      entry->WinDescent = -f->descender;
    }
    if (entry->WinAscent + entry->WinDescent <= 0) {
      entry->WinAscent = entry->Upem * 0.8;
      entry->WinDescent = entry->Upem * 0.2;
    }
    entry->LineGap = hhea ? hhea->Line_Gap : 0;
    entry->AvgWidth = (os2 && os2->version != 0xFFFF && os2->xAvgCharWidth > 0) ? os2->xAvgCharWidth : 0;
    entry->MaxAdvance = f->max_advance_width;
    entry->UnderlinePos = f->underline_position != 0 ? f->underline_position : -entry->Upem / 10;
    entry->UnderlineThick = f->underline_thickness > 0 ? f->underline_thickness : entry->Upem / 20;
    if (os2 && os2->version != 0xFFFF && os2->yStrikeoutSize > 0) {
      entry->StrikePos = os2->yStrikeoutPosition;
      entry->StrikeSize = os2->yStrikeoutSize;
    } else {
      entry->StrikePos = entry->Upem * 0.3;
      entry->StrikeSize = entry->UnderlineThick;
    }
    entry->HasKerning = FT_HAS_KERNING(f);
    TFaceEntry& ref = *entry;
    Faces.emplace(key, std::move(entry));
    return ref;
  }

  static double EmOf(const TFaceEntry& face, int32_t height) {
    if (height == 0) height = -kDefaultEm;
    const double h = std::min<double>(std::abs(static_cast<double>(height)), TFont::kMaxFontPixels);
    return height > 0 ? h * face.Upem / (face.WinAscent + face.WinDescent) : h;
  }

  TInstance& Instance(const TFont& font) {
    const TFaceInfo info = Resolve(font.Name, font.Style);
    TFaceEntry& face = Face(info);
    const double em = EmOf(face, font.Height);
    const FT_F26Dot6 em26 = std::max<FT_F26Dot6>(1, Round64(em * 64));
    // Only a top-level request may start the table over: fallbacks are asked for while the
    // instance of their line is in use.
    if (Instances.size() >= kMaxInstances) DropInstances();
    TInstance& inst = Instance(face, em26, info.SyntheticBold, info.SyntheticItalic);
    inst.StyleBits = static_cast<uint8_t>(font.Style & (fsBold | fsItalic));
    return inst;
  }

  TInstance& Instance(TFaceEntry& face, FT_F26Dot6 em26, bool syntheticBold, bool syntheticItalic) {
    const double em = From26Dot6(em26);
    const FT_Pos bold = syntheticBold ? std::max<FT_Pos>(32, Round64(em * 64 / 24)) : 0;
    const auto key = std::make_tuple(&face, em26, bold, syntheticItalic);
    if (auto it = Instances.find(key); it != Instances.end()) {
      FT_Activate_Size(it->second->Size);
      return *it->second;
    }
    auto inst = std::make_unique<TInstance>();
    inst->Face = &face;
    inst->Em = em;
    inst->BoldStrength = bold;
    inst->Oblique = syntheticItalic;
    if (FT_New_Size(face.Face, &inst->Size) != 0) RaiseError("Cannot create the font size");
    FT_Activate_Size(inst->Size);
    const FT_Error scaled = face.StrikePpem > 0 ? FT_Select_Size(face.Face, face.StrikeIndex)
                                                : FT_Set_Char_Size(face.Face, 0, em26, 72, 72);
    if (scaled != 0) {
      FT_Done_Size(inst->Size);
      RaiseError(Format("Cannot scale the font \"%s\"", face.Info.Family.c_str()));
    }
    // Shaper positions in 1/1024 pixel keep rounding far below what a pixel shows.
    inst->ShaperScale = 1024;
    inst->Shaper = hb_font_create(face.Shaper);
    const int scale = static_cast<int>(std::min<int64_t>(int64_t(em26) * 16, INT32_MAX));
    hb_font_set_scale(inst->Shaper, scale, scale);
    TInstance& ref = *inst;
    Instances.emplace(key, std::move(inst));
    return ref;
  }

  void DropInstances() {
    for (auto& [key, inst] : Instances) {
      FT_Done_Size(inst->Size);
      hb_font_destroy(inst->Shaper);
    }
    Instances.clear();
    GlyphBytes = 0;
  }

  // The machine's faces for a family and style in the configuration's order, kept per request.
  FcFontSet* FallbackOrderFor(const std::string& family, int bits) {
    const auto key = std::make_pair(family, bits);
    if (auto it = FallbackOrder.find(key); it != FallbackOrder.end()) return it->second;
    FcFontSet* set = nullptr;
    if (FcPattern* pattern = FcPatternCreate()) {
      FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
      FcPatternAddInteger(pattern, FC_WEIGHT, (bits & fsBold) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
      FcPatternAddInteger(pattern, FC_SLANT, (bits & fsItalic) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
      FcConfigSubstitute(Config, pattern, FcMatchPattern);
      FcDefaultSubstitute(pattern);
      FcResult result = FcResultNoMatch;
      set = FcFontSort(Config, pattern, FcFalse, nullptr, &result);
      FcPatternDestroy(pattern);
    }
    FallbackOrder.emplace(key, set);
    return set;
  }

  // The face that draws a character the primary face lacks, at the primary's style: the first in
  // the configuration's order that has it, a colour face first for emoji. Kept per face, style
  // and character, including "none".
  const TFallback& Fallback(const TInstance& primary, uint32_t cp) {
    const int bits = primary.StyleBits;
    const uint64_t key = (uint64_t(primary.Face->Id) << 24) | (uint64_t(bits) << 21) | (cp & 0x1FFFFF);
    if (auto it = FallbackFor.find(key); it != FallbackFor.end()) return it->second;
    TFallback found;
    FcFontSet* set = Config ? FallbackOrderFor(primary.Face->Info.Family, bits) : nullptr;
    FcPattern* chosen = nullptr;
    for (int pass = PrefersColour(cp) ? 0 : 1; pass < 2 && set && !chosen; ++pass) {
      for (int i = 0; i < set->nfont && !chosen; ++i) {
        FcPattern* p = set->fonts[i];
        FcCharSet* chars = nullptr;
        if (FcPatternGetCharSet(p, FC_CHARSET, 0, &chars) != FcResultMatch || !FcCharSetHasChar(chars, cp)) continue;
        FcBool colour = FcFalse;
        if (pass == 0 && (FcPatternGetBool(p, FC_COLOR, 0, &colour) != FcResultMatch || !colour)) continue;
        chosen = p;
      }
    }
    if (chosen) {
      TFaceInfo info;
      info.File = PatternString(chosen, FC_FILE);
      info.Family = PatternString(chosen, FC_FAMILY);
      info.StyleName = PatternString(chosen, FC_STYLE);
      info.Index = PatternInt(chosen, FC_INDEX, 0);
      try {
        found.Face = info.File.empty() || info.File == primary.Face->Info.File ? nullptr : &Face(info);
      } catch (const Exception&) {
        found.Face = nullptr;  // a broken file draws nothing better than the primary's box
      }
      if (found.Face) {
        found.SyntheticBold = (bits & fsBold) && PatternInt(chosen, FC_WEIGHT, FC_WEIGHT_REGULAR) < FC_WEIGHT_DEMIBOLD &&
                              found.Face->StrikePpem == 0;
        found.SyntheticItalic = (bits & fsItalic) && PatternInt(chosen, FC_SLANT, FC_SLANT_ROMAN) == FC_SLANT_ROMAN &&
                                found.Face->StrikePpem == 0;
        if (FT_Get_Char_Index(found.Face->Face, cp) == 0) found.Face = nullptr;
      }
    }
    return FallbackFor.emplace(key, found).first->second;
  }

  // The instance of a fallback face at the em of the line's font.
  TInstance* FallbackInstance(TInstance& primary, const TFallback& fallback) {
    const auto key = std::make_tuple(fallback.Face, fallback.SyntheticBold, fallback.SyntheticItalic);
    if (auto it = primary.Fallbacks.find(key); it != primary.Fallbacks.end()) return it->second;
    const FT_F26Dot6 em26 = std::max<FT_F26Dot6>(1, Round64(primary.Em * 64));
    TInstance* inst = &Instance(*fallback.Face, em26, fallback.SyntheticBold, fallback.SyntheticItalic);
    FT_Activate_Size(primary.Size);
    primary.Fallbacks.emplace(key, inst);
    return inst;
  }

  // Advance only; the outline is not rendered.
  double Advance(TInstance& inst, uint32_t glyphIndex) {
    if (auto it = inst.Glyphs.find(glyphIndex); it != inst.Glyphs.end()) return it->second.Advance;
    FT_Fixed advance = 0;
    FT_Activate_Size(inst.Size);
    if (inst.Face->StrikePpem > 0) {
      // Strikes have no outlines: the advance is the metrics table's, scaled to the em.
      hb_position_t a = hb_font_get_glyph_h_advance(inst.Shaper, glyphIndex);
      advance = static_cast<FT_Fixed>(std::llround(a / inst.ShaperScale * 65536.0));
    } else {
      FT_Get_Advance(inst.Face->Face, glyphIndex, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP, &advance);
    }
    TGlyph g;
    g.Advance = From16Dot16(advance) + From26Dot6(inst.BoldStrength);
    const double result = g.Advance;
    inst.Glyphs.emplace(glyphIndex, std::move(g));
    return result;
  }

  // The rendered glyph, valid until the next call. Large glyphs are not kept; when the cache is
  // full it starts over.
  const TGlyph& Rendered(TInstance& inst, uint32_t glyphIndex) {
    if (auto it = inst.Glyphs.find(glyphIndex); it != inst.Glyphs.end() && it->second.HasBitmap) {
      return it->second;
    }
    TGlyph g;
    g.Advance = Advance(inst, glyphIndex);
    Render(inst, glyphIndex, g);
    if (g.Bytes() > kMaxCachedGlyphBytes) {
      Scratch = std::move(g);
      return Scratch;
    }
    if (GlyphBytes + g.Bytes() > kMaxGlyphCacheBytes) {
      for (auto& [key, other] : Instances) other->Glyphs.clear();
      GlyphBytes = 0;
    }
    GlyphBytes += g.Bytes();
    TGlyph& slot = inst.Glyphs[glyphIndex];
    slot = std::move(g);
    return slot;
  }

  void Render(TInstance& inst, uint32_t glyphIndex, TGlyph& g) {
    g.HasBitmap = true;
    FT_Face f = inst.Face->Face;
    FT_Activate_Size(inst.Size);
    if (inst.Face->Colour && RenderColour(inst, glyphIndex, g)) return;
    if (FT_Load_Glyph(f, glyphIndex, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT) != 0) return;
    FT_GlyphSlot slot = f->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return;
    if (inst.Oblique) {
      // The usual synthetic slant of about 12 degrees, leaning right above the baseline.
      FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};
      FT_Outline_Transform(&slot->outline, &shear);
    }
    if (inst.BoldStrength > 0) FT_Outline_EmboldenXY(&slot->outline, inst.BoldStrength, 0);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return;
    const FT_Bitmap& bm = slot->bitmap;
    if (bm.pixel_mode != FT_PIXEL_MODE_GRAY && bm.pixel_mode != FT_PIXEL_MODE_MONO) return;
    g.Left = slot->bitmap_left;
    g.Top = slot->bitmap_top;
    g.Width = static_cast<int32_t>(bm.width);
    g.Rows = static_cast<int32_t>(bm.rows);
    g.Coverage.resize(static_cast<size_t>(g.Width) * static_cast<size_t>(g.Rows));
    for (int32_t y = 0; y < g.Rows; ++y) {
      const unsigned char* src = bm.pitch >= 0
                                     ? bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch
                                     : bm.buffer + static_cast<ptrdiff_t>(g.Rows - 1 - y) * -bm.pitch;
      uint8_t* dst = g.Coverage.data() + static_cast<size_t>(y) * static_cast<size_t>(g.Width);
      for (int32_t x = 0; x < g.Width; ++x) {
        uint32_t cov;
        if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
          cov = bm.num_grays >= 256 ? src[x]
                : bm.num_grays < 2  ? (src[x] ? 255u : 0u)
                                    : src[x] * 255u / (bm.num_grays - 1u);
        } else {
          cov = ((src[x >> 3] >> (7 - (x & 7))) & 1) ? 255u : 0u;
        }
        // Grey levels beyond num_grays - 1 would be a broken renderer; keep them in range anyway.
        dst[x] = static_cast<uint8_t>(std::min<uint32_t>(cov, 255u));
      }
    }
  }

  // A colour glyph (FreeType's colour loading: bitmap strikes or colour layers) as premultiplied
  // ARGB at the instance's em; false when the glyph has no colour form.
  bool RenderColour(TInstance& inst, uint32_t glyphIndex, TGlyph& g) {
    FT_Face f = inst.Face->Face;
    if (FT_Load_Glyph(f, glyphIndex, FT_LOAD_COLOR) != 0) return false;
    FT_GlyphSlot slot = f->glyph;
    if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return false;
    const FT_Bitmap& bm = slot->bitmap;
    if (bm.pixel_mode != FT_PIXEL_MODE_BGRA || bm.width == 0 || bm.rows == 0) return false;
    const int32_t sw = static_cast<int32_t>(bm.width), sh = static_cast<int32_t>(bm.rows);
    // Strikes are drawn at their own size and scaled to the em by area averaging.
    const double scale = inst.Face->StrikePpem > 0 ? inst.Em / inst.Face->StrikePpem : 1.0;
    const int32_t dw = std::max(1, static_cast<int32_t>(std::ceil(sw * scale)));
    const int32_t dh = std::max(1, static_cast<int32_t>(std::ceil(sh * scale)));
    if (int64_t(dw) * dh > kMaxColourGlyphPixels) return false;
    g.Left = static_cast<int32_t>(std::lround(slot->bitmap_left * scale));
    g.Top = static_cast<int32_t>(std::lround(slot->bitmap_top * scale));
    g.Width = dw;
    g.Rows = dh;
    g.Colour.assign(static_cast<size_t>(dw) * static_cast<size_t>(dh), 0);
    auto source = [&](int32_t x, int32_t y) {
      const unsigned char* row = bm.pitch >= 0 ? bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch
                                               : bm.buffer + static_cast<ptrdiff_t>(sh - 1 - y) * -bm.pitch;
      const unsigned char* p = row + 4 * x;  // B, G, R, A premultiplied
      return std::array<uint32_t, 4>{p[3], p[2], p[1], p[0]};
    };
    for (int32_t y = 0; y < dh; ++y) {
      const double y0 = y / scale, y1 = std::min<double>(sh, (y + 1) / scale);
      for (int32_t x = 0; x < dw; ++x) {
        const double x0 = x / scale, x1 = std::min<double>(sw, (x + 1) / scale);
        double sum[4] = {0, 0, 0, 0};
        double area = 0;
        for (int32_t sy = static_cast<int32_t>(y0); sy < sh && sy < y1; ++sy) {
          const double wy = std::min<double>(sy + 1, y1) - std::max<double>(sy, y0);
          for (int32_t sx = static_cast<int32_t>(x0); sx < sw && sx < x1; ++sx) {
            const double w = wy * (std::min<double>(sx + 1, x1) - std::max<double>(sx, x0));
            const auto c = source(sx, sy);
            for (size_t k = 0; k < 4; ++k) sum[k] += c[k] * w;
            area += w;
          }
        }
        if (area <= 0) continue;
        uint32_t v[4];
        for (int k = 0; k < 4; ++k) v[k] = std::min<uint32_t>(255, static_cast<uint32_t>(sum[k] / area + 0.5));
        g.Colour[static_cast<size_t>(y) * static_cast<size_t>(dw) + static_cast<size_t>(x)] =
            (v[0] << 24) | (std::min(v[1], v[0]) << 16) | (std::min(v[2], v[0]) << 8) | std::min(v[3], v[0]);
      }
    }
    return true;
  }

  // The glyphs of one line and their pen positions (x right, y down from the baseline), in the
  // order they stand from left to right; control characters are left out. A character the face
  // lacks is drawn with a fallback face at the same em; right-to-left runs are reordered.
  template <typename Visit>
  double Layout(TInstance& inst, std::u16string_view text, Visit&& visit) {
    FT_Face f = inst.Face->Face;
    // The plain path: a face without layout tables and a line its character map covers, left to
    // right. Glyphs, advances and kerning are exactly those of the times before shaping.
    bool plain = !inst.Face->Shaped;
    for (size_t i = 0; plain && i < text.size();) {
      const uint32_t cp = NextCodePoint(text, i);
      if (cp < 0x20 || cp == 0x7F) continue;
      if (cp >= 0x0300 || FT_Get_Char_Index(f, cp) == 0) plain = false;
    }
    if (plain) {
      double pen = 0;
      FT_UInt previous = 0;
      for (size_t i = 0; i < text.size();) {
        const uint32_t cp = NextCodePoint(text, i);
        if (cp < 0x20 || cp == 0x7F) continue;
        const FT_UInt gi = FT_Get_Char_Index(f, cp);
        if (previous && gi && inst.Face->HasKerning) {
          FT_Vector delta{0, 0};
          if (FT_Get_Kerning(f, previous, gi, FT_KERNING_UNFITTED, &delta) == 0) pen += From26Dot6(delta.x);
        }
        visit(inst, gi, pen, 0.0);
        pen += Advance(inst, gi);
        previous = gi;
      }
      return pen;
    }
    // Words and the spaces between them are shaped one by one (as in most layout engines), so
    // that the words line breaking measures are measured once; the kerning of a letter with the
    // space beside it is kept as a pair adjustment.
    std::vector<std::u16string_view> units;
    ForEachWord(text, [&](std::u16string_view unit) { units.push_back(unit); });
    double pen = 0;
    if (!HasRightToLeft(text)) {
      for (size_t u = 0; u < units.size(); ++u) {
        if (u > 0) pen += PairDelta(inst, LastCode(units[u - 1]), FirstCode(units[u]));
        pen += ShapedLayout(inst, units[u], [&](TInstance& gi, FT_UInt g, double x, double y) { visit(gi, g, pen + x, y); });
      }
      return pen;
    }
    // A line with right-to-left text: the units stand in the visual order of their levels.
    const std::vector<uint8_t> levels = UnitLevels(text, units);
    std::vector<size_t> order(units.size());
    for (size_t u = 0; u < order.size(); ++u) order[u] = u;
    const uint8_t maxLevel = *std::max_element(levels.begin(), levels.end());
    for (uint8_t level = maxLevel; level >= 1; --level) {
      for (size_t r = 0; r < order.size();) {
        if (levels[order[r]] < level) {
          ++r;
          continue;
        }
        size_t e = r;
        while (e < order.size() && levels[order[e]] >= level) ++e;
        std::reverse(order.begin() + static_cast<ptrdiff_t>(r), order.begin() + static_cast<ptrdiff_t>(e));
        r = e;
      }
    }
    for (const size_t u : order) {
      pen += ShapedLayout(inst, units[u], [&](TInstance& gi, FT_UInt g, double x, double y) { visit(gi, g, pen + x, y); });
    }
    return pen;
  }

  // The level of each unit of a line: that of its first character as the whole line resolves it.
  std::vector<uint8_t> UnitLevels(std::u16string_view text, const std::vector<std::u16string_view>& units) {
    hb_unicode_funcs_t* unicode = hb_unicode_funcs_get_default();
    Codes.clear();
    Clusters.clear();
    Classes.clear();
    for (size_t i = 0; i < text.size();) {
      const size_t at = i;
      const uint32_t cp = NextCodePoint(text, i);
      if (cp < 0x20 || cp == 0x7F) continue;
      Codes.push_back(cp);
      Clusters.push_back(static_cast<uint32_t>(at));
      Classes.push_back(BidiClassOf(cp, hb_unicode_general_category(unicode, cp)));
    }
    ResolveLevels(Codes.size());
    std::vector<uint8_t> out(units.size(), 0);
    size_t k = 0;
    for (size_t u = 0; u < units.size(); ++u) {
      const size_t offset = static_cast<size_t>(units[u].data() - text.data());
      while (k < Clusters.size() && Clusters[k] < offset) ++k;
      out[u] = k < Levels.size() ? Levels[k] : (Levels.empty() ? 0 : Levels.back());
    }
    return out;
  }

  // What shaping two characters together adds to shaping them apart (pair kerning), kept per pair.
  double PairDelta(TInstance& inst, uint32_t a, uint32_t b) {
    const uint64_t key = (uint64_t(a) << 32) | b;
    if (auto it = inst.Pairs.find(key); it != inst.Pairs.end()) return it->second;
    auto none = [](TInstance&, FT_UInt, double, double) {};
    std::u16string sa, sb;
    AppendCode(sa, a);
    AppendCode(sb, b);
    const double delta = ShapedLayout(inst, sa + sb, none) - ShapedLayout(inst, sa, none) - ShapedLayout(inst, sb, none);
    if (inst.Pairs.size() >= kMaxCachedRuns) inst.Pairs.clear();
    inst.Pairs.emplace(key, delta);
    return delta;
  }

  static void AppendCode(std::u16string& s, uint32_t cp) {
    if (cp > 0xFFFF) {
      s += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      s += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      s += static_cast<char16_t>(cp);
    }
  }
  static uint32_t FirstCode(std::u16string_view s) {
    size_t i = 0;
    return NextCodePoint(s, i);
  }
  static uint32_t LastCode(std::u16string_view s) {
    size_t i = s.size() - 1;
    if (i > 0 && s[i] >= 0xDC00 && s[i] < 0xE000 && s[i - 1] >= 0xD800 && s[i - 1] < 0xDC00) --i;
    return NextCodePoint(s, i);
  }

  // The width Layout gives a line, from the widths of its words where they are known.
  double Width(TInstance& inst, std::u16string_view text) {
    auto none = [](TInstance&, FT_UInt, double, double) {};
    if (!inst.Face->Shaped || text.empty()) return Layout(inst, text, none);
    auto cached = [&](std::u16string_view word) {
      if (auto it = inst.Widths.find(word); it != inst.Widths.end()) return it->second;
      const double width = ShapedLayout(inst, word, none);
      if (word.size() <= kMaxCachedRun) {
        if (inst.Widths.size() >= kMaxCachedRuns) inst.Widths.clear();
        inst.Widths.emplace(std::u16string(word), width);
      }
      return width;
    };
    // The plain path is exact and cheap; it applies when the face is not shaped at all.
    const bool rtl = HasRightToLeft(text);
    double width = 0;
    uint32_t last = 0;
    ForEachWord(text, [&](std::u16string_view word) {
      if (last != 0 && !rtl) width += PairDelta(inst, last, FirstCode(word));
      width += cached(word);
      last = LastCode(word);
    });
    return width;
  }

  static bool HasRightToLeft(std::u16string_view text) {
    for (const char16_t c : text) {
      if ((c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF) ||
          (c >= 0xD802 && c <= 0xD803) || c == 0xD83A || c == 0xD83B) {
        return true;
      }
    }
    return false;
  }

  // Words and the runs of spaces between them, in order.
  template <typename Each>
  static void ForEachWord(std::u16string_view text, Each&& each) {
    size_t start = 0;
    while (start < text.size()) {
      const bool space = text[start] == u' ';
      size_t end = start + 1;
      while (end < text.size() && (text[end] == u' ') == space) ++end;
      each(text.substr(start, end - start));
      start = end;
    }
  }

  // Direction levels of Codes from their classes (a reduced form of the bidirectional algorithm:
  // no explicit embeddings; numbers, marks and neutrals resolved by their neighbours) into Levels.
  void ResolveLevels(size_t n) {
    uint8_t paragraph = 0;
    for (size_t k = 0; k < n; ++k) {
      if (Classes[k] == bcL || Classes[k] == bcR) {
        paragraph = Classes[k] == bcR ? 1 : 0;
        break;
      }
    }
    const uint8_t outer = paragraph ? uint8_t(bcR) : uint8_t(bcL);
    uint8_t strong = outer;
    for (size_t k = 0; k < n; ++k) {
      uint8_t& c = Classes[k];
      if (c == bcNSM) c = k > 0 ? Classes[k - 1] : outer;
      if (c == bcL || c == bcR) strong = c;
      if (c == bcEN && strong == bcR) c = bcAN;
      if (c == bcEN && strong == bcL) c = bcL;
    }
    for (size_t k = 0; k < n;) {
      if (Classes[k] != bcN) {
        ++k;
        continue;
      }
      size_t e = k;
      while (e < n && Classes[e] == bcN) ++e;
      const uint8_t before = k == 0 ? outer : Classes[k - 1] == bcL ? uint8_t(bcL) : uint8_t(bcR);
      const uint8_t after = e == n ? outer : Classes[e] == bcL ? uint8_t(bcL) : uint8_t(bcR);
      const uint8_t dir = before == after ? before : outer;
      for (size_t j = k; j < e; ++j) Classes[j] = dir;
      k = e;
    }
    auto levelOf = [&](uint8_t c) -> uint8_t {
      if (paragraph == 0) return c == bcL ? 0 : c == bcR ? 1 : 2;
      return c == bcR ? 1 : 2;
    };
    Levels.resize(n);
    for (size_t k = 0; k < n; ++k) Levels[k] = levelOf(Classes[k]);
  }

  template <typename Visit>
  double ShapedLayout(TInstance& inst, std::u16string_view text, Visit&& visit) {
    hb_unicode_funcs_t* unicode = hb_unicode_funcs_get_default();
    Codes.clear();
    for (size_t i = 0; i < text.size();) {
      const uint32_t cp = NextCodePoint(text, i);
      if (cp < 0x20 || cp == 0x7F) continue;
      Codes.push_back(cp);
    }
    const size_t n = Codes.size();
    if (n == 0) return 0;
    // Face, script and direction class of every character.
    CodeInst.assign(n, &inst);
    Scripts.assign(n, HB_SCRIPT_COMMON);
    Classes.assign(n, bcN);
    for (size_t k = 0; k < n; ++k) {
      const uint32_t cp = Codes[k];
      const hb_unicode_general_category_t cat = hb_unicode_general_category(unicode, cp);
      Classes[k] = BidiClassOf(cp, cat);
      Scripts[k] = hb_unicode_script(unicode, cp);
      if (k > 0 && JoinsPrevious(cp, cat)) {
        CodeInst[k] = CodeInst[k - 1];
        continue;
      }
      CodeInst[k] = InstanceFor(inst, cp);
    }
    // Common and inherited characters (spaces, punctuation, marks) take the script around them.
    hb_script_t last = HB_SCRIPT_INVALID;
    for (size_t k = 0; k < n; ++k) {
      if (Scripts[k] == HB_SCRIPT_COMMON || Scripts[k] == HB_SCRIPT_INHERITED || Scripts[k] == HB_SCRIPT_UNKNOWN) {
        if (last != HB_SCRIPT_INVALID) Scripts[k] = last;
      } else {
        last = Scripts[k];
      }
    }
    for (size_t k = n; k-- > 0;) {
      if (Scripts[k] == HB_SCRIPT_COMMON || Scripts[k] == HB_SCRIPT_INHERITED || Scripts[k] == HB_SCRIPT_UNKNOWN) {
        if (last != HB_SCRIPT_INVALID) Scripts[k] = last;
      } else {
        last = Scripts[k];
      }
    }
    ResolveLevels(n);
    Runs.clear();
    uint8_t maxLevel = 0, minOdd = 255;
    for (size_t k = 0; k < n; ++k) {
      const uint8_t level = Levels[k];
      maxLevel = std::max(maxLevel, level);
      if (level & 1) minOdd = std::min(minOdd, level);
      if (!Runs.empty() && Runs.back().Inst == CodeInst[k] && Runs.back().Script == Scripts[k] &&
          Runs.back().Level == level) {
        Runs.back().End = k + 1;
      } else {
        Runs.push_back(TRun{k, k + 1, CodeInst[k], Scripts[k], level});
      }
    }
    // Reverse every sequence of runs at or above each level, from the highest to the lowest odd.
    if (minOdd == 255) minOdd = maxLevel + 1;
    for (uint8_t level = maxLevel; level >= minOdd && level > 0; --level) {
      for (size_t r = 0; r < Runs.size();) {
        if (Runs[r].Level < level) {
          ++r;
          continue;
        }
        size_t e = r;
        while (e < Runs.size() && Runs[e].Level >= level) ++e;
        std::reverse(Runs.begin() + static_cast<ptrdiff_t>(r), Runs.begin() + static_cast<ptrdiff_t>(e));
        r = e;
      }
    }
    if (!Buffer) {
      Buffer = hb_buffer_create();
      if (!hb_buffer_allocation_successful(Buffer)) RaiseError("Out of memory");
    }
    double pen = 0;
    for (const TRun& run : Runs) {
      TInstance& ri = *run.Inst;
      hb_buffer_clear_contents(Buffer);
      // The whole line is the context, so that joining continues across a change of face.
      hb_buffer_add_codepoints(Buffer, Codes.data(), static_cast<int>(n), static_cast<unsigned>(run.Start),
                               static_cast<int>(run.End - run.Start));
      hb_buffer_set_direction(Buffer, (run.Level & 1) ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
      hb_buffer_set_script(Buffer, run.Script);
      hb_buffer_set_language(Buffer, hb_language_get_default());
      hb_shape(ri.Shaper, Buffer, nullptr, 0);
      unsigned count = 0;
      const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(Buffer, &count);
      const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(Buffer, &count);
      const bool strikes = ri.Face->StrikePpem > 0;
      for (unsigned g = 0; g < count; ++g) {
        const uint32_t gi = infos[g].codepoint;
        // The face's own advance, as unshaped text has it, plus what positioning changed.
        double advance = pos[g].x_advance / ri.ShaperScale;
        if (!strikes) {
          advance += Advance(ri, gi) - hb_font_get_glyph_h_advance(ri.Shaper, gi) / ri.ShaperScale;
        }
        visit(ri, gi, pen + pos[g].x_offset / ri.ShaperScale, -pos[g].y_offset / ri.ShaperScale);
        pen += advance;
      }
    }
    return pen;
  }

  // The instance that draws a character of a line in inst: inst itself when its face has it, an
  // emoji going to a colour face before a monochrome one the font may have; else the fallback's,
  // and inst again (its box) when no face has it.
  TInstance* InstanceFor(TInstance& inst, uint32_t cp) {
    const bool own = FT_Get_Char_Index(inst.Face->Face, cp) != 0;
    const bool colour = PrefersColour(cp) && !inst.Face->Colour;
    if (own && !colour) return &inst;
    const TFallback& fb = Fallback(inst, cp);
    if (!fb.Face || (own && !fb.Face->Colour)) return &inst;
    return FallbackInstance(inst, fb);
  }

  TFontMetrics Metrics(const TFont& font) {
    TInstance& inst = Instance(font);
    const TFaceEntry& face = *inst.Face;
    const double scale = inst.Em / face.Upem;
    int32_t height = font.Height == 0 ? -kDefaultEm : font.Height;
    height = std::clamp(height, -TFont::kMaxFontPixels, TFont::kMaxFontPixels);
    TFontMetrics m;
    m.EmPixels = inst.Em;
    m.Ascent = Round(face.WinAscent * scale);
    if (height > 0) {
      m.Height = height;
      m.Ascent = std::min(m.Ascent, height);
      m.Descent = height - m.Ascent;
    } else {
      m.Descent = Round(face.WinDescent * scale);
      m.Height = m.Ascent + m.Descent;
    }
    m.InternalLeading = std::max(0, m.Height - Round(inst.Em));
    m.ExternalLeading = std::max(0, Round(face.LineGap * scale));
    const int32_t bold = static_cast<int32_t>((inst.BoldStrength + 32) / 64);
    if (face.AvgWidth > 0) {
      m.AveCharWidth = Round(face.AvgWidth * scale) + bold;
    } else {
      m.AveCharWidth = Round(Advance(inst, FT_Get_Char_Index(face.Face, 'x')));
    }
    m.MaxCharWidth = Round(face.MaxAdvance * scale) + bold;
    // Underline: below the baseline (rows from Ascent on), inside the cell where it fits.
    m.UnderlineThickness = std::max(1, Round(face.UnderlineThick * scale));
    const int32_t under = std::max(0, Round(-face.UnderlinePos * scale - m.UnderlineThickness / 2.0));
    m.UnderlineTop = m.Ascent + under;
    if (m.UnderlineTop + m.UnderlineThickness > m.Height) {
      m.UnderlineTop = std::max(m.Ascent, m.Height - m.UnderlineThickness);
    }
    m.StrikeOutThickness = std::max(1, Round(face.StrikeSize * scale));
    m.StrikeOutTop = std::clamp(m.Ascent - Round(face.StrikePos * scale), 0, std::max(0, m.Ascent - 1));
    return m;
  }
};

std::unique_ptr<TFontSystem> TFontSystem::CreateForMachine() {
  return std::unique_ptr<TFontSystem>(new TFontSystem(TMachineConfiguration{}));
}

TFontSystem::TFontSystem(TMachineConfiguration) : impl_(std::make_unique<TImpl>()) {
  impl_->InitLibrary();
  // The machine's configuration: its folders, aliases and fallback rules. Without one every
  // request raises the no-font error.
  impl_->Config = FcInitLoadConfigAndFonts();
}

namespace {

void AppendXmlText(std::string& xml, const std::string& text) {
  for (const char c : text) {
    switch (c) {
      case '&': xml += "&amp;"; break;
      case '<': xml += "&lt;"; break;
      case '>': xml += "&gt;"; break;
      default: xml += c;
    }
  }
}

}  // namespace

TFontSystem::TFontSystem(const std::vector<std::string>& fontFolders) : impl_(std::make_unique<TImpl>()) {
  impl_->InitLibrary();
  impl_->Config = FcConfigCreate();
  if (!impl_->Config) RaiseError("Cannot create the font configuration");
  // A configuration of just these folders, with the user's cache folder so scans are kept.
  std::string xml = "<?xml version=\"1.0\"?><fontconfig>";
  std::string cache;
  if (const char* x = std::getenv("XDG_CACHE_HOME"); x && *x) {
    cache = std::string(x) + "/fontconfig";
  } else if (const char* h = std::getenv("HOME"); h && *h) {
    cache = std::string(h) + "/.cache/fontconfig";
  }
  if (!cache.empty()) {
    xml += "<cachedir>";
    AppendXmlText(xml, cache);
    xml += "</cachedir>";
  }
  for (const std::string& folder : fontFolders) {
    xml += "<dir>";
    AppendXmlText(xml, folder);
    xml += "</dir>";
  }
  xml += "</fontconfig>";
  if (!FcConfigParseAndLoadFromMemory(impl_->Config, reinterpret_cast<const FcChar8*>(xml.c_str()),
                                      FcFalse) ||
      !FcConfigBuildFonts(impl_->Config)) {
    RaiseError("Cannot create the font configuration");
  }
}

TFontSystem::~TFontSystem() = default;

TFaceInfo TFontSystem::Resolve(const std::string& name, uint8_t style) {
  std::lock_guard<std::recursive_mutex> guard(impl_->Lock);
  return impl_->Resolve(name, style);
}

TFontMetrics TFontSystem::Metrics(const TFont& font) {
  std::lock_guard<std::recursive_mutex> guard(impl_->Lock);
  return impl_->Metrics(font);
}

double TFontSystem::RunWidth(const TFont& font, std::u16string_view text) {
  std::lock_guard<std::recursive_mutex> guard(impl_->Lock);
  return impl_->Width(impl_->Instance(font), text);
}

std::vector<TLineGlyph> TFontSystem::LineGlyphs(const TFont& font, std::u16string_view text) {
  std::lock_guard<std::recursive_mutex> guard(impl_->Lock);
  std::vector<TLineGlyph> out;
  TInstance& inst = impl_->Instance(font);
  impl_->Layout(inst, text, [&](TInstance& glyphInst, FT_UInt gi, double x, double y) {
    out.push_back(TLineGlyph{gi, x, y, glyphInst.Face->Info.Family});
  });
  return out;
}

std::string TFontSystem::FamilyFor(const TFont& font, char32_t character) {
  std::lock_guard<std::recursive_mutex> guard(impl_->Lock);
  TInstance& inst = impl_->Instance(font);
  const TInstance* drawing = impl_->InstanceFor(inst, character);
  if (FT_Get_Char_Index(drawing->Face->Face, character) == 0) return {};
  return drawing->Face->Info.Family;
}

void TFontSystem::DrawRun(TBitmap32& target, const TFont& font, std::u16string_view text, int32_t x,
                          int32_t top, const TRect& clip, TTextTarget mode) {
  if (target.Empty()) return;
  const TRect box = IntersectRect(clip, target.BoundsRect());
  if (box.IsEmpty()) return;
  std::lock_guard<std::recursive_mutex> guard(impl_->Lock);
  const TFontMetrics m = impl_->Metrics(font);
  TInstance& inst = impl_->Instance(font);
  const int64_t baseline = static_cast<int64_t>(top) + m.Ascent;
  const TColor32 color = font.Color;
  const double width = impl_->Layout(inst, text, [&](TInstance& glyphInst, FT_UInt gi, double pen, double rise) {
    const TGlyph& g = impl_->Rendered(glyphInst, gi);
    if (g.Coverage.empty() && g.Colour.empty()) return;
    const int64_t gx = static_cast<int64_t>(x) + Round64(pen) + g.Left;
    const int64_t gy = baseline + Round64(rise) - g.Top;
    const int64_t x0 = std::max<int64_t>(gx, box.Left), x1 = std::min<int64_t>(gx + g.Width, box.Right);
    const int64_t y0 = std::max<int64_t>(gy, box.Top), y1 = std::min<int64_t>(gy + g.Rows, box.Bottom);
    if (!g.Colour.empty()) {
      for (int64_t py = y0; py < y1; ++py) {
        const TColor32* src = g.Colour.data() + (py - gy) * g.Width - gx;
        TColor32* row = target.ScanLine(static_cast<int32_t>(py));
        for (int64_t px = x0; px < x1; ++px) {
          if (AlphaOf(src[px]) != 0) row[px] = mode == ttAlphaMask ? MaskColourPixel(row[px], src[px])
                                                                  : CoverColourPixel(row[px], src[px]);
        }
      }
      return;
    }
    for (int64_t py = y0; py < y1; ++py) {
      const uint8_t* cov = g.Coverage.data() + (py - gy) * g.Width - gx;
      TColor32* row = target.ScanLine(static_cast<int32_t>(py));
      for (int64_t px = x0; px < x1; ++px) {
        if (cov[px] != 0) {
          row[px] = mode == ttAlphaMask ? MaskPixel(row[px], color, cov[px]) : CoverPixel(row[px], color, cov[px]);
        }
      }
    }
  });
  auto bar = [&](int32_t rowTop, int32_t thickness) {
    const int64_t x0 = std::max<int64_t>(x, box.Left);
    const int64_t x1 = std::min<int64_t>(static_cast<int64_t>(x) + Round64(width), box.Right);
    const int64_t y0 = std::max<int64_t>(static_cast<int64_t>(top) + rowTop, box.Top);
    const int64_t y1 = std::min<int64_t>(static_cast<int64_t>(top) + rowTop + thickness, box.Bottom);
    for (int64_t py = y0; py < y1; ++py) {
      TColor32* row = target.ScanLine(static_cast<int32_t>(py));
      const TColor32 fill = mode == ttAlphaMask ? (color | 0xFF000000u) : (color & 0x00FFFFFFu);
      for (int64_t px = x0; px < x1; ++px) row[px] = fill;
    }
  };
  if (font.Style & fsUnderline) bar(m.UnderlineTop, m.UnderlineThickness);
  if (font.Style & fsStrikeOut) bar(m.StrikeOutTop, m.StrikeOutThickness);
}

}  // namespace sw
