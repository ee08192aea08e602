#include "platform/message_box.h"

namespace sw {

bool IsAnswerOf(TMessageButtons buttons, TMessageAnswer answer) {
  switch (buttons) {
    case TMessageButtons::Ok: return answer == TMessageAnswer::Ok;
    case TMessageButtons::YesNo: return answer == TMessageAnswer::Yes || answer == TMessageAnswer::No;
    case TMessageButtons::YesNoCancel:
      return answer == TMessageAnswer::Yes || answer == TMessageAnswer::No || answer == TMessageAnswer::Cancel;
  }
  return false;
}

const char* AnswerName(TMessageAnswer answer) {
  switch (answer) {
    case TMessageAnswer::Ok: return "Ok";
    case TMessageAnswer::Yes: return "Yes";
    case TMessageAnswer::No: return "No";
    case TMessageAnswer::Cancel: return "Cancel";
  }
  return "?";
}

const char* DefaultCaption(TMessageKind kind) {
  switch (kind) {
    case TMessageKind::Information: return "Information";
    case TMessageKind::Warning: return "Warning";
    case TMessageKind::Error: return "Error";
    case TMessageKind::Question: return "Confirm";
  }
  return "";
}

}  // namespace sw
