// TdtpCommand: one entry of a document's undo log, recorded by a shape (see the undo recorders of
// TdtpShape): a property's old value (kind 0), an inserted child (kind 1) or a removed child with
// its snapshot (kind 2).
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/stream.h"

namespace sw {

class TdtpShape;

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
    return static_cast<int64_t>(Name.size() + Value.size() + 4 + (Stream ? Stream->Bytes().size() : 0));
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

// Undo values as the recorders write them: a point (a comma is taken as one) and no regard to the
// process locale. Raises "'<text>' is not a valid floating point value" for anything else.
double ParseCommandFloat(const std::string& text);
// Decimal; raises "'<text>' is not a valid integer value" for anything else.
int64_t ParseCommandInteger(const std::string& text);

// What the stream of a kind-2 command holds: where the child was and what it was.
struct TdtpRemovedChild {
  int32_t Index = 0;
  int32_t ShapeId = 0;
  std::string Snapshot;
  // The identities of the child's descendants in pre-order (empty when the stream has none).
  std::vector<int32_t> Descendants;
};

// The kind-2 stream (integers 32-bit little-endian): index and ShapeId, the snapshot as a length
// and its bytes, then the descendants' count and identities, so that commands recorded inside the
// removed subtree find it again once it is restored.
std::unique_ptr<TMemoryStream> MakeRemovalStream(int32_t index, int32_t shapeId, std::string_view snapshot,
                                                 const std::vector<int32_t>& descendants = {});
// The kind-2 stream of a child about to leave its parent.
std::unique_ptr<TMemoryStream> MakeRemovalStream(const TdtpShape& child);
// Reads a kind-2 stream from its start whatever its position, so a command can run again; false
// without a stream or when the stream is shorter than its lengths announce. A missing or damaged
// list of descendants reads as empty.
bool ReadRemovedChild(const TdtpCommand& command, TdtpRemovedChild& child);
// Gives a restored child its identity and, when its subtree has as many shapes as were recorded,
// its descendants theirs.
void RestoreIdentities(TdtpShape& shape, const TdtpRemovedChild& removed);

// An open gesture (a drag, a spin edit held down) of a document: it becomes one undo step, and
// only the first old value of each shape property it changes is kept.
struct TdtpUndoGesture {
  int32_t Depth = 0;
  std::string Key;
  // The log serial right after the gesture's last record; a gesture of the same key continues the
  // step only while the log has not moved on since.
  uint64_t LastSerial = 0;
  // (ShapeId, property name) pairs the gesture has recorded.
  std::set<std::pair<int32_t, std::string>> Seen;
};

}  // namespace sw
