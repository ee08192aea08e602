// TDecodedPictures: the pictures a document has decoded for resources that share their bytes with
// other resources, so that each of them is decoded once. A sheet of merged magnets holds a copy
// of the design page per row; the rows' copies share the template's pictures and, when only the
// message changes, the photo too.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "raster/bitmap32.h"
#include "storage/resources/map_stream.h"

namespace sw {

class TDecodedPictures {
public:
  TDecodedPictures() = default;
  TDecodedPictures(const TDecodedPictures&) = delete;
  TDecodedPictures& operator=(const TDecodedPictures&) = delete;

  // The picture decoded earlier from the same bytes (of the same extension, for the same decode
  // need), with its load warning; false when none is kept. The bitmap is shared: nobody changes it.
  bool Take(const TMapStream& data, const std::string& extension, int32_t need, std::shared_ptr<TBitmap32>& bitmap,
            std::string& warning);
  // Keeps what was decoded from data, when its bytes are shared with another stream: bytes nobody
  // else holds will not be asked for again.
  void Keep(const TMapStream& data, const std::string& extension, int32_t need, std::shared_ptr<TBitmap32> bitmap,
            const std::string& warning);
  // Lets every picture go.
  void Clear();
  int32_t Count() const;

private:
  struct TEntry {
    TMapStream Data;
    std::string Extension;
    int32_t Need = 0;
    std::shared_ptr<TBitmap32> Bitmap;
    std::string Warning;
  };
  const TEntry* Find(const TMapStream& data, const std::string& extension, int32_t need) const;

  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<TEntry>> entries_;
};

}  // namespace sw
