#include "platform/fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_OUTLINE_H
#include FT_SIZES_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <tuple>
#include <unordered_map>

#include "base/exception.h"
#include "base/numeric.h"

namespace sw {

namespace {

// Rendered glyphs kept per process before the cache starts over, in bytes of coverage.
constexpr size_t kMaxGlyphCacheBytes = size_t(64) << 20;
// Glyphs larger than this are rendered for each use and not kept.
constexpr size_t kMaxCachedGlyphBytes = size_t(1) << 20;
// Size instances kept before they are all released.
constexpr size_t kMaxInstances = 128;
// The default character height of a font whose height is 0.
constexpr int32_t kDefaultEm = 12;

struct TGlyph {
  double Advance = 0;  // pixels, unhinted so that widths scale smoothly with the height
  bool HasBitmap = false;
  int32_t Left = 0, Top = 0, Width = 0, Rows = 0;  // bitmap offset from the pen on the baseline
  std::vector<uint8_t> Coverage;                   // Width x Rows, 0..255
};

struct TFaceEntry {
  FT_Face Face = nullptr;
  TFaceInfo Info;
  double Upem = 1000;
  double WinAscent = 0, WinDescent = 0, LineGap = 0;
  double AvgWidth = 0, MaxAdvance = 0;
  double UnderlinePos = 0, UnderlineThick = 0, StrikePos = 0, StrikeSize = 0;
  bool HasKerning = false;
};

struct TInstance {
  TFaceEntry* Face = nullptr;
  FT_Size Size = nullptr;
  double Em = 0;            // pixels per em
  FT_Pos BoldStrength = 0;  // 26.6 widening of synthetic bold strokes, 0 without
  bool Oblique = false;
  std::unordered_map<uint32_t, TGlyph> Glyphs;
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

  ~TImpl() {
    Instances.clear();  // each face frees its own sizes
    for (auto& [key, face] : Faces) FT_Done_Face(face->Face);
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
    if (!FT_IS_SCALABLE(f) || f->units_per_EM == 0) {
      FT_Done_Face(f);
      RaiseError(Format("The font \"%s\" is not scalable", info.Family.c_str()));
    }
    FT_Select_Charmap(f, FT_ENCODING_UNICODE);
    entry->Info = info;
    entry->Upem = f->units_per_EM;
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
    const FT_Pos bold = info.SyntheticBold ? std::max<FT_Pos>(32, Round64(em * 64 / 24)) : 0;
    const auto key = std::make_tuple(&face, em26, bold, info.SyntheticItalic);
    if (auto it = Instances.find(key); it != Instances.end()) {
      FT_Activate_Size(it->second->Size);
      return *it->second;
    }
    if (Instances.size() >= kMaxInstances) DropInstances();
    auto inst = std::make_unique<TInstance>();
    inst->Face = &face;
    inst->Em = From26Dot6(em26);
    inst->BoldStrength = bold;
    inst->Oblique = info.SyntheticItalic;
    if (FT_New_Size(face.Face, &inst->Size) != 0) RaiseError("Cannot create the font size");
    FT_Activate_Size(inst->Size);
    if (FT_Set_Char_Size(face.Face, 0, em26, 72, 72) != 0) {
      FT_Done_Size(inst->Size);
      RaiseError(Format("Cannot scale the font \"%s\"", info.Family.c_str()));
    }
    TInstance& ref = *inst;
    Instances.emplace(key, std::move(inst));
    return ref;
  }

  void DropInstances() {
    for (auto& [key, inst] : Instances) FT_Done_Size(inst->Size);
    Instances.clear();
    GlyphBytes = 0;
  }

  // Advance only; the outline is not rendered.
  double Advance(TInstance& inst, uint32_t glyphIndex) {
    if (auto it = inst.Glyphs.find(glyphIndex); it != inst.Glyphs.end()) return it->second.Advance;
    FT_Fixed advance = 0;
    FT_Get_Advance(inst.Face->Face, glyphIndex, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP, &advance);
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
    if (g.Coverage.size() > kMaxCachedGlyphBytes) {
      Scratch = std::move(g);
      return Scratch;
    }
    if (GlyphBytes + g.Coverage.size() > kMaxGlyphCacheBytes) {
      for (auto& [key, other] : Instances) other->Glyphs.clear();
      GlyphBytes = 0;
    }
    GlyphBytes += g.Coverage.size();
    TGlyph& slot = inst.Glyphs[glyphIndex];
    slot = std::move(g);
    return slot;
  }

  void Render(TInstance& inst, uint32_t glyphIndex, TGlyph& g) {
    g.HasBitmap = true;
    FT_Face f = inst.Face->Face;
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

  // The glyphs of a run and their pen positions; control characters are left out.
  template <typename Visit>
  double Layout(TInstance& inst, std::u16string_view text, Visit&& visit) {
    FT_Face f = inst.Face->Face;
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
      visit(gi, pen);
      pen += Advance(inst, gi);
      previous = gi;
    }
    return pen;
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
  TInstance& inst = impl_->Instance(font);
  return impl_->Layout(inst, text, [](FT_UInt, double) {});
}

void TFontSystem::DrawRun(TBitmap32& target, const TFont& font, std::u16string_view text, int32_t x,
                          int32_t top, const TRect& clip) {
  if (target.Empty()) return;
  const TRect box = IntersectRect(clip, target.BoundsRect());
  if (box.IsEmpty()) return;
  std::lock_guard<std::recursive_mutex> guard(impl_->Lock);
  const TFontMetrics m = impl_->Metrics(font);
  TInstance& inst = impl_->Instance(font);
  const int64_t baseline = static_cast<int64_t>(top) + m.Ascent;
  const TColor32 color = font.Color;
  const double width = impl_->Layout(inst, text, [&](FT_UInt gi, double pen) {
    const TGlyph& g = impl_->Rendered(inst, gi);
    if (g.Coverage.empty()) return;
    const int64_t gx = static_cast<int64_t>(x) + Round64(pen) + g.Left;
    const int64_t gy = baseline - g.Top;
    const int64_t x0 = std::max<int64_t>(gx, box.Left), x1 = std::min<int64_t>(gx + g.Width, box.Right);
    const int64_t y0 = std::max<int64_t>(gy, box.Top), y1 = std::min<int64_t>(gy + g.Rows, box.Bottom);
    for (int64_t py = y0; py < y1; ++py) {
      const uint8_t* cov = g.Coverage.data() + (py - gy) * g.Width - gx;
      TColor32* row = target.ScanLine(static_cast<int32_t>(py));
      for (int64_t px = x0; px < x1; ++px) {
        if (cov[px] != 0) row[px] = CoverPixel(row[px], color, cov[px]);
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
      for (int64_t px = x0; px < x1; ++px) row[px] = color & 0x00FFFFFFu;
    }
  };
  if (font.Style & fsUnderline) bar(m.UnderlineTop, m.UnderlineThickness);
  if (font.Style & fsStrikeOut) bar(m.StrikeOutTop, m.StrikeOutThickness);
}

}  // namespace sw
