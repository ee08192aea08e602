// The system clipboard through Qt (the application's QClipboard).
#pragma once

#include "platform/clipboard.h"

namespace sw {

class TQtClipboard : public IClipboard {
public:
  // Needs a running QGuiApplication for its whole life.
  TQtClipboard() = default;

  void SetText(const std::string& text) override;
  std::string Text() const override;
  bool HasText() const override;
};

}  // namespace sw
