// The guide sheet: a plain-paper print of the layout's positions, each with its cutting outline,
// the outer edge of its bleed band and its position number, drawn as thin lines. Held against a
// pre-cut sheet it shows whether the printer puts the copies where the cuts are, and by how much
// to offset it if not.
#pragma once

#include <memory>

#include "magnet/print_run.h"

namespace sw {

class TMagnetDesign;

// Builds the guide as a one-page document of the design's paper: every position of the layout
// (printed or skipped) with a black cutting outline 0.1 mm wide centred on the cut, a grey bleed
// outline where the template has a bleed margin, the position number in the middle and a caption
// in the bottom margin. Nothing while no design is loaded (raises "There is no design to print").
std::unique_ptr<TdtpDocument> BuildGuideSheet(TMagnetDesign& design);

// Prints the guide as RunMagnetPrint prints the sheet: the design's paper, the options' offset and
// quality, one job.
void PrintGuideSheet(TMagnetDesign& design, IPrinter& printer, const TPrintRunOptions& options,
                     IProgress* progress = nullptr);

}  // namespace sw
