#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/exception.h"
#include "base/stream.h"
#include "storage/formats/raster_formats.h"

namespace sw {
namespace {

// The bytes from the position to the end, for every kind of stream; a position before the start
// (seeking is unchecked) is a read error, never memory in front of the stream's own.
TEST(StreamBytes, TakesTheBytesFromThePositionOn) {
  const std::vector<uint8_t> bytes = {1, 2, 3, 4, 5};
  TMemoryStream memory(bytes);
  TReadOnlyMemoryStream view(bytes.data(), 5);
  for (TStream* stream : {static_cast<TStream*>(&memory), static_cast<TStream*>(&view)}) {
    stream->SetPosition(2);
    TStreamBytes b(*stream);
    ASSERT_EQ(b.Size(), 3u);
    EXPECT_EQ(b.Data()[0], 3);
    b.Skip(10);
    EXPECT_EQ(stream->Position(), 5);
    stream->SetPosition(9);
    EXPECT_EQ(TStreamBytes(*stream).Size(), 0u);
    stream->SetPosition(-2);
    EXPECT_THROW(TStreamBytes{*stream}, EStreamError);
  }
}

}  // namespace
}  // namespace sw
