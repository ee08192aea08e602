#include "shapes/register.h"

#include "engine/registry.h"
#include "shapes/bitmap_shape.h"
#include "shapes/effect_shape.h"
#include "shapes/freehand_shape.h"
#include "shapes/line_shape.h"
#include "shapes/memo_shape.h"
#include "shapes/polygon_shape.h"
#include "shapes/text_shape.h"

namespace sw {

void RegisterShapeKinds() {
  RegisterEngineShapeClasses();
  RegisterEffectClass<TdtpEffect>(0);
  RegisterShapeClass<TdtpEffectShape>();
  RegisterShapeClass<TdtpGroupShape>();
  RegisterShapeClass<TdtpPolygonShape>();
  RegisterShapeClass<TdtpEllipseShape>();
  RegisterShapeClass<TdtpRectangleShape>();
  RegisterShapeClass<TdtpRoundRectShape>();
  RegisterShapeClass<TdtpTextShape>();
  RegisterShapeClass<TdtpMemoShape>();
  RegisterShapeClass<TdtpBitmapShape>();
  RegisterShapeClass<TdtpSnapBitmap>();
  RegisterShapeClass<TdtpLineShape>();
  RegisterShapeClass<TdtpFreehandShape>();
}

}  // namespace sw
