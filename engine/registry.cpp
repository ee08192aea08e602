#include "engine/registry.h"

#include <mutex>
#include <utility>
#include <vector>

#include "engine/page.h"
#include "engine/shape.h"

namespace sw {

namespace {

struct TRegistry {
  std::mutex lock;
  std::vector<std::pair<std::string, TdtpShapeFactory>> classes;
};

// Created on first use and filled only by RegisterShapeClass.
TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

}  // namespace

void RegisterShapeClass(const std::string& name, TdtpShapeFactory factory) {
  if (name.empty() || !factory) return;
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (const auto& entry : r.classes) {
    if (entry.first == name) return;
  }
  r.classes.emplace_back(name, std::move(factory));
}

bool IsShapeClassRegistered(const std::string& name) {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (const auto& entry : r.classes) {
    if (entry.first == name) return true;
  }
  return false;
}

std::unique_ptr<TdtpShape> CreateShapeByClassName(const std::string& name) {
  TdtpShapeFactory factory;
  {
    TRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    for (const auto& entry : r.classes) {
      if (entry.first == name) {
        factory = entry.second;
        break;
      }
    }
  }
  if (factory) {
    if (auto shape = factory()) return shape;
  }
  return std::make_unique<TdtpShape>();
}

std::vector<std::string> RegisteredShapeClassNames() {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  std::vector<std::string> names;
  for (const auto& entry : r.classes) names.push_back(entry.first);
  return names;
}

void RegisterEngineShapeClasses() {
  RegisterShapeClass<TdtpPage>();
  RegisterShapeClass<TdtpShape>();
}

}  // namespace sw
