// TdtpBitmapResource: the resource that serves every picture (a bitmap shape's picture, a page's
// background, the document's default background), decoding its bytes with the raster formats on
// the thread that asks for the bitmap. ReadXmlBitmap reads the older packed picture form.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "raster/bitmap32.h"
#include "storage/resources/resource.h"

namespace sw {

class TXmlNode;

class TdtpBitmapResource : public TdtpResource {
public:
  TdtpBitmapResource() = default;
  ~TdtpBitmapResource() override;

  const char* ClassName() const override { return "TdtpBitmapResource"; }
  // Width x height x 4 while a bitmap is held, else 0.
  int64_t MemorySize() override;

  // Touches the resource and decodes its data when needed; null when there is no picture.
  // Decoding errors propagate, and the resource then holds no bitmap but keeps its data. A caller
  // that goes on using the bitmap keeps its own access bracket open meanwhile.
  TBitmap32* Bitmap();
  // The size in pixels the picture has, or will have once decoded; false (0 x 0) when there is
  // no picture. A JPEG's size is read from its header without decoding it; other pictures are
  // decoded, as Bitmap() does, and errors propagate likewise.
  bool PictureSize(int32_t& width, int32_t& height);
  // Copies the picture (null clears the resource); a resource without a picture format gets
  // ".hck" as its extension. Raises picture-changed.
  void SetBitmap(const TBitmap32* value);
  // Takes over the bitmap (null: no picture); nothing when it is the one already held.
  void AdoptBitmap(std::unique_ptr<TBitmap32> bitmap);
  // For a caller that changed the bitmap's pixels in place.
  void BitmapChanged();
  // The most pixels along either side the next uses draw the picture with (0: all it has). A JPEG
  // decoded after this is decoded at the smallest DCT scale that still gives them; a bitmap
  // decoded smaller than a later need is let go, to be decoded again.
  void SetDecodeNeed(int32_t side);

protected:
  // Encodes the bitmap with the format of DataExtension; a format that cannot write (or none)
  // switches FileName to ".hck" first. An empty bitmap leaves the data empty.
  void StoreObject() override;
  void LoadObject() override;
  // Refuses a file whose first bytes no picture format knows.
  void CheckFile(const std::string& fileName, TStream& file) override;
  // Decodes the new data (for a header proof, reads a JPEG's header), which must give a picture
  // with pixels, and lets the pixels go again.
  void VerifyData(TLoadProof proof) override;
  // Keeps the file's bytes when its format reads streams; otherwise decodes the file and keeps
  // it as HCK, FileName taking ".hck".
  void ReadFile() override;

private:
  int32_t decodeNeed_ = 0;
  // The need the held bitmap was decoded for; 0 when it holds the whole picture.
  int32_t decodedFor_ = 0;
};

// The extension of fileName replaced by ext (with its point), or appended when there is none.
std::string ChangeFileExt(const std::string& fileName, const std::string& ext);

// Largest unpacked picture ReadXmlBitmap accepts.
constexpr int64_t kMaxXmlBitmapBytes = int64_t(1) << 28;

// Decodes the older packed picture form held by the element `name` of parent into bitmap.
// Nothing happens (the bitmap stays as it was) for a null parent, an empty name, a missing
// element, a "CompressedSize" or "SourceSize" of 0, or no "Buffer". Lengths that are negative,
// that do not fit each other or the text, or beyond kMaxXmlBitmapBytes raise "Image file is
// corrupted" before anything is allocated; damaged packed bytes raise "Unable to decompress".
void ReadXmlBitmap(const TXmlNode* parent, const std::string& name, TBitmap32& bitmap);

}  // namespace sw
