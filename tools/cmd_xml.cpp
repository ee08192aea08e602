#include "tools/commands.h"

namespace sw::cli {

int CmdXml(const Args&) { UsageError("the xml command is not built yet"); }

}  // namespace sw::cli
