#include "storage/resources/decoded_pictures.h"

namespace sw {

const TDecodedPictures::TEntry* TDecodedPictures::Find(const TMapStream& data, const std::string& extension,
                                                       int32_t need) const {
  for (const std::unique_ptr<TEntry>& entry : entries_) {
    // Shared blocks compare by address, so a match costs no reading of the bytes.
    if (entry->Need == need && entry->Extension == extension && entry->Data.SameBytes(data)) return entry.get();
  }
  return nullptr;
}

bool TDecodedPictures::Take(const TMapStream& data, const std::string& extension, int32_t need,
                            std::shared_ptr<TBitmap32>& bitmap, std::string& warning) {
  std::lock_guard<std::mutex> lock(mutex_);
  const TEntry* entry = Find(data, extension, need);
  if (!entry) return false;
  bitmap = entry->Bitmap;
  warning = entry->Warning;
  return true;
}

void TDecodedPictures::Keep(const TMapStream& data, const std::string& extension, int32_t need,
                            std::shared_ptr<TBitmap32> bitmap, const std::string& warning) {
  if (!bitmap || bitmap->Empty() || !data.SharesBlocks()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (Find(data, extension, need)) return;
  auto entry = std::make_unique<TEntry>();
  entry->Data.CopyBytesFrom(data);
  entry->Extension = extension;
  entry->Need = need;
  entry->Bitmap = std::move(bitmap);
  entry->Warning = warning;
  entries_.push_back(std::move(entry));
}

void TDecodedPictures::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
}

int32_t TDecodedPictures::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int32_t>(entries_.size());
}

}  // namespace sw
