// Message boxes: a text, a caption and a choice of buttons, answered by the user.
#pragma once

#include <cstdint>
#include <string>

namespace sw {

enum class TMessageKind : uint8_t { Information = 0, Warning = 1, Error = 2, Question = 3 };
enum class TMessageButtons : uint8_t { Ok = 0, YesNo = 1, YesNoCancel = 2 };
enum class TMessageAnswer : uint8_t { Ok = 0, Yes = 1, No = 2, Cancel = 3 };

// Whether answer is one of the buttons (Ok for Ok; Yes or No for YesNo; Yes, No or Cancel).
bool IsAnswerOf(TMessageButtons buttons, TMessageAnswer answer);
// "Ok", "Yes", "No", "Cancel".
const char* AnswerName(TMessageAnswer answer);

class IMessageBoxes {
public:
  virtual ~IMessageBoxes() = default;
  // Shows the message and returns the button chosen, always one of buttons. Closing the box
  // without choosing answers Cancel for YesNoCancel, No for YesNo and Ok for Ok. An empty caption
  // shows the kind's own ("Information", "Warning", "Error", "Confirm").
  virtual TMessageAnswer Show(const std::string& text, const std::string& caption, TMessageKind kind,
                              TMessageButtons buttons) = 0;
};

// The caption shown for an empty one.
const char* DefaultCaption(TMessageKind kind);

}  // namespace sw
