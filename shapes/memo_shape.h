// TdtpMemoShape: the multi-line text shape, split at line breaks and optionally wrapped to its
// width. Its Lines are the text's lines, kept equal to Text both ways.
#pragma once

#include <string>
#include <vector>

#include "shapes/text_shape.h"

namespace sw {

class TdtpMemoShape : public TdtpTextShape {
public:
  // Multi-line on, word wrap off, resizing changes the box and not the font.
  TdtpMemoShape();

  static const char* StaticClassName() { return "TdtpMemoShape"; }
  const char* ClassName() const override { return StaticClassName(); }

  // The text cut at CR, LF and CR LF; a final line break adds no empty line.
  const std::vector<std::u16string>& Lines() const { return lines_; }
  // Sets Text to the lines joined with CR LF (no line break after the last).
  void SetLines(const std::vector<std::u16string>& lines);

protected:
  void TextStored() override;
  // Enter goes to the line editor (a line break) instead of ending the editing.
  bool EndsEditOn(uint16_t key, bool& accepted) const override;

private:
  std::vector<std::u16string> lines_;
};

}  // namespace sw
