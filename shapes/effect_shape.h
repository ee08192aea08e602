// Effects and the shapes that carry them. TdtpEffectShape is the base of every drawable shape
// kind: an ordered list of effects that post-process the shape's painted cache bitmap, widen the
// area it paints into and are stored with it. TdtpGroupShape is the plain container of children;
// TdtpPlaceHolder is the group that marks where content is still to go.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <typeindex>
#include <vector>

#include "engine/shape.h"

namespace sw {

class TdtpEffectShape;

// One post-processing step of a shape's painted bitmap. The base class alters no pixel; it is
// carried through loading, saving, copying and undo, and an enabled one sends its shape down the
// cached paint path.
class TdtpEffect {
public:
  TdtpEffect() = default;
  virtual ~TdtpEffect() = default;
  TdtpEffect(const TdtpEffect&) = delete;
  TdtpEffect& operator=(const TdtpEffect&) = delete;

  // The class name stored in files and looked up in the effect registry ("TdtpEffect").
  static const char* StaticClassName() { return "TdtpEffect"; }
  virtual const char* ClassName() const { return StaticClassName(); }

  // Copies the stored values of source through XML, so that every subclass copies what it saves.
  virtual void Assign(const TdtpEffect& source);
  // InvalidateArea of the owning shape; nothing without one.
  virtual void InvalidateOwner();
  // Processes the painted bitmap in place; the base does nothing.
  virtual void Apply(TBitmap32& bitmap, const TdtpPaintInfo& info) { (void)bitmap, (void)info; }
  // Called after the effect has been read from XML.
  virtual void AfterLoad() {}
  virtual void SetShape(TdtpEffectShape* shape) { shape_ = shape; }
  // May enlarge the margins (millimetres) the shape's painting needs; the base leaves them.
  virtual void AdjustCurbs(float& left, float& top, float& right, float& bottom) const {
    (void)left, (void)top, (void)right, (void)bottom;
  }
  // The class name without its "Tdtp" prefix and "Effect" suffix; empty for TdtpEffect itself
  // and for any name too short to hold both.
  virtual std::string GetName() const;
  // Adds the archive streams the effect uses; the base uses none.
  virtual void ListResources(std::vector<std::string>& names) const { (void)names; }
  // Reads "Enabled" (default false) and "Source" (default -2); a null node does nothing.
  virtual void LoadFromXml(const TXmlNode* node);
  // Writes "ClassName", "Enabled" and "Source", leaving out values equal to the reader's defaults.
  virtual void SaveToXml(TXmlNode& node) const;
  // RefreshSelf of the owning shape; nothing without one.
  virtual void RefreshOwner();
  // True for classes whose Apply reads SourceBitmap; only then are snapshots taken for it.
  virtual bool ReadsSource() const { return false; }

  bool Enabled() const { return enabled_; }
  // Refreshes and announces the owner when the value changes.
  void SetEnabled(bool value);
  // -2 none, -1 the shape's bitmap before any effect ran, n >= 0 the output of effect n.
  int32_t Source() const { return source_; }
  void SetSource(int32_t value);
  TdtpEffectShape* Shape() const { return shape_; }

  // While Apply runs: the picture Source names, or null when it names none. An index that is not
  // an earlier effect of the same shape (itself, a later one, or one outside the list) is none.
  const TBitmap32* SourceBitmap() const;

private:
  friend class TdtpEffectShape;

  bool enabled_ = true;
  int32_t source_ = -2;
  TdtpEffectShape* shape_ = nullptr;
  // Paint-time state: another effect reads this one's output, and that output.
  bool outputNeeded_ = false;
  std::unique_ptr<TBitmap32> output_;
};

using TdtpEffectFactory = std::function<std::unique_ptr<TdtpEffect>()>;

// One entry of the effect-class registry.
struct TEffectClassHolder {
  std::type_index Class = typeid(TdtpEffect);
  std::string ClassName;
  TdtpEffectFactory Factory;
  uint8_t Flags = 0;
};

// Appends a class unless that class (by identity) is registered already.
void RegisterEffectClass(const TEffectClassHolder& holder);
template <typename T>
void RegisterEffectClass(uint8_t flags) {
  RegisterEffectClass(TEffectClassHolder{typeid(T), T::StaticClassName(),
                                         [] { return std::unique_ptr<TdtpEffect>(new T()); }, flags});
}
// The first entry registered under exactly that name (letter case counts); TdtpEffect's entry
// when none matches or nothing was registered. Never fails.
TEffectClassHolder FindEffectClass(const std::string& name);
// A new effect of FindEffectClass(name)'s class.
std::unique_ptr<TdtpEffect> CreateEffectByClassName(const std::string& name);
// The registered class names in registration order.
std::vector<std::string> RegisteredEffectClassNames();

class TdtpEffectShape : public TdtpShape {
public:
  TdtpEffectShape();
  ~TdtpEffectShape() override;

  static const char* StaticClassName() { return "TdtpEffectShape"; }
  const char* ClassName() const override { return StaticClassName(); }

  // Appends the effect and tells it its owner; returns its index, or -1 (nothing changed) for null.
  int AddEffect(std::unique_ptr<TdtpEffect> effect);
  // Removes and frees the effect at index; nothing for an index out of range.
  void DeleteEffect(int index);
  int EffectCount() const { return static_cast<int>(effects_.size()); }
  // The effect at index; null outside 0 .. EffectCount - 1.
  TdtpEffect* Effect(int index) const;
  // Index of the effect in this shape's list; -1 when it is not one of them.
  int IndexOfEffect(const TdtpEffect* effect) const;
  // While effects are applied: the bitmap as painted, kept only when an effect reads it.
  const TBitmap32* UnprocessedCopy() const { return unprocessed_.get(); }

  void ListResources(std::vector<std::string>& names) const override;
  void ClearShapes() override;
  bool NeedsPostProcess() const override;
  // Runs the enabled effects in order, then mirrors and flips.
  void PostProcess(TBitmap32& bitmap, const TdtpPaintInfo& info) override;
  void AdjustCurbs(float& left, float& top, float& right, float& bottom) const override;
  void LoadFromXml(const TXmlNode* node) override;
  void SaveToXml(TXmlNode& node) const override;

private:
  void ApplyEffects(TBitmap32& bitmap, const TdtpPaintInfo& info);

  std::vector<std::unique_ptr<TdtpEffect>> effects_;
  std::unique_ptr<TBitmap32> unprocessed_;
};

// The effect shape used as a plain container of child shapes.
class TdtpGroupShape : public TdtpEffectShape {
public:
  static const char* StaticClassName() { return "TdtpGroupShape"; }
  const char* ClassName() const override { return StaticClassName(); }
};

// The group marking where content is still to go: a white 40 x 30 mm frame with the words
// "Place image here" on a memo inset 2 mm. The memo is made through the shape-class registry, so
// the frame comes alone while no memo class is registered. Not registered itself: a stored one
// reads back as a plain shape holding a rectangle and a memo.
class TdtpPlaceHolder : public TdtpGroupShape {
public:
  TdtpPlaceHolder();
  static const char* StaticClassName() { return "TdtpPlaceHolder"; }
  const char* ClassName() const override { return StaticClassName(); }
};

}  // namespace sw
