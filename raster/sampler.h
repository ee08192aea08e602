// Samplers draw one bitmap onto another through a transform by inverse mapping: every target
// pixel centre is mapped back into the source and read there with the surface's bilinear
// interpolation (TBitmap32::SampleBilinear, in 64-bit coordinates here), averaged over n x n
// sub-pixel positions when supersampling.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "raster/bitmap32.h"
#include "raster/transform.h"

namespace sw {

class TdtpSampler {
public:
  TdtpSampler() = default;
  virtual ~TdtpSampler() = default;
  TdtpSampler(const TdtpSampler&) = delete;
  TdtpSampler& operator=(const TdtpSampler&) = delete;

  // A new sampler of this object's own class, in its initial state (the virtual constructor).
  virtual std::unique_ptr<TdtpSampler> CreateNew() const = 0;
  // The target is not owned.
  void SetTarget(TBitmap32* target) { target_ = target; }
  TBitmap32* Target() const { return target_; }
  // Stored for the caller; drawing does not use it.
  void SetArea(const TFloatRect& area) { area_ = area; }
  const TFloatRect& Area() const { return area_; }
  // Keeps the transform (not owned) and an owned inverted copy of the same class; null clears both.
  void SetTransform(const TdtpTransform* transform);
  const TdtpTransform* Transform() const { return transform_; }
  const TdtpTransform* InverseTransform() const { return inverse_.get(); }

  // The colours of target pixels (x .. x + count - 1, y); the buffer lives until the next call.
  // Returns null for count <= 0 or without transform.
  virtual const TColor32* SampleRow(int32_t x, int32_t y, int32_t count) = 0;
  // Lays the source area onto the target.
  virtual void Render(const TFloatRect& sourceArea) = 0;

protected:
  TBitmap32* target_ = nullptr;
  TFloatRect area_{};
  const TdtpTransform* transform_ = nullptr;
  std::unique_ptr<TdtpTransform> inverse_;
};

class TdtpMapSampler : public TdtpSampler {
public:
  static constexpr int32_t kMaxOversampling = 6;

  TdtpMapSampler();
  std::unique_ptr<TdtpSampler> CreateNew() const override { return std::make_unique<TdtpMapSampler>(); }

  // The source is not owned; its MasterAlpha and OuterColor take part in the drawing.
  void SetSource(const TBitmap32* source) { source_ = source; }
  const TBitmap32* Source() const { return source_; }
  // n x n samples per target pixel, n in 1..6; anything else raises "Illegal oversampling value"
  // and keeps the previous factor.
  void SetOversampling(int32_t n);
  int32_t Oversampling() const { return n_; }
  int32_t SampleCount() const { return n_ * n_; }
  // Sample offset i + n * j is ((j + 0.5) / n - 0.5, (i + 0.5) / n - 0.5).
  const std::vector<TFloatPoint>& Offsets() const { return offsets_; }

  // Rows longer than TBitmap32::kMaxPixels are refused with an Exception.
  const TColor32* SampleRow(int32_t x, int32_t y, int32_t count) override;
  // Maps the corners of sourceArea forward, and for every target row in their bounding box (clamped
  // to the target) merges the sampled row onto the target with the source's MasterAlpha. Pixels
  // that map outside the source read its OuterColor. Nothing happens without target, source or
  // transform, or when the corners are not finite.
  void Render(const TFloatRect& sourceArea) override;

private:
  // Pixels begin .. end - 1 of the row (x .. x + count - 1, y), exactly as the whole row has them.
  void SampleAffineRow(const TdtpAffineTransform& inv, int32_t x, int32_t y, int32_t count, int32_t begin,
                       int32_t end, TColor32* out) const;
  static constexpr int32_t kStripWidth = 256;
  void SampleGeneralRow(int32_t x, int32_t y, int32_t count);

  const TBitmap32* source_ = nullptr;
  int32_t n_ = 2;
  std::vector<TFloatPoint> offsets_;
  std::vector<TColor32> row_;
};

}  // namespace sw
