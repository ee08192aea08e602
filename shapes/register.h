// Program start registers every shape kind and effect class with this one call.
#pragma once

namespace sw {

// Registers the engine's shape classes, the effect, polygon-family and bitmap shape kinds and the
// TdtpEffect class; calling it again adds nothing.
void RegisterShapeKinds();

}  // namespace sw
