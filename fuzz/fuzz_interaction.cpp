// Arbitrary mouse, key and timer events on a page holding one shape of every registered kind, some
// of them turned, in a headless window. The first bytes choose the document's interaction settings;
// every further four bytes are one event. No sequence may crash, and the page left behind must save
// to XML that loads again into a page of another document.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/exception.h"
#include "engine/document.h"
#include "engine/page.h"
#include "engine/registry.h"
#include "platform/fonts.h"
#include "platform/headless_timer.h"
#include "platform/headless_window_host.h"
#include "platform/services.h"
#include "shapes/engine_start.h"
#include "storage/xml/native_xml.h"

namespace {

std::unique_ptr<sw::TFontSystem> fonts;

constexpr int32_t kWidth = 320, kHeight = 240;
constexpr size_t kMaxEvents = 1500;

const uint16_t kKeys[] = {sw::vk::Escape, sw::vk::Delete, sw::vk::F2,   sw::vk::F5,    sw::vk::Left, sw::vk::Right,
                          sw::vk::Up,     sw::vk::Down,   sw::vk::Home, sw::vk::End,   sw::vk::Back, sw::vk::Return,
                          sw::vk::Tab,    sw::vk::Shift,  'A',          sw::vk::Insert};

// A coordinate in and somewhat around the window.
int32_t Coord(uint8_t v, int32_t size) { return static_cast<int32_t>(v) * (size + 40) / 255 - 20; }

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The fuzzer is the program here: it creates the services once, as a main would.
  fonts = sw::TFontSystem::CreateForMachine();
  sw::PrepareEngine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace sw;
  if (size < 4) return 0;
  THeadlessTimerService timers;
  TServices services;
  services.Fonts = fonts.get();
  services.Timers = &timers;
  THeadlessWindowHost host(kWidth, kHeight);
  auto doc = std::make_unique<TdtpDocument>(services);
  host.SetClient(doc.get());
  uint64_t clock = 0;
  doc->TickSource = [&clock] { return clock; };
  doc->SetUseClipboard(false);
  try {
    // Small caches keep every paint quick; the interaction does not depend on their resolution.
    doc->SetRenderDpm(2);
    doc->SetWindowHost(&host);
    // The settings byte: grid, steps, select method, hot zone, handle style, read-only.
    const uint8_t settings = data[0], step = data[1];
    doc->SnapToGrid = (settings & 1) != 0;
    doc->StepAngle = static_cast<float>(step % 46);
    doc->MultiSelectMethod = (settings & 2) != 0 ? msmCtrl : msmSimple;
    doc->SetHotzoneScrolling(static_cast<TdtpHotzoneScrollingType>((settings >> 2) % 3));
    doc->HandlePainter = (settings & 16) != 0 ? hpStippleHandle : hpW2K3Handle;
    if (data[2] & 1) doc->SetZoomPercent(100 + (data[2] >> 1));
    TdtpPage& page = *doc->CurrentPage();
    int n = 0;
    for (const std::string& name : RegisteredShapeClassNames()) {
      if (name == "TdtpPage") continue;
      std::unique_ptr<TdtpShape> shape = CreateShapeByClassName(name);
      TdtpShape* raw = shape.get();
      if (doc->AddShape(std::move(shape)) < 0) continue;
      raw->SetBounds(static_cast<float>(10 + (n % 4) * 45), static_cast<float>(10 + (n / 4) * 30), 35, 20);
      if (n % 3 == 1) raw->SetAngle(static_cast<float>(n * 37));
      raw->ShowHint = n % 2 == 0;
      raw->Hint = name;
      ++n;
    }
    if (settings & 32) doc->SetReadOnly(true);
    if (settings & 64) doc->SetMode(vmBrowse);
    (void)page;
  } catch (const Exception&) {
    return 0;
  }

  size_t events = 0;
  for (size_t i = 3; i + 4 <= size && events < kMaxEvents; i += 4, ++events) {
    const uint8_t op = data[i], a = data[i + 1], b = data[i + 2], c = data[i + 3];
    const int32_t x = Coord(a, kWidth), y = Coord(b, kHeight);
    try {
      switch (op % 16) {
        case 0: host.Press(TMouseButton::mbLeft, x, y); break;
        case 1: host.Move(x, y); break;
        case 2: host.Release(TMouseButton::mbLeft, x, y); break;
        case 3: host.DoubleClickAt(x, y); break;
        case 4:
          host.Press(c & 1 ? TMouseButton::mbMiddle : TMouseButton::mbRight, x, y);
          host.Release(c & 1 ? TMouseButton::mbMiddle : TMouseButton::mbRight, x, y);
          break;
        case 5: host.Client()->KeyDown(kKeys[a % 16], host.KeyboardState()); break;
        case 6: host.Client()->KeyPress(static_cast<char16_t>(a | (c & 1 ? (b << 8) : 0))); break;
        case 7: host.Client()->KeyUp(kKeys[a % 16], host.KeyboardState()); break;
        case 8: host.SetKeys(static_cast<TShiftState>(c & (ssShift | ssAlt | ssCtrl))); break;
        case 9:
          clock += static_cast<uint64_t>(a) * 10;
          timers.Advance(static_cast<uint64_t>(a) * 10);
          break;
        case 10: host.PaintInvalidated(); break;
        case 11:
          if (TPopupMenu* menu = host.ShownPopupMenu()) menu->Click(a % 4);
          break;
        case 12: host.SetPointer(x, y); break;
        case 13: doc->Undo(); break;
        case 14: doc->Redo(); break;
        default: host.Drag(x, y, Coord(c, kWidth), Coord(static_cast<uint8_t>(c * 7), kHeight), 1 + (b & 3)); break;
      }
    } catch (const Exception&) {
      // A refused step (a paste of nothing, an undo while busy) leaves the document usable.
    }
    Check(doc->MouseState() != msEditing || doc->EditShape() != nullptr);
    // The XOR outline is on the screen only while a drag runs.
    Check(!doc->OutlineShown() || doc->MouseState() == msDragging);
  }

  // The page left behind saves and loads again.
  try {
    doc->EndShapeEdit(true);
  } catch (const Exception&) {
  }
  TdtpPage* page = doc->CurrentPage();
  Check(page != nullptr);
  TNativeXml xml("Page");
  page->SaveToXml(*xml.Root());
  const std::string text = xml.SaveToString();
  TNativeXml again;
  again.LoadFromString(text);
  TServices quiet;
  quiet.Fonts = fonts.get();
  TdtpDocument other(quiet);
  other.DisableUndo();
  other.CurrentPage()->LoadFromXml(again.Root());
  Check(other.CurrentPage()->ChildCount() == page->ChildCount());
  // The window is left alone before the document goes.
  doc->SetWindowHost(nullptr);
  host.SetClient(nullptr);
  return 0;
}
