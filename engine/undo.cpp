// The document's side of its undo log (engine/undo_log.h): what may be recorded, and executing a
// command on the shape that recorded it while a step replays.
#include "engine/document.h"
#include "platform/message_box.h"

namespace sw {

void TdtpDocument::AddUndo(std::unique_ptr<TdtpCommand> command) {
  if (!command || !UndoEnabled()) return;
  undo_.Add(std::move(command));
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

bool TdtpDocument::ReplayStep(bool undo) {
  CheckNotBusy();
  if (!UndoEnabled()) return false;
  return undo_.Replay(
      undo, [this](TdtpCommand* command) { ExecuteCommand(command); }, [this] { BeginUpdate(); },
      [this] { EndUpdate(); });
}

}  // namespace sw
