#include "magnet/used_positions.h"

#include <algorithm>
#include <charconv>

#include "magnet/magnet_design.h"
#include "magnet/print_layout.h"
#include "platform/settings.h"

namespace sw {

namespace {

// More positions than any sheet has are not a list of this store's making.
constexpr size_t kMaxUsedPositions = 10000;

void Normalise(std::vector<int32_t>& positions) {
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
}

}  // namespace

std::string UsedPositionsKey(const TMagnetDesign& design) {
  return design.TemplateName().empty() ? std::string() : "used-positions/" + design.TemplateName();
}

std::vector<int32_t> UsedPositions(const ISettings* settings, const TMagnetDesign& design) {
  std::vector<int32_t> positions;
  const std::string key = UsedPositionsKey(design);
  if (!settings || key.empty()) return positions;
  const std::string text = settings->Value(key);
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end && positions.size() < kMaxUsedPositions) {
    const char* comma = std::find(p, end, ',');
    int32_t n = 0;
    const auto [last, error] = std::from_chars(p, comma, n);
    if (error == std::errc() && last == comma && n >= 1) positions.push_back(n);
    p = comma + (comma < end ? 1 : 0);
  }
  Normalise(positions);
  return positions;
}

void SetUsedPositions(ISettings* settings, const TMagnetDesign& design, std::vector<int32_t> positions) {
  const std::string key = UsedPositionsKey(design);
  if (!settings || key.empty()) return;
  Normalise(positions);
  std::string text;
  for (const int32_t n : positions) {
    if (n < 1) continue;
    if (!text.empty()) text += ',';
    text += std::to_string(n);
  }
  settings->SetValue(key, text);
}

bool DeselectPositions(TLayoutGrid& grid, const std::vector<int32_t>& positions) {
  bool changed = false;
  for (const int32_t n : positions) {
    if (n < 1 || n > grid.Rows() * grid.Columns()) continue;
    const int32_t column = (n - 1) % grid.Columns(), row = (n - 1) / grid.Columns();
    changed = changed || grid.Selected(column, row);
    grid.SetSelected(column, row, false);
  }
  return changed;
}

std::vector<int32_t> PrintedPositions(const TLayoutGrid& grid) {
  std::vector<int32_t> positions;
  for (int32_t r = 0; r < grid.Rows(); ++r)
    for (int32_t c = 0; c < grid.Columns(); ++c)
      if (grid.Selected(c, r)) positions.push_back(grid.PositionNumber(c, r));
  return positions;
}

std::vector<int32_t> UsedAfterPrint(std::vector<int32_t> used, const std::vector<int32_t>& printed, bool sameSheet,
                                    int32_t positions) {
  if (!sameSheet) used.clear();
  used.insert(used.end(), printed.begin(), printed.end());
  Normalise(used);
  std::erase_if(used, [&](int32_t n) { return n < 1 || n > positions; });
  if (static_cast<int32_t>(used.size()) == positions) used.clear();
  return used;
}

}  // namespace sw
