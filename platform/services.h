// The services whoever starts the program creates once and hands to documents and windows: the
// designer's main, stickwell-cli's main, a test fixture. None is a global; a missing one (null)
// means the feature it serves is not available (a document without timers refreshes no thumbnails
// on its own).
#pragma once

namespace sw {

class TFontSystem;
class ITimerService;
class IClipboard;
class IMessageBoxes;
class IPrinter;

struct TServices {
  TFontSystem* Fonts = nullptr;
  ITimerService* Timers = nullptr;
  // Without one, copies stay inside the program and pastes see no outside text.
  IClipboard* Clipboard = nullptr;
  // Without one, messages are not shown and questions answer as if closed unanswered.
  IMessageBoxes* MessageBoxes = nullptr;
  // The current printer; without one, printing raises "There is no printer".
  IPrinter* Printer = nullptr;
};

}  // namespace sw
