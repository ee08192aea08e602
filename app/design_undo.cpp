#include "app/design_undo.h"

#include "magnet/magnet_design.h"

namespace sw {

TDesignUndo::TDesignUndo(TMagnetDesign& design) : design_(design) { design_.Document().SetUndoEnabled(true); }

void TDesignUndo::Quietly(const std::function<void()>& change) {
  TdtpDocument& document = design_.Document();
  document.DisableUndo();
  try {
    change();
  } catch (...) {
    document.EnableUndo();
    throw;
  }
  document.EnableUndo();
}

bool TDesignUndo::SettleFlash() {
  if (!design_.Flashing()) return false;
  Quietly([this] { design_.EndTextFlash(); });
  return true;
}

void TDesignUndo::Step(const std::function<void()>& change, const std::string& key) {
  const bool flashed = SettleFlash();
  TdtpDocument& document = design_.Document();
  document.BeginGesture(key);
  try {
    change();
  } catch (...) {
    document.EndGesture();
    throw;
  }
  document.EndGesture();
  // The flash the step interrupted goes on (a step that flashes has restarted it already).
  if (flashed && !design_.Flashing()) Quietly([this] { design_.FlashTextBox(); });
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

bool TDesignUndo::Undo() {
  SettleFlash();
  return design_.Document().Undo();
}

bool TDesignUndo::Redo() {
  SettleFlash();
  return design_.Document().Redo();
}

void TDesignUndo::Clear() {
  while (gestures_ > 0) EndGesture();
  design_.Document().ClearUndo();
}

}  // namespace sw
