#include "shapes/effect_shape.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "base/numeric.h"
#include "engine/registry.h"
#include "shapes/polygon_shape.h"
#include "storage/xml/native_xml.h"

namespace sw {

namespace {

// The effect-class registry: one process-wide list, because every path that turns a stored class
// name into an effect needs it (loading, undo, paste). It holds only what RegisterEffectClass put
// there; program start fills it through RegisterShapeKinds.
struct TEffectRegistry {
  std::mutex lock;
  std::vector<TEffectClassHolder> classes;
};

TEffectRegistry& EffectRegistry() {
  static TEffectRegistry registry;
  return registry;
}

TEffectClassHolder PlainEffectHolder() {
  return TEffectClassHolder{typeid(TdtpEffect), TdtpEffect::StaticClassName(),
                            [] { return std::make_unique<TdtpEffect>(); }, 0};
}

constexpr float kPlaceHolderWidth = 40, kPlaceHolderHeight = 30, kPlaceHolderInset = 2;
constexpr TdtpAnchors kPlaceHolderAnchors = anSizeXProp | anSizeYProp | anLeftLock | anTopLock;

}  // namespace

// --- Registry ---

void RegisterEffectClass(const TEffectClassHolder& holder) {
  TEffectRegistry& r = EffectRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (const TEffectClassHolder& entry : r.classes) {
    if (entry.Class == holder.Class) return;
  }
  r.classes.push_back(holder);
}

TEffectClassHolder FindEffectClass(const std::string& name) {
  TEffectRegistry& r = EffectRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (const TEffectClassHolder& entry : r.classes) {
    if (entry.ClassName == name) return entry;
  }
  return PlainEffectHolder();
}

std::unique_ptr<TdtpEffect> CreateEffectByClassName(const std::string& name) {
  const TEffectClassHolder holder = FindEffectClass(name);
  std::unique_ptr<TdtpEffect> effect = holder.Factory ? holder.Factory() : nullptr;
  return effect ? std::move(effect) : std::make_unique<TdtpEffect>();
}

std::vector<std::string> RegisteredEffectClassNames() {
  TEffectRegistry& r = EffectRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  std::vector<std::string> names;
  for (const TEffectClassHolder& entry : r.classes) names.push_back(entry.ClassName);
  return names;
}

// --- TdtpEffect ---

void TdtpEffect::Assign(const TdtpEffect& source) {
  if (&source == this) return;
  TNativeXml xml("Effect");
  source.SaveToXml(*xml.Root());
  LoadFromXml(xml.Root());
}

void TdtpEffect::InvalidateOwner() {
  if (shape_) shape_->InvalidateArea();
}

void TdtpEffect::RefreshOwner() {
  if (shape_) shape_->RefreshSelf();
}

std::string TdtpEffect::GetName() const {
  const std::string name = ClassName();
  if (name.size() <= 10) return {};
  return name.substr(4, name.size() - 10);
}

void TdtpEffect::LoadFromXml(const TXmlNode* node) {
  if (!node) return;
  enabled_ = node->ReadBool("Enabled", false);
  source_ = node->ReadInteger("Source", -2);
}

void TdtpEffect::SaveToXml(TXmlNode& node) const {
  node.WriteString("ClassName", ClassName());
  node.WriteBool("Enabled", enabled_, false);
  node.WriteInteger("Source", source_, -2);
}

void TdtpEffect::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  RefreshOwner();
  if (shape_) shape_->Changed();
}

void TdtpEffect::SetSource(int32_t value) {
  if (value == source_) return;
  source_ = value;
  RefreshOwner();
  if (shape_) shape_->Changed();
}

const TBitmap32* TdtpEffect::SourceBitmap() const {
  if (!shape_) return nullptr;
  if (source_ == -1) return shape_->UnprocessedCopy();
  if (source_ < 0 || source_ >= shape_->IndexOfEffect(this)) return nullptr;
  return shape_->Effect(source_)->output_.get();
}

// --- TdtpEffectShape ---

TdtpEffectShape::TdtpEffectShape() = default;

TdtpEffectShape::~TdtpEffectShape() = default;

int TdtpEffectShape::AddEffect(std::unique_ptr<TdtpEffect> effect) {
  if (!effect) return -1;
  InvalidateArea();
  TdtpEffect* raw = effect.get();
  effects_.push_back(std::move(effect));
  raw->SetShape(this);
  RefreshSelf();
  Changed();
  return static_cast<int>(effects_.size()) - 1;
}

void TdtpEffectShape::DeleteEffect(int index) {
  if (index < 0 || index >= EffectCount()) return;
  InvalidateArea();
  effects_.erase(effects_.begin() + index);
  RefreshSelf();
  Changed();
}

TdtpEffect* TdtpEffectShape::Effect(int index) const {
  if (index < 0 || index >= EffectCount()) return nullptr;
  return effects_[static_cast<size_t>(index)].get();
}

int TdtpEffectShape::IndexOfEffect(const TdtpEffect* effect) const {
  for (size_t i = 0; i < effects_.size(); ++i) {
    if (effects_[i].get() == effect) return static_cast<int>(i);
  }
  return -1;
}

