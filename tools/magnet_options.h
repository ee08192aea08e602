// What the magnet verbs of stickwell-cli share: reading their options (numbers always with "."
// or ",", whatever the locale), the print-layout options and opening a design as the window does.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "raster/color32.h"
#include "tools/commands.h"

namespace sw {
class TMagnetDesign;
class TPrintSheet;
struct TPrintLayout;
}  // namespace sw

namespace sw::cli {

// The options after a verb's fixed arguments, read left to right: the magnet verbs' flags stand
// alone, every other "--" option takes the next argument as its value. Each verb takes the
// options it knows; Finish refuses whatever is left.
class TOptionReader {
public:
  // Raises a usage error for an option that wants a value and has none.
  TOptionReader(const Args& args, size_t first);
  // True (and the flag consumed) when the flag was given.
  bool Flag(const std::string& name);
  // The value of the option when given (the last one when given more than once).
  std::optional<std::string> Value(const std::string& name);
  // Raises a usage error naming the first option or argument no one took.
  void Finish() const;

private:
  struct TEntry {
    std::string Name;
    std::optional<std::string> Value;
    bool Used = false;
  };
  std::vector<TEntry> entries_;
};

// A decimal number ("." or ","), within -1e6 .. 1e6.
float ParseNumber(const std::string& text, const std::string& option);
// Two numbers "AxB" or "A,B" (decimal point ".": "1.5,2" is 1.5 and 2).
void ParsePair(const std::string& text, const std::string& option, float& a, float& b);
// A whole number, negative allowed, within -1e6 .. 1e6.
int32_t ParseWhole(const std::string& text, const std::string& option);
// "#RRGGBB" as written, for pictures, and as the colour shapes hold.
TRgbColor ParseRgb(const std::string& text, const std::string& option);
TdtpColor ParseColour(const std::string& text, const std::string& option);

// The print-layout options (--paper WxH, --outer X,Y, --inner X,Y, --landscape, --portrait,
// --uncut, --precut, --skip N,N,...; also --paper-type precut|uncut, --orientation
// portrait|landscape) applied to the design as the print tab's controls would. Returns the
// positions to skip.
std::vector<int32_t> ReadLayoutOptions(TOptionReader& options, TMagnetDesign& magnet);
// The layout with the skipped positions deselected (the grid is sized by a first layout).
TPrintLayout LayOut(TMagnetDesign& magnet, TPrintSheet& sheet, const std::vector<int32_t>& skips);

int CmdMagnetDesign(const Args& args);    // magnet design TEMPLATE OUT.fmd [...]
int CmdMagnetTemplate(const Args& args);  // magnet template OUT.fmt --name NAME --size WxH --bleed M [...]
int CmdMagnetArtwork(const Args& args);   // magnet artwork cutout|mask|background OUT.png --size WxH [...]

}  // namespace sw::cli
