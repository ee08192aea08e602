// The undo log of TdtpDocument: recording with groups, repeats, gestures and the size bound,
// executing a command, and stepping back and forth. Replaying a step executes its commands while
// recording; what they replace is recorded again, and those records become the opposite step.
#include <iterator>

#include "base/exception.h"
#include "engine/document.h"
#include "platform/message_box.h"

namespace sw {

namespace {

// The most bytes each list holds; the oldest commands go first.
constexpr int64_t kUndoByteLimit = 10485760;
// No log serial ever takes this value.
constexpr uint64_t kNoSerial = UINT64_MAX;

using TCommandList = std::deque<std::unique_ptr<TdtpCommand>>;

int64_t ListBytes(const TCommandList& list) {
  int64_t total = 0;
  for (const auto& command : list) total += command->CommandSize();
  return total;
}

// Drops the oldest commands while total is above the bound; returns the new total.
int64_t BoundList(TCommandList& list, int64_t total) {
  while (total > kUndoByteLimit && !list.empty()) {
    total -= list.front()->CommandSize();
    list.pop_front();
  }
  return total;
}

bool IsRepeat(const TdtpCommand& last, const TdtpCommand& next) {
  return last.Kind == ckProperty && next.Kind == ckProperty && last.ShapeId == next.ShapeId &&
         last.Name == next.Name && last.Value == next.Value;
}

}  // namespace

void TdtpDocument::AddUndo(std::unique_ptr<TdtpCommand> command) {
  if (!command || !UndoEnabled()) return;
  if (undoCapture_) {
    undoCapture_->push_back(std::move(command));
    return;
  }
  // Dropped records leave the group flag alone: otherwise the group's next record would be
  // marked Joined and merge into the step before it.
  if (redoList_.empty() && !undoList_.empty() && IsRepeat(*undoList_.back(), *command)) return;
  if (gesture_.Depth > 0 && command->Kind == ckProperty &&
      !gesture_.Seen.emplace(command->ShapeId, command->Name).second) {
    return;
  }
  if (undoGroupDepth_ > 0) {
    if (groupHasCommand_) command->Joined = true;
    groupHasCommand_ = true;
  }
  redoList_.clear();
  undoBytes_ += command->CommandSize();
  undoList_.push_back(std::move(command));
  undoBytes_ = BoundList(undoList_, undoBytes_);
  ++undoSerial_;
  if (gesture_.Depth > 0) gesture_.LastSerial = undoSerial_;
}

void TdtpDocument::ClearUndo() {
  undoList_.clear();
  redoList_.clear();
  undoBytes_ = 0;
  ++undoSerial_;
  // A property seen before the clear has no record left to restore it.
  gesture_.Seen.clear();
}

TdtpCommand* TdtpDocument::UndoItem(int index) const {
  if (index < 0 || index >= UndoCount()) return nullptr;
  return undoList_[static_cast<size_t>(index)].get();
}

TdtpCommand* TdtpDocument::RedoItem(int index) const {
  if (index < 0 || index >= RedoCount()) return nullptr;
  return redoList_[static_cast<size_t>(index)].get();
}

void TdtpDocument::SetUndoEnabled(bool value) {
  if (value == undoEnabled_) return;
  undoEnabled_ = value;
  if (!value) ClearUndo();
}

bool TdtpDocument::ExecuteCommand(TdtpCommand* command) {
  if (!command || command->ShapeId == 0) return false;
  // The current page's shapes are the likely owners; every page then searches its whole tree.
  if (TdtpPage* page = CurrentPage()) {
    for (int i = 0; i < page->ChildCount(); ++i) {
      if (page->Child(i)->ApplyCommand(command)) return true;
    }
  }
  for (size_t i = 0; i < pages_.size(); ++i) {
    if (pages_[i]->ApplyCommand(command)) return true;
  }
  if (services_.MessageBoxes) {
    services_.MessageBoxes->Show("Unable to execute Undo", "", TMessageKind::Warning, TMessageButtons::Ok);
  }
  return false;
}

bool TdtpDocument::Undo() { return ReplayStep(true); }

bool TdtpDocument::Redo() { return ReplayStep(false); }

bool TdtpDocument::ReplayStep(bool undo) {
  CheckNotBusy();
  TCommandList& from = undo ? undoList_ : redoList_;
  TCommandList& to = undo ? redoList_ : undoList_;
  if (!UndoEnabled() || from.empty() || undoCapture_) return false;
  size_t start = from.size() - 1;
  while (start > 0 && from[start]->Joined) --start;
  std::vector<std::unique_ptr<TdtpCommand>> step(std::make_move_iterator(from.begin() + static_cast<std::ptrdiff_t>(start)),
                                                 std::make_move_iterator(from.end()));
  from.erase(from.begin() + static_cast<std::ptrdiff_t>(start), from.end());
  if (undo) undoBytes_ = ListBytes(undoList_);
  ++undoSerial_;
  // Whatever is recorded after the step is a step of its own.
  groupHasCommand_ = false;
  gesture_.Seen.clear();

  std::vector<std::unique_ptr<TdtpCommand>> opposite;
  // Commands not replayed (after an error) stay where they were; the records of those replayed
  // form the opposite step, first not joined and the others joined.
  auto settle = [&] {
    undoCapture_ = nullptr;
    for (auto& command : step) from.push_back(std::move(command));
    for (size_t i = 0; i < opposite.size(); ++i) {
      opposite[i]->Joined = i > 0;
      to.push_back(std::move(opposite[i]));
    }
    undoBytes_ = BoundList(undoList_, ListBytes(undoList_));
    BoundList(redoList_, ListBytes(redoList_));
  };
  undoCapture_ = &opposite;
  BeginUpdate();
  try {
    // Newest first: each command finds the state it was recorded in.
    while (!step.empty()) {
      std::unique_ptr<TdtpCommand> command = std::move(step.back());
      step.pop_back();
      ExecuteCommand(command.get());
    }
  } catch (...) {
    settle();
    EndUpdate();
    throw;
  }
  settle();
  EndUpdate();
  return true;
}

void TdtpDocument::BeginGesture(const std::string& key) {
  if (gesture_.Depth++ > 0) return;
  const bool resume = !key.empty() && key == gesture_.Key && gesture_.LastSerial == undoSerial_ &&
                      !undoList_.empty();
  gesture_.Key = key;
  if (!resume) {
    gesture_.Seen.clear();
    gesture_.LastSerial = kNoSerial;
  }
  BeginUndo();
  // The first record of a resumed gesture joins the step the gesture made before.
  if (resume) groupHasCommand_ = true;
}

void TdtpDocument::EndGesture() {
  if (gesture_.Depth <= 0) RaiseError("EndGesture called more often than BeginGesture");
  if (--gesture_.Depth == 0) EndUndo();
}

}  // namespace sw
