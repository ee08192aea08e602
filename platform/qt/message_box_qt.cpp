#include "platform/qt/message_box_qt.h"

#include <QMessageBox>
#include <QString>

namespace sw {

namespace {

QMessageBox::Icon IconOf(TMessageKind kind) {
  switch (kind) {
    case TMessageKind::Information: return QMessageBox::Information;
    case TMessageKind::Warning: return QMessageBox::Warning;
    case TMessageKind::Error: return QMessageBox::Critical;
    case TMessageKind::Question: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

TMessageAnswer TQtMessageBoxes::Show(const std::string& text, const std::string& caption, TMessageKind kind,
                                     TMessageButtons buttons) {
  QMessageBox box(parent_);
  box.setIcon(IconOf(kind));
  box.setWindowTitle(QString::fromStdString(caption.empty() ? std::string(DefaultCaption(kind)) : caption));
  // Plain text: a message quoting a file name or an error must not be read as markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromStdString(text));
  switch (buttons) {
    case TMessageButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Ok);
      break;
    case TMessageButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::No);
      break;
    case TMessageButtons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
  }
  const int result = box.exec();
  TMessageAnswer answer = TMessageAnswer::Ok;
  switch (result) {
    case QMessageBox::Yes: answer = TMessageAnswer::Yes; break;
    case QMessageBox::No: answer = TMessageAnswer::No; break;
    case QMessageBox::Cancel: answer = TMessageAnswer::Cancel; break;
    default: answer = TMessageAnswer::Ok; break;
  }
  // Whatever closed the box, the answer is one of its buttons.
  if (!IsAnswerOf(buttons, answer)) {
    answer = buttons == TMessageButtons::YesNoCancel ? TMessageAnswer::Cancel
             : buttons == TMessageButtons::YesNo     ? TMessageAnswer::No
                                                     : TMessageAnswer::Ok;
  }
  return answer;
}

}  // namespace sw
