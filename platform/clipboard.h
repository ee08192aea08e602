// The system clipboard, for plain text only: copied shapes travel as XML text and in-place text
// editing exchanges its selection as text.
#pragma once

#include <string>

namespace sw {

class IClipboard {
public:
  virtual ~IClipboard() = default;
  // Replaces the clipboard's contents with text (UTF-8); an empty text still counts as text.
  virtual void SetText(const std::string& text) = 0;
  // The clipboard's text in UTF-8; empty when it holds no text.
  virtual std::string Text() const = 0;
  // True when the clipboard holds text, even empty text; false for nothing or other formats.
  virtual bool HasText() const = 0;
};

}  // namespace sw
