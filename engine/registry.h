// The shape-class registry: class names as files and the clipboard spell them, and how to make a
// shape of each. It is one process-wide list, because every path that turns a stored class name
// into a shape needs it whether or not the shape belongs to a document (loading, undo, paste). The
// list lives in a function-local object and holds only what explicit RegisterShapeClass calls put
// there; program start (or a test) calls RegisterEngineShapeClasses.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sw {

class TdtpShape;

using TdtpShapeFactory = std::function<std::unique_ptr<TdtpShape>()>;

// Adds the class unless a class of that name is registered already (names compare exactly).
void RegisterShapeClass(const std::string& name, TdtpShapeFactory factory);
template <typename T>
void RegisterShapeClass() {
  RegisterShapeClass(T::StaticClassName(), [] { return std::unique_ptr<TdtpShape>(new T()); });
}
// True when a class of exactly that name is registered.
bool IsShapeClassRegistered(const std::string& name);
// A new shape of the first class registered under exactly that name (letter case counts); a plain
// TdtpShape when none matches or nothing was registered. Never fails.
std::unique_ptr<TdtpShape> CreateShapeByClassName(const std::string& name);
// The registered names in registration order.
std::vector<std::string> RegisteredShapeClassNames();
// Registers the engine's own shape classes (the page and the plain shape). Later shape kinds add
// their classes here, so program start needs this one call.
void RegisterEngineShapeClasses();

}  // namespace sw
