// The document's side of the selection handles: which painter a shape gets, and the handles drawn
// over every paint of the window.
#include "engine/document.h"
#include "engine/handles.h"

namespace sw {

std::unique_ptr<TdtpHandlePainter> TdtpDocument::CreateHandlePainter(TdtpShape* shape) {
  std::unique_ptr<TdtpHandlePainter> painter;
  switch (HandlePainter) {
    case hpStippleHandle:
      painter = std::make_unique<TdtpHandlePainter>(shape);
      break;
    case hpW2K3Handle:
      painter = std::make_unique<TdtpW2K3HandlePainter>(shape);
      break;
    case hpCustomHandle:
      if (OnCreateHandlePainter) OnCreateHandlePainter(this, shape, painter);
      break;
  }
  return painter;
}

void TdtpDocument::DrawSelectionHandles(TCanvas& canvas) {
  if (ReadOnly()) return;
  if (TdtpPage* page = CurrentPage()) {
    for (int i = 0; i < page->ChildCount(); ++i) {
      TdtpShape* child = page->Child(i);
      if (child && child->Selected() && child->AllowSelect()) child->DrawHandles(canvas);
    }
  }
  if (interaction_.EditShape && !interaction_.EditShape->Selected()) interaction_.EditShape->DrawHandles(canvas);
}

}  // namespace sw
