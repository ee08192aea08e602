#include "magnet/design_undo.h"

#include "engine/command.h"
#include "engine/undo_log.h"
#include "magnet/magnet_design.h"

namespace sw {

TDesignUndo::TDesignUndo(TMagnetDesign& design) : design_(design) { design_.Document().SetUndoEnabled(true); }

void TDesignUndo::Quietly(const std::function<void()>& change) {
  const TUndoOff undoOff(design_.Document());
  change();
}

bool TDesignUndo::SettleFlash() {
  if (!design_.Flashing()) return false;
  Quietly([this] { design_.EndTextFlash(); });
  return true;
}

void TDesignUndo::Step(const std::function<void()>& change, const std::string& key) { Record(change, key, false); }

void TDesignUndo::PictureStep(const std::function<void()>& change) { Record(change, {}, true); }

void TDesignUndo::Record(const std::function<void()>& change, const std::string& key, bool keepPicture) {
  const bool flashed = SettleFlash();
  TdtpDocument& document = design_.Document();
  TdtpShape* picture = design_.Layer(TLayer::usrImage);
  const bool wasVisible = picture && picture->Visible();
  const std::shared_ptr<const TUserPicture> before = keepPicture ? design_.UserPicture() : nullptr;
  const TdtpCommand* newest = document.UndoCount() > 0 ? document.UndoItem(document.UndoCount() - 1) : nullptr;
  {
    const TGestureScope gesture(document, key);
    change();
    if (picture && picture == design_.Layer(TLayer::usrImage) && (before || picture->Visible() != wasVisible) &&
        document.UndoEnabled()) {
      // A step that only shows, hides or swaps the picture still needs a command to stand for it.
      if (document.UndoCount() == 0 || document.UndoItem(document.UndoCount() - 1) == newest) {
        document.AddUndo(std::make_unique<TdtpCommand>(ckProperty, picture->ShapeId(), "Visible",
                                                       wasVisible ? "True" : "False"));
      }
      const TdtpCommand* top = document.UndoItem(document.UndoCount() - 1);
      if (top && top != newest) {
        undoMarks_[top] = TVisibilityMark{top->ShapeId, top->Name, top->Value, wasVisible, picture->Visible(),
                                          before, before ? design_.UserPicture() : nullptr};
      }
    }
  }
  // The flash the step interrupted goes on (a step that flashes has restarted it already).
  if (flashed && !design_.Flashing()) Quietly([this] { design_.FlashTextBox(); });
}

bool TDesignUndo::TakeMark(TMarks& marks, const TdtpCommand* newest, TVisibilityMark& mark) {
  const auto found = marks.find(newest);
  if (found == marks.end()) return false;
  mark = found->second;
  marks.erase(found);
  return newest->ShapeId == mark.ShapeId && newest->Name == mark.Name && newest->Value == mark.Value;
}

void TDesignUndo::PutMark(TMarks& marks, const TdtpCommand* newest, TVisibilityMark mark) {
  if (!newest) return;
  mark.ShapeId = newest->ShapeId;
  mark.Name = newest->Name;
  mark.Value = newest->Value;
  marks[newest] = mark;
}

void TDesignUndo::ShowPicture(const TVisibilityMark& mark, bool undo) {
  const std::shared_ptr<const TUserPicture>& kept = undo ? mark.BeforePicture : mark.AfterPicture;
  if (kept) {
    Quietly([&] { design_.RestoreUserPicture(*kept); });
  } else if (TdtpShape* picture = design_.Layer(TLayer::usrImage)) {
    Quietly([&] { picture->SetVisible(undo ? mark.Before : mark.After); });
  }
}

bool TDesignUndo::Replay(bool undo) {
  SettleFlash();
  TdtpDocument& document = design_.Document();
  TMarks& from = undo ? undoMarks_ : redoMarks_;
  TMarks& to = undo ? redoMarks_ : undoMarks_;
  const int fromCount = undo ? document.UndoCount() : document.RedoCount();
  const TdtpCommand* newest = fromCount > 0 ? (undo ? document.UndoItem(fromCount - 1) : document.RedoItem(fromCount - 1))
                                            : nullptr;
  TVisibilityMark mark;
  const bool marked = newest && TakeMark(from, newest, mark);
  const int toCount = undo ? document.RedoCount() : document.UndoCount();
  if (!(undo ? document.Undo() : document.Redo())) return false;
  if (!marked) return true;
  ShowPicture(mark, undo);
  // The step going the other way, when the replay left one.
  const int now = undo ? document.RedoCount() : document.UndoCount();
  if (now > toCount) PutMark(to, undo ? document.RedoItem(now - 1) : document.UndoItem(now - 1), mark);
  return true;
}

void TDesignUndo::BeginGesture() {
  ++gestures_;
  design_.Document().BeginGesture();
}

void TDesignUndo::EndGesture() {
  if (gestures_ == 0) return;
  --gestures_;
  design_.Document().EndGesture();
}

bool TDesignUndo::CanUndo() const { return design_.Document().CanUndo(); }
bool TDesignUndo::CanRedo() const { return design_.Document().CanRedo(); }

bool TDesignUndo::Undo() { return Replay(true); }
bool TDesignUndo::Redo() { return Replay(false); }

void TDesignUndo::Clear() {
  while (gestures_ > 0) EndGesture();
  design_.Document().ClearUndo();
  undoMarks_.clear();
  redoMarks_.clear();
}

}  // namespace sw
