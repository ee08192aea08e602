// A clipboard in memory, private to its owner: tests and tools never touch the user's clipboard.
#pragma once

#include <string>

#include "platform/clipboard.h"

namespace sw {

class THeadlessClipboard : public IClipboard {
public:
  void SetText(const std::string& text) override {
    text_ = text;
    hasText_ = true;
    ++setCount_;
  }
  std::string Text() const override { return hasText_ ? text_ : std::string(); }
  bool HasText() const override { return hasText_; }

  // Empties the clipboard, as when another program puts a picture on it.
  void Clear() {
    text_.clear();
    hasText_ = false;
  }
  // Times SetText was called.
  int32_t SetCount() const { return setCount_; }

private:
  std::string text_;
  bool hasText_ = false;
  int32_t setCount_ = 0;
};

}  // namespace sw
