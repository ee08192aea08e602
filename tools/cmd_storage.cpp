#include "tools/commands.h"

namespace sw::cli {

int CmdStorage(const Args&) { UsageError("the storage command is not built yet"); }

}  // namespace sw::cli
