// The positions of a template's sheet used already: a pre-cut sheet printed in part goes back
// into the printer, and the next print leaves the used positions out. Kept in the program's
// settings under the template's name (which a design keeps), so the designer and stickwell-cli
// share them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sw {

class ISettings;
class TLayoutGrid;
class TMagnetDesign;

// The settings key of the design's template; empty when the design names no template.
std::string UsedPositionsKey(const TMagnetDesign& design);
// The used position numbers of the design's template, ascending; none without settings or a
// template. Entries that are not position numbers are ignored.
std::vector<int32_t> UsedPositions(const ISettings* settings, const TMagnetDesign& design);
// Stores positions (none: the sheet is fresh); nothing without settings or a template.
void SetUsedPositions(ISettings* settings, const TMagnetDesign& design, std::vector<int32_t> positions);
// Deselects the positions on grid (numbers beyond it are ignored); true when any was selected.
bool DeselectPositions(TLayoutGrid& grid, const std::vector<int32_t>& positions);
// The positions a print of the design alone prints: every selected one.
std::vector<int32_t> PrintedPositions(const TLayoutGrid& grid);
// What is used of the sheet after printed went onto it: with used when it went onto the same sheet,
// else printed alone; none once every one of the sheet's positions is used (the next print takes
// a fresh sheet).
std::vector<int32_t> UsedAfterPrint(std::vector<int32_t> used, const std::vector<int32_t>& printed, bool sameSheet,
                                    int32_t positions);

}  // namespace sw
