// The undo log: recording with groups, repeats, gestures and the size bound, and stepping back and
// forth. Replaying a step executes its commands while recording; what they replace is recorded
// again, and those records become the opposite step.
#include "engine/undo_log.h"

#include <exception>
#include <iterator>

#include "base/exception.h"
#include "engine/document.h"

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

// Runs a guard's end: raising on a normal exit, quietly while the error that ends the scope is on
// its way out (a destructor cannot replace it).
template <typename End>
void EndScope(int unwinding, End&& end) {
  if (std::uncaught_exceptions() <= unwinding) {
    end();
    return;
  }
  try {
    end();
  } catch (...) {
  }
}

}  // namespace

bool TdtpUndoLog::SetEnabled(bool value) {
  if (value == enabled_) return false;
  enabled_ = value;
  return true;
}

void TdtpUndoLog::Resume() {
  if (suspension_ <= 0) RaiseError("EnableUndo called more often than DisableUndo");
  --suspension_;
}

void TdtpUndoLog::EndGroup() {
  if (groupDepth_ <= 0) RaiseError("EndUndo called more often than BeginUndo");
  if (--groupDepth_ == 0) groupHasCommand_ = false;
}

void TdtpUndoLog::Add(std::unique_ptr<TdtpCommand> command) {
  if (capture_) {
    capture_->push_back(std::move(command));
    return;
  }
  // Dropped records leave the group flag alone: otherwise the group's next record would be
  // marked Joined and merge into the step before it.
  if (redoList_.empty() && !undoList_.empty() && IsRepeat(*undoList_.back(), *command)) return;
  if (gesture_.Depth > 0 && command->Kind == ckProperty &&
      !gesture_.Seen.emplace(command->ShapeId, command->Name).second) {
    return;
  }
  if (groupDepth_ > 0) {
    if (groupHasCommand_) command->Joined = true;
    groupHasCommand_ = true;
  }
  redoList_.clear();
  undoBytes_ += command->CommandSize();
  undoList_.push_back(std::move(command));
  undoBytes_ = BoundList(undoList_, undoBytes_);
  ++serial_;
  if (gesture_.Depth > 0) gesture_.LastSerial = serial_;
}

void TdtpUndoLog::Clear() {
  undoList_.clear();
  redoList_.clear();
  undoBytes_ = 0;
  ++serial_;
  // A property seen before the clear has no record left to restore it.
  gesture_.Seen.clear();
}

TdtpCommand* TdtpUndoLog::UndoItem(int index) const {
  if (index < 0 || index >= UndoCount()) return nullptr;
  return undoList_[static_cast<size_t>(index)].get();
}

TdtpCommand* TdtpUndoLog::RedoItem(int index) const {
  if (index < 0 || index >= RedoCount()) return nullptr;
  return redoList_[static_cast<size_t>(index)].get();
}

bool TdtpUndoLog::Replay(bool undo, const std::function<void(TdtpCommand*)>& execute,
                         const std::function<void()>& begin, const std::function<void()>& end) {
  TCommandList& from = undo ? undoList_ : redoList_;
  TCommandList& to = undo ? redoList_ : undoList_;
  if (from.empty() || capture_) return false;
  size_t start = from.size() - 1;
  while (start > 0 && from[start]->Joined) --start;
  std::vector<std::unique_ptr<TdtpCommand>> step(std::make_move_iterator(from.begin() + static_cast<std::ptrdiff_t>(start)),
                                                 std::make_move_iterator(from.end()));
  from.erase(from.begin() + static_cast<std::ptrdiff_t>(start), from.end());
  if (undo) undoBytes_ = ListBytes(undoList_);
  ++serial_;
  // Whatever is recorded after the step is a step of its own.
  groupHasCommand_ = false;
  gesture_.Seen.clear();

  std::vector<std::unique_ptr<TdtpCommand>> opposite;
  // Commands not replayed (after an error) stay where they were; the records of those replayed
  // form the opposite step, first not joined and the others joined.
  auto settle = [&] {
    capture_ = nullptr;
    for (auto& command : step) from.push_back(std::move(command));
    for (size_t i = 0; i < opposite.size(); ++i) {
      opposite[i]->Joined = i > 0;
      to.push_back(std::move(opposite[i]));
    }
    undoBytes_ = BoundList(undoList_, ListBytes(undoList_));
    BoundList(redoList_, ListBytes(redoList_));
  };
  capture_ = &opposite;
  begin();
  try {
    // Newest first: each command finds the state it was recorded in.
    while (!step.empty()) {
      std::unique_ptr<TdtpCommand> command = std::move(step.back());
      step.pop_back();
      execute(command.get());
    }
  } catch (...) {
    settle();
    end();
    throw;
  }
  settle();
  end();
  return true;
}

bool TdtpUndoLog::BeginGesture(const std::string& key) {
  if (gesture_.Depth++ > 0) return false;
  const bool resume = !key.empty() && key == gesture_.Key && gesture_.LastSerial == serial_ && !undoList_.empty();
  gesture_.Key = key;
  if (!resume) {
    gesture_.Seen.clear();
    gesture_.LastSerial = kNoSerial;
  }
  BeginGroup();
  // The first record of a resumed gesture joins the step the gesture made before.
  if (resume) groupHasCommand_ = true;
  return true;
}

bool TdtpUndoLog::EndGesture() {
  if (gesture_.Depth <= 0) RaiseError("EndGesture called more often than BeginGesture");
  return --gesture_.Depth == 0;
}

// --- Scope guards ---

TUndoStep::TUndoStep(TdtpDocument* document) : document_(document), unwinding_(std::uncaught_exceptions()) {
  if (document_) document_->BeginUndo();
}

TUndoStep::~TUndoStep() noexcept(false) {
  if (document_) EndScope(unwinding_, [this] { document_->EndUndo(); });
}

TUndoOff::TUndoOff(TdtpDocument* document) : document_(document), unwinding_(std::uncaught_exceptions()) {
  if (document_) document_->DisableUndo();
}

TUndoOff::~TUndoOff() noexcept(false) {
  if (document_) EndScope(unwinding_, [this] { document_->EnableUndo(); });
}

TGestureScope::TGestureScope(TdtpDocument& document, const std::string& key)
    : document_(document), unwinding_(std::uncaught_exceptions()) {
  document_.BeginGesture(key);
}

TGestureScope::~TGestureScope() noexcept(false) {
  EndScope(unwinding_, [this] { document_.EndGesture(); });
}

}  // namespace sw
