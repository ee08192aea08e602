// TdtpCommand: one entry of a document's undo log, recorded by a shape (see the undo recorders of
// TdtpShape): a property's old value (kind 0), an inserted child (kind 1) or a removed child with
// its snapshot (kind 2).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/stream.h"

namespace sw {

class TdtpCommand {
public:
  TdtpCommand(int32_t kind, int32_t shapeId, std::string name, std::string value,
              std::unique_ptr<TMemoryStream> stream = nullptr)
      : Kind(kind), ShapeId(shapeId), Name(std::move(name)), Value(std::move(value)),
        Stream(std::move(stream)) {
    if (Stream) Stream->SetPosition(0);
  }
  virtual ~TdtpCommand() = default;

  // Length of Name and Value, 4, and the stream's size.
  int64_t CommandSize() const {
    return static_cast<int64_t>(Name.size() + Value.size()) + 4 + (Stream ? Stream->Size() : 0);
  }

  int32_t Kind = 0;
  // The shape that recorded the command: the changed shape (kind 0) or the parent (kinds 1, 2).
  int32_t ShapeId = 0;
  // Belongs to the same undo group as the command before it.
  bool Joined = false;
  std::string Name;
  std::string Value;
  std::unique_ptr<TMemoryStream> Stream;
};

}  // namespace sw
