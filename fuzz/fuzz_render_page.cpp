// Renders arbitrary page XML (root "Page"; any other root is one shape on a page) with every shape
// kind registered and the machine's fonts, at a resolution that puts the page's longer side at no
// more than 128 pixels, and checks the picture's size. Inputs whose shapes together would need
// more cache pixels than two full cache budgets are left out, so that every input renders in
// bounded time; a cache above the budget is still reached by a single shape.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "base/exception.h"
#include "engine/document.h"
#include "fuzz/render_bounds.h"
#include "engine/page.h"
#include "engine/registry.h"
#include "platform/fonts.h"
#include "platform/services.h"
#include "shapes/engine_start.h"
#include "storage/xml/native_xml.h"

namespace {

using namespace sw::fuzz;

std::unique_ptr<sw::TFontSystem> fonts;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The fuzzer is the program here: it creates the services once, as a main would.
  fonts = sw::TFontSystem::CreateForMachine();
  sw::PrepareEngine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace sw;
  try {
    TNativeXml xml;
    xml.LoadFromString(std::string_view(reinterpret_cast<const char*>(data), size));
    const TXmlNode* root = xml.Root();
    if (!root || root->Name().empty()) return 0;
    TServices services;
    services.Fonts = fonts.get();
    TdtpDocument doc(services);
    doc.DisableUndo();
    TdtpPage& page = *doc.CurrentPage();
    if (root->Name() == "Page") {
      page.LoadFromXml(root);
    } else {
      std::unique_ptr<TdtpShape> shape = CreateShapeByClassName(root->ReadString("ClassName", ""));
      TdtpShape* raw = shape.get();
      if (doc.AddShape(std::move(shape)) < 0) return 0;
      raw->LoadFromXml(root);
    }

    const double longSide = std::max(std::abs(static_cast<double>(page.DocWidth())),
                                     std::abs(static_cast<double>(page.DocHeight())));
    const double dpm = longSide > 0 && std::isfinite(longSide) ? std::min(kMaxDpm, kLongSidePixels / longSide) : 1;
    double pixels = 0;
    int count = 0;
    if (!(dpm > 0) || !WithinBounds(page, dpm, pixels, count)) return 0;

    const std::unique_ptr<TBitmap32> picture = doc.RenderPage(page, dpm);
    if (!picture->Empty()) {
      const double w = std::round(page.DocWidth() * dpm), h = std::round(page.DocHeight() * dpm);
      if (std::abs(picture->Width() - w) > 1 || std::abs(picture->Height() - h) > 1) std::abort();
    }
  } catch (const Exception&) {
  }
  return 0;
}
