// Every handler of the designer window runs inside RunGuarded, so that no exception ever crosses
// the Qt event loop: an error is shown in a message box with its message, and the window stays in
// the state the handler had reached when it failed.
#pragma once

#include <exception>
#include <new>
#include <string>
#include <utility>

#include "base/exception.h"
#include "platform/message_box.h"

namespace sw {

// Runs handler; false (after showing the message through boxes, when there are boxes) when it
// raised. Errors that are not the program's own are shown with their text as well.
template <class Handler>
bool RunGuarded(IMessageBoxes* boxes, Handler&& handler) {
  std::string message;
  try {
    std::forward<Handler>(handler)();
    return true;
  } catch (const Exception& e) {
    message = e.Message();
  } catch (const std::bad_alloc&) {
    message = "Out of memory";
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "Unknown error";
  }
  if (boxes) {
    try {
      boxes->Show(message, "Error", TMessageKind::Error, TMessageButtons::Ok);
    } catch (...) {
      // A message box that fails itself has nothing left to tell.
    }
  }
  return false;
}

}  // namespace sw
