// The whole document: loads an arbitrary storage file as a document archive with every shape kind
// registered, draws its first page and its thumbnail at no more than 128 pixels on the longer side,
// saves it and loads the saved archive again. An archive that loaded must save, and what was saved
// must load back with the same pages. Pages whose shapes together would need more cache pixels
// than two full cache budgets are not drawn, so that every input runs in bounded time.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "base/exception.h"
#include "base/stream.h"
#include "engine/document.h"
#include "fuzz/render_bounds.h"
#include "platform/fonts.h"
#include "platform/services.h"
#include "shapes/engine_start.h"
#include "storage/xml/native_xml.h"

namespace {

using namespace sw::fuzz;

std::unique_ptr<sw::TFontSystem> fonts;

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_document: %s\n", what);
  std::abort();
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
  TServices services;
  services.Fonts = fonts.get();
  TdtpDocument doc(services);
  try {
    TMemoryStream input(std::vector<uint8_t>(data, data + size));
    doc.LoadFromStream(input);
  } catch (const Exception&) {
    // A damaged archive is refused; the document stays usable all the same.
    if (doc.IsBusy() || doc.IsLoading() || doc.UpdateCount() != 0) Fail("a failed load left the document busy");
    try {
      TMemoryStream out;
      doc.SaveToStream(out);
    } catch (const Exception&) {
    }
    return 0;
  }

  if (TdtpPage* page = doc.CurrentPage()) {
    const double longSide =
        std::max(std::abs(static_cast<double>(page->DocWidth())), std::abs(static_cast<double>(page->DocHeight())));
    const double dpm = longSide > 0 && std::isfinite(longSide) ? std::min(kMaxDpm, kLongSidePixels / longSide) : 1;
    double pixels = 0;
    int count = 0;
    if (dpm > 0 && WithinBounds(*page, dpm, pixels, count)) {
      try {
        doc.RenderPage(*page, dpm);
        // The thumbnail is drawn anew (and saved) when it is no larger than the page drawn here.
        if (doc.ThumbnailWidth <= kLongSidePixels && doc.ThumbnailHeight <= kLongSidePixels) {
          page->SetChanged(true);
          page->Thumbnail();
        }
      } catch (const Exception&) {
      }
    }
  }

  std::vector<uint8_t> saved;
  try {
    TMemoryStream out;
    doc.SaveToStream(out);
    saved = out.Bytes();
  } catch (const Exception&) {
    // A picture that cannot be encoded again, for instance; the archive is then not written.
    return 0;
  }
  const int pages = doc.PageCount();
  TdtpDocument back(services);
  try {
    TMemoryStream again(saved);
    back.LoadFromStream(again);
  } catch (const Exception&) {
    Fail("a saved archive does not load");
  }
  if (back.PageCount() != pages) Fail("a saved archive has other pages");
  return 0;
}
