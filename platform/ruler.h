// Rulers beside a document window. The document drives them: the unit to show, the millimetre
// at the ruler's first pixel, the screen resolution and a hair line following the mouse.
#pragma once

#include <cstdint>

namespace sw {

enum TRulerUnit : uint8_t { ruCenti = 0, ruMilli = 1, ruInch = 2, ruPixel = 3, ruNone = 4 };
enum class TRulerOrientation : uint8_t { Horizontal = 0, Vertical = 1 };

class IRuler {
public:
  virtual ~IRuler() = default;
  // ruNone shows a blank ruler.
  virtual void SetUnits(TRulerUnit units) = 0;
  virtual TRulerUnit Units() const = 0;
  // Millimetres of the document at the ruler's first pixel (the window's left or top edge);
  // pixel p shows offset + p / screen resolution.
  virtual void SetOffset(float millimetres) = 0;
  virtual float Offset() const = 0;
  // Screen pixels per millimetre; a value that is not positive and finite shows no scale.
  virtual void SetScreenDpm(float pixelsPerMm) = 0;
  virtual float ScreenDpm() const = 0;
  // The hair line's position in window pixels along the ruler; positions off the ruler draw nothing.
  virtual void SetHairLinePos(int32_t pixel) = 0;
  virtual int32_t HairLinePos() const = 0;
  virtual void SetHairLineVisible(bool visible) = 0;
  virtual bool HairLineVisible() const = 0;
  virtual TRulerOrientation Orientation() const = 0;
};

// The piece where the two rulers meet; it shows the unit's name.
class IRulerCorner {
public:
  virtual ~IRulerCorner() = default;
  virtual void SetUnits(TRulerUnit units) = 0;
  virtual TRulerUnit Units() const = 0;
};

// The short name a corner shows: "cm", "mm", "in", "px", or empty for ruNone.
const char* RulerUnitName(TRulerUnit units);

}  // namespace sw
