// Feeds arbitrary XML to the picture-resource readers: a resource's own description (with its
// embedded picture decoded) and the older packed picture form.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/exception.h"
#include "storage/resources/bitmap_resource.h"
#include "storage/xml/native_xml.h"
#include "storage/formats/raster_formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sw::RegisterRasterFormats();
  sw::TNativeXml xml;
  try {
    xml.LoadFromString(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const sw::Exception&) {
    return 0;
  }
  sw::TXmlNode* root = xml.Root();
  if (!root) return 0;
  try {
    sw::TBitmap32 bitmap;
    sw::ReadXmlBitmap(root, "BackgroundImage", bitmap);
  } catch (const sw::Exception&) {
  }
  try {
    sw::TdtpBitmapResource resource;
    resource.LoadFromXml(*root);
    resource.BeginAccess();
    try {
      resource.Bitmap();
    } catch (const sw::Exception&) {
    }
    resource.EndAccess();
  } catch (const sw::Exception&) {
  }
  return 0;
}
