#include "tools/commands.h"

namespace sw::cli {

int CmdImage(const Args&) { UsageError("the image command is not built yet"); }

}  // namespace sw::cli