void TdtpEffectShape::ListResources(std::vector<std::string>& names) const {
  TdtpShape::ListResources(names);
  for (const auto& effect : effects_) effect->ListResources(names);
}

void TdtpEffectShape::ClearShapes() {
  if (!effects_.empty()) {
    InvalidateArea();
    effects_.clear();
  }
  TdtpShape::ClearShapes();
}

bool TdtpEffectShape::NeedsPostProcess() const {
  if (TdtpShape::NeedsPostProcess()) return true;
  return std::any_of(effects_.begin(), effects_.end(), [](const auto& e) { return e->Enabled(); });
}

void TdtpEffectShape::PostProcess(TBitmap32& bitmap, const TdtpPaintInfo& info) {
  ApplyEffects(bitmap, info);
  TdtpShape::PostProcess(bitmap, info);
}

void TdtpEffectShape::ApplyEffects(TBitmap32& bitmap, const TdtpPaintInfo& info) {
  if (effects_.empty()) return;
  // The snapshots live for this one paint, also when an effect throws.
  struct TCleanup {
    TdtpEffectShape& shape;
    ~TCleanup() {
      for (const auto& e : shape.effects_) {
        e->outputNeeded_ = false;
        e->output_.reset();
      }
      shape.unprocessed_.reset();
    }
  } cleanup{*this};

  // Copies are made only for effects that will run and read them; an index that is not an
  // earlier effect names nothing, so nothing is kept for it.
  for (size_t i = 0; i < effects_.size(); ++i) {
    const TdtpEffect& e = *effects_[i];
    if (!e.Enabled() || !e.ReadsSource()) continue;
    if (e.Source() == -1) {
      if (!unprocessed_) {
        unprocessed_ = std::make_unique<TBitmap32>();
        unprocessed_->Assign(bitmap);
      }
    } else if (e.Source() >= 0 && static_cast<size_t>(e.Source()) < i) {
      effects_[static_cast<size_t>(e.Source())]->outputNeeded_ = true;
    }
  }
  for (const auto& e : effects_) {
    if (e->Enabled()) e->Apply(bitmap, info);
    if (e->outputNeeded_) {
      e->output_ = std::make_unique<TBitmap32>();
      e->output_->Assign(bitmap);
    }
  }
}

void TdtpEffectShape::AdjustCurbs(float& left, float& top, float& right, float& bottom) const {
  for (const auto& effect : effects_) effect->AdjustCurbs(left, top, right, bottom);
  TdtpShape::AdjustCurbs(left, top, right, bottom);
}

void TdtpEffectShape::SaveToXml(TXmlNode& node) const {
  TdtpShape::SaveToXml(node);
  for (size_t i = 0; i < effects_.size(); ++i) {
    TXmlNode* element = node.NewChild("Effect");
    element->AddAttribute("Index", static_cast<int64_t>(i + 1));
    effects_[i]->SaveToXml(*element);
  }
}

void TdtpEffectShape::LoadFromXml(const TXmlNode* node) {
  TdtpShape::LoadFromXml(node);
  std::vector<TXmlNode*> elements;
  node->FindChildren("Effect", elements);
  // The "Index" attribute is not read: document order is the list order.
  for (const TXmlNode* element : elements) {
    std::unique_ptr<TdtpEffect> effect = CreateEffectByClassName(element->ReadString("ClassName", ""));
    TdtpEffect* raw = effect.get();
    AddEffect(std::move(effect));
    raw->LoadFromXml(element);
    raw->AfterLoad();
  }
}

// --- TdtpPlaceHolder ---

TdtpPlaceHolder::TdtpPlaceHolder() {
  auto frame = std::make_unique<TdtpRectangleShape>();
  frame->SetOutlineColor(0);
  frame->SetOutlineWidth(0);
  frame->SetFillColor(0xFFFFFF);
  frame->SetAnchors(kPlaceHolderAnchors);
  frame->SetBounds(0, 0, kPlaceHolderWidth, kPlaceHolderHeight);
  frame->Protected = true;
  const float frameWidth = frame->DocWidth(), frameHeight = frame->DocHeight();
  AddChild(std::move(frame));

  // The memo kind builds on this library, so it is reached through the registry; its undo keys
  // are the one property path every shape kind accepts.
  if (IsShapeClassRegistered("TdtpMemoShape")) {
    std::unique_ptr<TdtpShape> memo = CreateShapeByClassName("TdtpMemoShape");
    memo->SetPropertyByName("FontHeight", XmlFloatToStr(MmOfPoints(12)));
    memo->SetPropertyByName("Text", "Place image here");
    memo->SetPropertyByName("Alignment", "2");
    memo->SetPropertyByName("AutoSize", "False");
    memo->SetPropertyByName("VertAlign", "1");
    memo->AllowEdit = false;
    memo->SetAnchors(kPlaceHolderAnchors);
    memo->SetBounds(kPlaceHolderInset, kPlaceHolderInset, frameWidth - 2 * kPlaceHolderInset,
                    frameHeight - 2 * kPlaceHolderInset);
    memo->Protected = true;
    AddChild(std::move(memo));
  }
  FitToChildren();
}

}  // namespace sw
