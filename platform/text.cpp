#include "platform/text.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/numeric.h"
#include "base/strings.h"

namespace sw {

namespace {

std::u16string StripPrefixes(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'&') {
      if (i + 1 < text.size() && text[i + 1] == u'&') {
        out += u'&';
        ++i;
      }
      continue;
    }
    out += text[i];
  }
  return out;
}

struct TLine {
  std::u16string_view Text;
  int32_t Width = 0;
};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// Greedy word breaking: as many words as fit, at least one; the blanks at a break belong to no
// line. Words are measured one by one, so a long paragraph costs linear time.
void BreakWords(std::u16string_view line, int64_t maxWidth, const TFont& font, TFontSystem& fonts,
                std::vector<TLine>& out) {
  if (line.empty()) {
    out.push_back({line, 0});
    return;
  }
  size_t start = 0;
  while (start < line.size()) {
    const std::u16string_view rest = line.substr(start);
    size_t end = 0;
    double width = 0;
    while (end < rest.size()) {
      size_t wordEnd = end;
      while (wordEnd < rest.size() && IsBlank(rest[wordEnd])) ++wordEnd;
      while (wordEnd < rest.size() && !IsBlank(rest[wordEnd])) ++wordEnd;
      const double word = fonts.RunWidth(font, rest.substr(end, wordEnd - end));
      if (end != 0 && Round(width + word) > maxWidth) break;
      width += word;
      end = wordEnd;
    }
    const std::u16string_view piece = rest.substr(0, end);
    out.push_back({piece, Round(fonts.RunWidth(font, piece))});
    start += end;
    while (start < line.size() && IsBlank(line[start])) ++start;
  }
}

}  // namespace

TSize TextExtent(const TFont& font, std::u16string_view text, TFontSystem& fonts) {
  const TFontMetrics m = fonts.Metrics(font);
  return TSize{Round(fonts.RunWidth(font, text)), m.Height};
}

int32_t DrawText(TBitmap32& target, const TFont& font, TRect& rect, uint32_t format, std::u16string_view text,
                 TFontSystem& fonts) {
  std::u16string stripped;
  if (!(format & dtNoPrefix)) {
    stripped = StripPrefixes(text);
    text = stripped;
  }
  const TFontMetrics m = fonts.Metrics(font);
  // Rectangles may span nearly the whole int32 range; their sizes are taken in 64 bits.
  const int64_t rectWidth = static_cast<int64_t>(rect.Right) - rect.Left;
  const int64_t rectHeight = static_cast<int64_t>(rect.Bottom) - rect.Top;
  std::vector<TLine> lines;
  auto addLine = [&](std::u16string_view s) {
    if ((format & dtWordBreak) && !(format & dtSingleLine)) {
      BreakWords(s, rectWidth, font, fonts, lines);
    } else {
      lines.push_back({s, Round(fonts.RunWidth(font, s))});
    }
  };
  if (format & dtSingleLine) {
    addLine(text);
  } else {
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
      if (i == text.size() || text[i] == u'\r' || text[i] == u'\n') {
        if (i < text.size() || start < i || lines.empty()) addLine(text.substr(start, i - start));
        if (i + 1 < text.size() && text[i] == u'\r' && text[i + 1] == u'\n') ++i;
        start = i + 1;
      }
    }
  }
  const int64_t blockHeight = static_cast<int64_t>(lines.size()) * m.Height;
  const int32_t height = static_cast<int32_t>(std::min<int64_t>(blockHeight, INT32_MAX));
  if (format & dtCalcRect) {
    int32_t widest = 0;
    for (const TLine& l : lines) widest = std::max(widest, l.Width);
    rect.Right = static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(rect.Left) + widest, INT32_MAX));
    rect.Bottom = static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(rect.Top) + height, INT32_MAX));
    return height;
  }
  if (target.Empty()) return height;

  int64_t y = rect.Top;
  if (format & dtBottom) {
    y = static_cast<int64_t>(rect.Bottom) - blockHeight;
  } else if (format & dtVCenter) {
    y = rect.Top + (rectHeight - blockHeight) / 2;
  }
  const TRect clip = (format & dtNoClip) ? target.BoundsRect() : rect;
  for (const TLine& line : lines) {
    if (y >= clip.Bottom) break;
    if (y + m.Height > clip.Top && y >= INT32_MIN) {
      int64_t x = rect.Left;
      if (format & dtRight) {
        x = static_cast<int64_t>(rect.Right) - line.Width;
      } else if (format & dtCenter) {
        x = rect.Left + (rectWidth - line.Width) / 2;
      }
      if (x >= INT32_MIN && x <= INT32_MAX) {
        fonts.DrawRun(target, font, line.Text, static_cast<int32_t>(x), static_cast<int32_t>(y), clip,
                      (format & dtAlphaMask) ? ttAlphaMask : ttCoverage);
      }
    }
    y += m.Height;
  }
  target.Changed();
  return height;
}

int32_t DrawText(TBitmap32& target, const TFont& font, TRect& rect, uint32_t format, std::string_view text,
                 TFontSystem& fonts) {
  return DrawText(target, font, rect, format, std::u16string_view(Utf8ToUtf16(text)), fonts);
}

}  // namespace sw
