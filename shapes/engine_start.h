// What comes before the first document: the shape kinds every page may name and the XML defaults
// documents start from, and for a program also the picture cache and the clean-up of save files a
// signal interrupts.
#pragma once

#include <memory>

namespace sw {

class TResourceThreadScope;

// Registers every shape kind and effect class and sets the program-wide XML defaults to the
// program's values. Test fixtures and fuzzers, which start no picture cache and install no signal
// handlers, call this alone; calling it again registers nothing new and resets the XML defaults.
void PrepareEngine();

// A program's start: PrepareEngine(), handlers that remove the save temporaries still open when
// SIGINT, SIGTERM or SIGHUP ends the process, and the picture-cache thread, which runs for as
// long as the returned scope lives (a second one while it does raises, as TResourceThreadScope).
[[nodiscard]] std::unique_ptr<TResourceThreadScope> StartEngine();

}  // namespace sw
