#include "engine/command.h"

#include <algorithm>
#include <charconv>

#include "base/bytes.h"
#include "base/exception.h"
#include "engine/shape.h"

namespace sw {

namespace {

// Pre-order, without recursion: nesting may be as deep as the loader allows.
void CollectDescendants(const TdtpShape& shape, std::vector<TdtpShape*>& out) {
  std::vector<const TdtpShape*> pending{&shape};
  while (!pending.empty()) {
    const TdtpShape* s = pending.back();
    pending.pop_back();
    if (s != &shape) out.push_back(const_cast<TdtpShape*>(s));
    for (int i = s->ChildCount() - 1; i >= 0; --i) {
      if (const TdtpShape* child = s->Child(i)) pending.push_back(child);
    }
  }
}

}  // namespace

double ParseCommandFloat(const std::string& text) {
  std::string t = text;
  std::replace(t.begin(), t.end(), ',', '.');
  const char* begin = t.c_str();
  const char* end = begin + t.size();
  // from_chars takes no sign of its own before the digits.
  if (begin != end && *begin == '+') ++begin;
  double v = 0;
  const auto r = std::from_chars(begin, end, v);
  if (t.empty() || r.ec != std::errc() || r.ptr != end) {
    RaiseError(Format("'%s' is not a valid floating point value", text.c_str()));
  }
  return v;
}

int64_t ParseCommandInteger(const std::string& text) {
  const char* begin = text.c_str();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;
  int64_t v = 0;
  const auto r = std::from_chars(begin, end, v);
  if (text.empty() || r.ec != std::errc() || r.ptr != end) {
    RaiseError(Format("'%s' is not a valid integer value", text.c_str()));
  }
  return v;
}

std::unique_ptr<TMemoryStream> MakeRemovalStream(int32_t index, int32_t shapeId, std::string_view snapshot,
                                                 const std::vector<int32_t>& descendants) {
  std::string head;
  head.reserve(16 + snapshot.size() + 4 * descendants.size());
  AppendLE32(head, static_cast<uint32_t>(index));
  AppendLE32(head, static_cast<uint32_t>(shapeId));
  AppendLE32(head, static_cast<uint32_t>(snapshot.size()));
  head.append(snapshot);
  AppendLE32(head, static_cast<uint32_t>(descendants.size()));
  for (const int32_t id : descendants) AppendLE32(head, static_cast<uint32_t>(id));
  auto stream = std::make_unique<TMemoryStream>();
  stream->WriteBuffer(head.data(), static_cast<int64_t>(head.size()));
  stream->SetPosition(0);
  return stream;
}

std::unique_ptr<TMemoryStream> MakeRemovalStream(const TdtpShape& child) {
  std::vector<TdtpShape*> shapes;
  CollectDescendants(child, shapes);
  std::vector<int32_t> ids;
  ids.reserve(shapes.size());
  for (const TdtpShape* s : shapes) ids.push_back(s->ShapeId());
  return MakeRemovalStream(child.ShapeIndex(), child.ShapeId(), child.SaveToString(), ids);
}

bool ReadRemovedChild(const TdtpCommand& command, TdtpRemovedChild& child) {
  if (!command.Stream) return false;
  const std::vector<uint8_t>& bytes = command.Stream->Bytes();
  if (bytes.size() < 12) return false;
  const uint8_t* p = bytes.data();
  const uint32_t length = ReadLE32(p + 8);
  if (length > bytes.size() - 12) return false;
  child.Index = static_cast<int32_t>(ReadLE32(p));
  child.ShapeId = static_cast<int32_t>(ReadLE32(p + 4));
  child.Snapshot.assign(reinterpret_cast<const char*>(p + 12), length);
  child.Descendants.clear();
  const size_t tail = 12 + static_cast<size_t>(length);
  if (bytes.size() - tail >= 4) {
    const uint32_t count = ReadLE32(p + tail);
    if (count <= (bytes.size() - tail - 4) / 4) {
      child.Descendants.reserve(count);
      for (uint32_t i = 0; i < count; ++i) {
        child.Descendants.push_back(static_cast<int32_t>(ReadLE32(p + tail + 4 + 4 * static_cast<size_t>(i))));
      }
    }
  }
  return true;
}

void RestoreIdentities(TdtpShape& shape, const TdtpRemovedChild& removed) {
  shape.SetShapeId(removed.ShapeId);
  std::vector<TdtpShape*> shapes;
  CollectDescendants(shape, shapes);
  if (shapes.size() != removed.Descendants.size()) return;
  for (size_t i = 0; i < shapes.size(); ++i) shapes[i]->SetShapeId(removed.Descendants[i]);
}

}  // namespace sw
