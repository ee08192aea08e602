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
struct TMergeRunOptions;
struct TMergeRunResult;

// The settings key of the design's template; empty when the design names no template.
std::string UsedPositionsKey(const TMagnetDesign& design);
// The used position numbers of the design's template, ascending; none without settings or a
// template. Entries that are not position numbers are ignored.
std::vector<int32_t> UsedPositions(const ISettings* settings, const TMagnetDesign& design);
// Stores positions (none: the sheet is fresh); nothing without settings or a template.
void SetUsedPositions(ISettings* settings, const TMagnetDesign& design, std::vector<int32_t> positions);
// Deselects the positions on grid (numbers beyond it are ignored); true when any was selected.
bool DeselectPositions(TLayoutGrid& grid, const std::vector<int32_t>& positions);
// The positions printed on the last sheet: every selected one for a print of the design alone;
// for a merge, the selected ones up to the result's last position (from the start position on
// when it was one sheet).
std::vector<int32_t> PrintedPositions(const TLayoutGrid& grid);
std::vector<int32_t> PrintedPositions(const TLayoutGrid& grid, const TMergeRunOptions& merge,
                                      const TMergeRunResult& result);
// What is used of the sheet after printed went onto it: with used when it went onto the same sheet,
// else printed alone; none once every one of the sheet's positions is used (the next print takes
// a fresh sheet).
std::vector<int32_t> UsedAfterPrint(std::vector<int32_t> used, const std::vector<int32_t>& printed, bool sameSheet,
                                    int32_t positions);
// The position a merge on the sheet starts at: after the last used one, or 1 when none is left.
int32_t StartAfterUsed(const std::vector<int32_t>& used, int32_t positions);

}  // namespace sw
