// What the rendering fuzz targets share: the resolution they draw at and the bound that keeps
// every input's rendering time finite (shape count and the cache pixels the shapes could need).
#pragma once

#include <algorithm>
#include <cmath>

#include "engine/document.h"
#include "engine/shape.h"

namespace sw::fuzz {

constexpr double kLongSidePixels = 128;
constexpr double kMaxDpm = 4;
constexpr int kMaxShapes = 400;
constexpr double kMaxCachePixels = 2.0 * TdtpDocument::kCachePixelBudget;

inline double Extent(float length, float curbs) {
  const double v = std::abs(static_cast<double>(length)) + std::abs(static_cast<double>(curbs));
  return std::isfinite(v) ? v : 1e30;
}

// Adds what the shape and its subtree could need in cache pixels at dpm (each shape at most one
// budget) and counts the shapes; false as soon as either bound is passed.
inline bool WithinBounds(const TdtpShape& shape, double dpm, double& pixels, int& count) {
  if (++count > kMaxShapes) return false;
  const double w = Extent(shape.DocWidth(), shape.EffectiveCurbLeft() + shape.EffectiveCurbRight());
  const double h = Extent(shape.DocHeight(), shape.EffectiveCurbTop() + shape.EffectiveCurbBottom());
  pixels += std::min((w * dpm + 2) * (h * dpm + 2), static_cast<double>(TdtpDocument::kCachePixelBudget));
  if (pixels > kMaxCachePixels) return false;
  for (int i = 0; i < shape.ChildCount(); ++i) {
    if (!WithinBounds(*shape.Child(i), dpm, pixels, count)) return false;
  }
  return true;
}

}  // namespace sw::fuzz
