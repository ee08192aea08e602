// Begin/end pairs of the document (updates, undo groups, busy, printing) run around a body so that
// the end also runs when the body raises.
#pragma once

namespace sw {

// Runs body between begin and end, ending also when body raises.
template <typename Begin, typename End, typename Body>
void Bracket(Begin&& begin, End&& end, Body&& body) {
  begin();
  try {
    body();
  } catch (...) {
    end();
    throw;
  }
  end();
}

}  // namespace sw
