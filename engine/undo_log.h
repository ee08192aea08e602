// The undo log a document owns: two lists of commands with groups, repeats, gestures and a size
// bound, and the step replay between them. Scope guards bracket a document's undo groups,
// suspensions and gestures so that their ends also run when the body raises.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/command.h"

namespace sw {

class TdtpDocument;

class TdtpUndoLog {
public:
  // Switched on and not suspended; the owner adds its own conditions (a running load).
  bool Recording() const { return enabled_ && suspension_ == 0; }
  bool Enabled() const { return enabled_; }
  // True when the value changed.
  bool SetEnabled(bool value);
  void Suspend() { ++suspension_; }
  // Raises "EnableUndo called more often than DisableUndo" without its Suspend.
  void Resume();
  void BeginGroup() { ++groupDepth_; }
  // Raises "EndUndo called more often than BeginUndo" without its BeginGroup.
  void EndGroup();

  // Records the command (the owner checked Recording). Inside a group every command after the first
  // is Joined; a property record equal to the last one is dropped; during a replay it is kept as a
  // record of the opposite step.
  void Add(std::unique_ptr<TdtpCommand> command);
  void Clear();
  int UndoCount() const { return static_cast<int>(undoList_.size()); }
  int RedoCount() const { return static_cast<int>(redoList_.size()); }
  // Null outside the range.
  TdtpCommand* UndoItem(int index) const;
  TdtpCommand* RedoItem(int index) const;
  int64_t UndoBytes() const { return undoBytes_; }

  // Takes the last step of the undo list (undo) or the redo list, then runs begin, execute for each
  // command newest first, and end once the lists are settled, also when execute raises. Commands
  // not replayed stay where they were; what the replayed ones recorded becomes the opposite step.
  // False without a step or while a replay runs.
  bool Replay(bool undo, const std::function<void(TdtpCommand*)>& execute, const std::function<void()>& begin,
              const std::function<void()>& end);

  // True when the outermost gesture begins: it opened a group, and the owner begins the rest of
  // what an undo group begins.
  bool BeginGesture(const std::string& key);
  // True when the outermost gesture ends: the owner ends its undo group. Raises "EndGesture called
  // more often than BeginGesture" without its BeginGesture.
  bool EndGesture();
  bool InGesture() const { return gesture_.Depth > 0; }

private:
  using TCommandList = std::deque<std::unique_ptr<TdtpCommand>>;

  // Oldest first; the bound drops from the front.
  TCommandList undoList_;
  TCommandList redoList_;
  int64_t undoBytes_ = 0;
  // While a step replays, the records of what it replaces gather here.
  std::vector<std::unique_ptr<TdtpCommand>>* capture_ = nullptr;
  // Moves on with every change of the undo list.
  uint64_t serial_ = 0;
  TdtpUndoGesture gesture_;
  int32_t groupDepth_ = 0;
  bool groupHasCommand_ = false;
  int32_t suspension_ = 0;
  bool enabled_ = true;
};

// The document's BeginUndo for the life of one of these, EndUndo at its end (plainly nothing
// without a document). An end that raises on a normal exit raises from here; while another error
// is on its way out, that error wins.
class TUndoStep {
public:
  explicit TUndoStep(TdtpDocument* document);
  explicit TUndoStep(TdtpDocument& document) : TUndoStep(&document) {}
  ~TUndoStep() noexcept(false);
  TUndoStep(const TUndoStep&) = delete;
  TUndoStep& operator=(const TUndoStep&) = delete;

private:
  TdtpDocument* document_;
  int unwinding_;
};

// DisableUndo for the life of one of these, EnableUndo at its end, as TUndoStep.
class TUndoOff {
public:
  explicit TUndoOff(TdtpDocument* document);
  explicit TUndoOff(TdtpDocument& document) : TUndoOff(&document) {}
  ~TUndoOff() noexcept(false);
  TUndoOff(const TUndoOff&) = delete;
  TUndoOff& operator=(const TUndoOff&) = delete;

private:
  TdtpDocument* document_;
  int unwinding_;
};

// BeginGesture(key) for the life of one of these, EndGesture at its end, as TUndoStep.
class TGestureScope {
public:
  explicit TGestureScope(TdtpDocument& document, const std::string& key = {});
  ~TGestureScope() noexcept(false);
  TGestureScope(const TGestureScope&) = delete;
  TGestureScope& operator=(const TGestureScope&) = delete;

private:
  TdtpDocument& document_;
  int unwinding_;
};

}  // namespace sw
