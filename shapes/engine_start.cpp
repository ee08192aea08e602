#include "shapes/engine_start.h"

#include "base/file_targets.h"
#include "shapes/register.h"
#include "storage/resources/resource_thread.h"
#include "storage/xml/xml_node.h"

namespace sw {

void PrepareEngine() {
  RegisterShapeKinds();
  InitXmlDefaults();
}

std::unique_ptr<TResourceThreadScope> StartEngine() {
  InstallTemporaryFileCleanup();
  auto pictureCache = std::make_unique<TResourceThreadScope>();
  PrepareEngine();
  return pictureCache;
}

}  // namespace sw
