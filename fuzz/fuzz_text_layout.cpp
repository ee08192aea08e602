// Lays out arbitrary text in a memo with arbitrary width, font height and flags, checks that the
// spans cover the text in order with at least one character per line, paints it with stored
// spans of arbitrary positions and sizes at an arbitrary resolution, and round-trips its XML.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/fonts.h"
#include "shapes/memo_shape.h"
#include "storage/xml/native_xml.h"

namespace {

sw::TFontSystem& Fonts() {
  static const std::unique_ptr<sw::TFontSystem> fonts = sw::TFontSystem::CreateForMachine();
  return *fonts;
}

std::string XmlOf(const sw::TdtpShape& shape) {
  sw::TNativeXml xml("shape");
  shape.SaveToXml(*xml.Root());
  return xml.SaveToString();
}

float FloatFrom(const uint8_t* p) {
  float f;
  std::memcpy(&f, p, sizeof f);
  return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 16) return 0;
  sw::InitXmlDefaults();
  const float width = static_cast<float>(data[0]) * 0.5f;
  const float fontHeight = static_cast<float>(data[1] % 64) * 0.25f;
  const uint8_t flags = data[2];
  const double dpm = 0.5 + data[3] * 0.1;
  const float spanWidth = FloatFrom(data + 4), spanHeight = FloatFrom(data + 8);
  const int32_t spanPos = static_cast<int8_t>(data[12]), spanCount = static_cast<int8_t>(data[13]);
  data += 16;
  size -= 16;
  std::u16string text;
  for (size_t i = 0; i + 1 < size && text.size() < 2000; i += 2) {
    text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  }

  sw::TdtpMemoShape memo;
  memo.SetFontSystem(&Fonts());
  memo.SetFontName((flags & 1) ? "DejaVu Serif" : "Arial");
  memo.SetFontHeight(fontHeight);
  memo.SetFontStyle(static_cast<uint8_t>(flags >> 4));
  memo.SetAlignment(static_cast<uint8_t>((flags >> 1) % 3));
  memo.SetBounds(0, 0, width, 5);
  memo.SetWordWrap((flags & 8) != 0);
  memo.SetText(text);

  int32_t next = 1;
  for (int i = 0; i < memo.SpanCount(); ++i) {
    const sw::TdtpTextSpan& span = *memo.Span(i);
    if (span.CharPos < next || span.CharCount < 0) std::abort();
    if (span.CharCount == 0 && span.CharPos <= static_cast<int32_t>(text.size()) &&
        text[static_cast<size_t>(span.CharPos - 1)] != u'\r' && text[static_cast<size_t>(span.CharPos - 1)] != u'\n') {
      std::abort();  // only empty lines are empty spans
    }
    next = span.CharPos + span.CharCount;
  }
  if (next - 1 > static_cast<int32_t>(text.size())) std::abort();

  const std::string first = XmlOf(memo);
  sw::TdtpMemoShape copy;
  copy.SetFontSystem(&Fonts());
  sw::TNativeXml xml;
  xml.LoadFromString(first);
  copy.LoadFromXml(xml.Root());
  if (XmlOf(copy) != first) std::abort();

  // A stored span naming anything, of any size.
  if (copy.SpanCount() > 0) {
    sw::TdtpTextSpan& span = *copy.Span(0);
    span.CharPos = spanPos;
    span.CharCount = spanCount;
    span.Width = spanWidth;
    span.Height = spanHeight;
  }
  sw::TBitmap32 bitmap;
  bitmap.SetSize(48, 32);
  copy.SetPaintMatrix(sw::TdtpAffineTransform(dpm, 0, 0, dpm, 0, 0));
  sw::TdtpPaintInfo info;
  info.Dpm = static_cast<float>(dpm);
  copy.PaintBitmap(bitmap, info);
  return 0;
}
