#include "platform/ruler.h"

namespace sw {

const char* RulerUnitName(TRulerUnit units) {
  switch (units) {
    case ruCenti: return "cm";
    case ruMilli: return "mm";
    case ruInch: return "in";
    case ruPixel: return "px";
    case ruNone: return "";
  }
  return "";
}

}  // namespace sw
