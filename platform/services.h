// The services whoever starts the program creates once and hands to documents and windows: the
// designer's main, stickwell-cli's main, a test fixture. None is a global; a missing one (null)
// means the feature it serves is not available (a document without timers refreshes no thumbnails
// on its own).
#pragma once

namespace sw {

class TFontSystem;
class ITimerService;

struct TServices {
  TFontSystem* Fonts = nullptr;
  ITimerService* Timers = nullptr;
};

}  // namespace sw
