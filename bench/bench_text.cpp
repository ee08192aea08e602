// Laying out text: 100 memo shapes of 200 words each, word-wrapped at 300 dpi into 80 mm, beside
// Pango (FreeType backend, the same font files) laying out the same texts in the same widths; and
// the same for memos of mixed scripts, whose characters mostly come from fallback faces.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/strings.h"
#include "platform/fonts.h"
#include "shapes/memo_shape.h"

#ifdef STICKWELL_HAVE_PANGO
#include <pango/pangoft2.h>
#endif

namespace {

constexpr int kMemoCount = 100;
constexpr int kWordsPerMemo = 200;
constexpr float kMemoWidthMm = 80;
constexpr float kFontHeightMm = 4.5f;  // about 13 points
constexpr double kDpm = 300 / 25.4;

template <size_t N>
std::vector<std::string> MakeTexts(const char* const (&words)[N]) {
  std::vector<std::string> out;
  uint32_t seed = 12345;
  for (int m = 0; m < kMemoCount; ++m) {
    std::string text;
    for (int w = 0; w < kWordsPerMemo; ++w) {
      seed = seed * 1664525u + 1013904223u;
      if (w > 0) text += (seed >> 28) == 0 ? ", " : " ";
      text += words[(seed >> 16) % N];
    }
    text += ".";
    out.push_back(text);
  }
  return out;
}

const std::vector<std::string>& Texts() {
  static const char* const kWords[] = {
      "fridge", "magnet", "print",   "the",     "of",     "a",         "well-known", "picture",
      "sheet",  "paper",  "cutting", "line",    "bleed",  "template",  "design",     "colour",
      "zoom",   "turned", "message", "birthday", "summer", "holidays", "grandmother", "kitchen",
      "and",    "to",     "with",    "for",     "on",     "Stickwell", "mm",         "300"};
  static const std::vector<std::string> texts = MakeTexts(kWords);
  return texts;
}

// Latin, Cyrillic, Japanese, Arabic, Devanagari and emoji words: every script but the first two
// is drawn by a fallback face of Liberation Sans.
const std::vector<std::string>& MixedTexts() {
  static const char* const kWords[] = {
      "magnet", "fridge", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82",
      "\xD0\xBC\xD0\xB0\xD0\xB3\xD0\xBD\xD0\xB8\xD1\x82", "\xE6\x97\xA5\xE6\x9C\xAC",
      "\xE5\x86\xB7\xE8\x94\xB5\xE5\xBA\xAB", "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7",
      "\xD8\xB4\xD9\x83\xD8\xB1\xD8\xA7",
      "\xE0\xA4\xA8\xE0\xA4\xAE\xE0\xA4\xB8\xE0\xA5\x8D\xE0\xA4\xA4\xE0\xA5\x87",
      "\xE0\xA4\xA7\xE0\xA4\xA8\xE0\xA5\x8D\xE0\xA4\xAF\xE0\xA4\xB5\xE0\xA4\xBE\xE0\xA4\xA6",
      "\xF0\x9F\x98\x80", "\xE2\x9D\xA4\xEF\xB8\x8F"};
  static const std::vector<std::string> texts = MakeTexts(kWords);
  return texts;
}

void MemoLayout(benchmark::State& state, const std::vector<std::string>& texts) {
  auto fonts = sw::TFontSystem::CreateForMachine();
  std::vector<std::unique_ptr<sw::TdtpMemoShape>> memos;
  for (const std::string& text : texts) {
    auto memo = std::make_unique<sw::TdtpMemoShape>();
    memo->SetFontSystem(fonts.get());
    memo->SetFontHeight(kFontHeightMm);
    memo->SetBounds(0, 0, kMemoWidthMm, 10);
    memo->SetWordWrap(true);
    memo->SetText(sw::Utf8ToUtf16(text));
    memos.push_back(std::move(memo));
  }
  int64_t lines = 0;
  for (auto _ : state) {
    lines = 0;
    for (auto& memo : memos) {
      memo->TextChanged();
      lines += memo->SpanCount();
    }
    benchmark::DoNotOptimize(lines);
  }
  state.counters["lines"] = static_cast<double>(lines);
  state.SetItemsProcessed(state.iterations() * kMemoCount);
}

void BM_StickwellMemoLayout(benchmark::State& state) { MemoLayout(state, Texts()); }
BENCHMARK(BM_StickwellMemoLayout)->Unit(benchmark::kMillisecond);
void BM_StickwellMixedScriptsLayout(benchmark::State& state) { MemoLayout(state, MixedTexts()); }
BENCHMARK(BM_StickwellMixedScriptsLayout)->Unit(benchmark::kMillisecond);

#ifdef STICKWELL_HAVE_PANGO
void PangoLayoutOf(benchmark::State& state, const std::vector<std::string>& texts) {
  auto fonts = sw::TFontSystem::CreateForMachine();
  // The same em as the memo's cell height gives (Pango sizes fonts by the em).
  const int32_t cell = static_cast<int32_t>(kFontHeightMm * kDpm + 0.5);
  const double em = fonts->Metrics(sw::TFont{"Arial", cell, 0, sw::clBlack32}).EmPixels;
  PangoFontMap* map = pango_ft2_font_map_new();
  pango_ft2_font_map_set_resolution(PANGO_FT2_FONT_MAP(map), 300, 300);
  PangoContext* context = pango_font_map_create_context(map);
  PangoFontDescription* desc = pango_font_description_from_string("Liberation Sans");
  pango_font_description_set_absolute_size(desc, em * PANGO_SCALE);
  PangoLayout* layout = pango_layout_new(context);
  pango_layout_set_font_description(layout, desc);
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  pango_layout_set_width(layout, static_cast<int>(kMemoWidthMm * kDpm * PANGO_SCALE));
  int64_t lines = 0;
  for (auto _ : state) {
    lines = 0;
    for (const std::string& text : texts) {
      pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
      PangoRectangle ink, logical;
      pango_layout_get_pixel_extents(layout, &ink, &logical);
      lines += pango_layout_get_line_count(layout);
    }
    benchmark::DoNotOptimize(lines);
  }
  state.counters["lines"] = static_cast<double>(lines);
  state.SetItemsProcessed(state.iterations() * kMemoCount);
  g_object_unref(layout);
  pango_font_description_free(desc);
  g_object_unref(context);
  g_object_unref(map);
}

void BM_PangoLayout(benchmark::State& state) { PangoLayoutOf(state, Texts()); }
BENCHMARK(BM_PangoLayout)->Unit(benchmark::kMillisecond);
void BM_PangoMixedScriptsLayout(benchmark::State& state) { PangoLayoutOf(state, MixedTexts()); }
BENCHMARK(BM_PangoMixedScriptsLayout)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
