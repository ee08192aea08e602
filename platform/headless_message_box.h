// Message boxes without a screen: every message is recorded, and questions take their answers
// from a script the test writes beforehand ("the next question answers No").
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/message_box.h"

namespace sw {

class THeadlessMessageBoxes : public IMessageBoxes {
public:
  struct TMessage {
    std::string Text;
    std::string Caption;  // as passed, possibly empty
    TMessageKind Kind = TMessageKind::Information;
    TMessageButtons Buttons = TMessageButtons::Ok;
    TMessageAnswer Answer = TMessageAnswer::Ok;
    bool Scripted = false;  // the answer came from the script
  };

  // Queues the answer of the next message that offers a choice (YesNo or YesNoCancel); boxes with
  // only Ok answer Ok and leave the script alone.
  void ScriptAnswer(TMessageAnswer answer) { script_.push_back(answer); }
  // Answers not used yet.
  size_t PendingAnswers() const { return script_.size(); }

  // Records the message and answers it: Ok for Ok, else the next scripted answer, else the
  // answer that changes nothing (Cancel for YesNoCancel, No for YesNo). A scripted answer that
  // is not one of the buttons raises "Scripted answer <name> does not fit the message "<text>"",
  // and the message is still recorded.
  TMessageAnswer Show(const std::string& text, const std::string& caption, TMessageKind kind,
                      TMessageButtons buttons) override;

  const std::vector<TMessage>& Messages() const { return messages_; }
  // The last message's text; empty when none was shown.
  std::string LastText() const { return messages_.empty() ? std::string() : messages_.back().Text; }
  void ClearMessages() { messages_.clear(); }

private:
  std::deque<TMessageAnswer> script_;
  std::vector<TMessage> messages_;
};

}  // namespace sw
