#include "shapes/memo_shape.h"

namespace sw {

TdtpMemoShape::TdtpMemoShape() {
  multiLine_ = true;
  wordWrap_ = false;
  ScaleFontOnResize = false;
}

void TdtpMemoShape::SetLines(const std::vector<std::u16string>& lines) {
  std::u16string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += u"\r\n";
    text += lines[i];
  }
  SetText(text);
  // The lines follow the text even when it did not change (a line holding a break splits).
  TextStored();
}

bool TdtpMemoShape::EndsEditOn(uint16_t key, bool& accepted) const {
  if (key == vk::Return) return false;
  return TdtpTextShape::EndsEditOn(key, accepted);
}

void TdtpMemoShape::TextStored() {
  lines_.clear();
  const std::u16string& text = Text();
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c != u'\r' && c != u'\n') continue;
    lines_.emplace_back(text, start, i - start);
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines_.emplace_back(text, start, text.size() - start);
}

}  // namespace sw
