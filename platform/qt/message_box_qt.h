// Message boxes through QMessageBox, modal to a parent window.
#pragma once

#include "platform/message_box.h"

class QWidget;

namespace sw {

class TQtMessageBoxes : public IMessageBoxes {
public:
  // parent may be null (the box is then modal to the application); it is not owned.
  explicit TQtMessageBoxes(QWidget* parent) : parent_(parent) {}

  TMessageAnswer Show(const std::string& text, const std::string& caption, TMessageKind kind,
                      TMessageButtons buttons) override;

private:
  QWidget* parent_;
};

}  // namespace sw
