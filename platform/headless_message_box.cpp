#include "platform/headless_message_box.h"

#include "base/exception.h"

namespace sw {

TMessageAnswer THeadlessMessageBoxes::Show(const std::string& text, const std::string& caption, TMessageKind kind,
                                           TMessageButtons buttons) {
  TMessage m{text, caption, kind, buttons, TMessageAnswer::Ok, false};
  if (buttons == TMessageButtons::YesNo) m.Answer = TMessageAnswer::No;
  if (buttons == TMessageButtons::YesNoCancel) m.Answer = TMessageAnswer::Cancel;
  if (buttons != TMessageButtons::Ok && !script_.empty()) {
    const TMessageAnswer scripted = script_.front();
    script_.pop_front();
    if (!IsAnswerOf(buttons, scripted)) {
      messages_.push_back(m);
      RaiseError(Format("Scripted answer %s does not fit the message \"%s\"", AnswerName(scripted), text.c_str()));
    }
    m.Answer = scripted;
    m.Scripted = true;
  }
  messages_.push_back(m);
  return m.Answer;
}

}  // namespace sw
