// Undo and redo of the design's changes through the design document's own undo log: one step per
// user gesture (a button, a typed value, an arrow held down, a run of typing in the message), the
// grey flash of the message box never recorded, and a fresh log whenever a design is applied.
// Shapes record no undo for their visibility nor for a picture's bytes, so the showing and hiding
// of the user's picture ("load image", "clear image", "reset") and the picture a load replaced are
// kept here beside the step that made it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace sw {

class TMagnetDesign;
class TdtpCommand;
struct TUserPicture;

class TDesignUndo {
public:
  // Turns the design document's undo log on.
  explicit TDesignUndo(TMagnetDesign& design);

  // Runs change as one undo step. A step with a key continues the previous step of the same key
  // when nothing else was recorded in between (typing into the message). A message flash running
  // when the step begins is settled first, so the step records the box as it really is, and it
  // goes on after the step.
  void Step(const std::function<void()>& change, const std::string& key = {});
  // A step that loads, clears or replaces the user's picture: undo and redo bring back the
  // picture itself (its bytes are shared, not copied), not only its place and visibility.
  void PictureStep(const std::function<void()>& change);
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
  // What a step did to the user picture's visibility (and, for a picture step, the picture before
  // and after), filed under the step's newest command (its kind, shape and name confirm that the
  // command is still the same one).
  struct TVisibilityMark {
    int32_t ShapeId = 0;
    std::string Name;
    std::string Value;
    bool Before = false;
    bool After = false;
    std::shared_ptr<const TUserPicture> BeforePicture;
    std::shared_ptr<const TUserPicture> AfterPicture;
  };
  using TMarks = std::map<const TdtpCommand*, TVisibilityMark>;
  void Record(const std::function<void()>& change, const std::string& key, bool keepPicture);
  // The mark of the newest command of a list, taken out of marks; false when there is none.
  static bool TakeMark(TMarks& marks, const TdtpCommand* newest, TVisibilityMark& mark);
  // Files mark under the newest command of the other list after a replay.
  static void PutMark(TMarks& marks, const TdtpCommand* newest, TVisibilityMark mark);
  // The picture as the mark had it before (undo) or after (redo) its step.
  void ShowPicture(const TVisibilityMark& mark, bool undo);
  bool Replay(bool undo);
  TMarks undoMarks_;
  TMarks redoMarks_;
  // Ends a running flash without recording; true when one was running.
  bool SettleFlash();
  TMagnetDesign& design_;
  int gestures_ = 0;
};

}  // namespace sw
