// Undo and redo of the design's changes through the design document's own undo log: one step per
// user gesture (a button, a typed value, an arrow held down, a run of typing in the message), the
// grey flash of the message box never recorded, and a fresh log whenever a design is applied.
#pragma once

#include <functional>
#include <string>

namespace sw {

class TMagnetDesign;

class TDesignUndo {
public:
  // Turns the design document's undo log on.
  explicit TDesignUndo(TMagnetDesign& design);

  // Runs change as one undo step. A step with a key continues the previous step of the same key
  // when nothing else was recorded in between (typing into the message). A message flash running
  // when the step begins is settled first, so the step records the box as it really is, and it
  // goes on after the step.
  void Step(const std::function<void()>& change, const std::string& key = {});
  // Around a held-down spin arrow: the steps inside join the outer one.
  void BeginGesture();
  void EndGesture();
  // Runs change without recording anything (the flash and its end).
  void Quietly(const std::function<void()>& change);

  bool CanUndo() const;
  bool CanRedo() const;
  // Reverts or replays one step; false when there was none. The flash is settled first.
  bool Undo();
  bool Redo();
  // Forgets every step (a design was applied or built anew).
  void Clear();

private:
  // Ends a running flash without recording; true when one was running.
  bool SettleFlash();
  TMagnetDesign& design_;
  int gestures_ = 0;
};

}  // namespace sw
