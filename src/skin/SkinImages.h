// Images of a skin: the image objects the model hands to painting code, the provider
// that loads them from files, the rule that keeps image paths inside the skin folder,
// and the engine's shared image cache.
//
// Bitmaps are portable pixel buffers (bytes blue, green, red, alpha per pixel, alpha
// not premultiplied), so the model, the readers and the animator build and run without
// GDI. Pictures (kind 2) are whatever the platform's picture classes make of a file.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/Object.h"
#include "skin/SkinValues.h"

namespace skin {

// What GetBitmap asks for.
enum : int32_t { ikAny = 0, ikBitmap = 1, ikPicture = 2 };

class TSkinImageObject : public base::TObject {
 public:
  virtual int32_t Kind() const = 0;  // ikBitmap or ikPicture
};

class TSkinBitmap final : public TSkinImageObject {
 public:
  // A bitmap of width x height pixels (negative sizes give an empty bitmap), all zero;
  // bitsPerPixel 24 keeps alpha at 255 and out of reach of SetAlphaInRect.
  TSkinBitmap(int32_t width, int32_t height, int32_t bitsPerPixel);
  int32_t Kind() const override { return ikBitmap; }
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  int32_t BitsPerPixel() const { return FBitsPerPixel; }
  // Writable pixels: every call counts as a change of the picture (see Changes).
  uint8_t* Pixel(int32_t x, int32_t y) {
    ++FChanges;
    return &FPixels[(static_cast<size_t>(y) * FWidth + x) * 4];
  }
  const uint8_t* Pixel(int32_t x, int32_t y) const { return &FPixels[(static_cast<size_t>(y) * FWidth + x) * 4]; }
  std::unique_ptr<TSkinBitmap> Clone() const;
  // True when every pixel inside rect (clipped to the bitmap) has alpha 255.
  bool OpaqueIn(const TSkinRect& rect) const;

  // Grows with every writable access to the pixels, so that a copy made from them can
  // tell whether it is still current.
  uint32_t Changes() const { return FChanges; }
  // A copy of the pixels in a platform's own form (the painter's DIB section), made on
  // first need, kept with the bitmap and released with it.
  struct TPlatformCopy {
    virtual ~TPlatformCopy() = default;
    uint32_t Changes = 0;  // the bitmap's Changes() when the copy was made
  };
  TPlatformCopy* PlatformCopy() const { return FPlatformCopy.get(); }
  void SetPlatformCopy(std::unique_ptr<TPlatformCopy> copy) const { FPlatformCopy = std::move(copy); }

 private:
  int32_t FWidth, FHeight, FBitsPerPixel;
  std::vector<uint8_t> FPixels;
  uint32_t FChanges = 0;
  mutable std::unique_ptr<TPlatformCopy> FPlatformCopy;
};

// Forces alpha 255 inside rect (clipped to the bitmap); only 32-bit bitmaps are touched.
void SetAlphaInRect(TSkinBitmap& bitmap, const TSkinRect& rect);

// Decodes an uncompressed 24- or 32-bit BMP file image (bottom-up or top-down); null
// for anything else or anything truncated. Sizes are capped at 16384 x 16384.
std::unique_ptr<TSkinBitmap> DecodeBmp(const uint8_t* data, size_t size);

// Loads image files for the reader. kind is ikBitmap (a bitmap or nothing, never a
// picture) or another value (a picture, or nothing). Returns null when the file is
// missing or cannot be decoded; never raises.
class ISkinImageProvider {
 public:
  virtual ~ISkinImageProvider() = default;
  virtual std::unique_ptr<TSkinImageObject> Load(const std::string& path, const std::string& type, int32_t kind) = 0;
};

// The portable provider: .bmp files (type empty or "bmp") as bitmaps, nothing else.
class TBmpImageProvider : public ISkinImageProvider {
 public:
  std::unique_ptr<TSkinImageObject> Load(const std::string& path, const std::string& type, int32_t kind) override;
};

// The platform's provider: GDI+ for every format it reads on Windows (with .bmp files
// through the portable decoder), the .bmp provider natively.
std::unique_ptr<ISkinImageProvider> CreateDefaultSkinImageProvider();

// Where a skin image lies below the skins root: base (the skin folder's path below the
// root, may be empty), then folder and name as the skin file gives them, with "." and
// ".." parts followed. Answers that path ("\" between parts), or false when a part would
// leave the root or name the root itself, and for anything but plain relative paths: a
// drive letter or other ":" (alternate streams), a leading "\" or "/" (absolute or UNC),
// a part of dots and spaces other than "." and ".." (Windows trims those), an empty name
// or a name ending in a separator. Both separators count.
bool ResolveContainedPath(const std::string& base, const std::string& folder, const std::string& name,
                          std::string& path);

// The engine's image cache: one entry per (name, kind), names compared
// case-insensitively as written in the skin file. Each entry keeps the image as loaded
// and, made on first need, an opaque copy whose alpha is forced inside the rectangles of
// the states and slices that asked for it, so preparing one part never changes the
// pixels another (alpha-blended) part uses. A name that failed to load is remembered so
// that it is reported once, not at every repaint.
class TSkinShareImageList {
 public:
  struct TSkinImage {
    std::unique_ptr<TSkinImageObject> Image;  // null: known to be missing
    std::unique_ptr<TSkinBitmap> Opaque;      // lazily made copy for forced alpha
  };

  // The entry of (name, kind), or null when the name was never asked for.
  TSkinImage* Find(const std::string& name, int32_t kind);
  // Adds or replaces the entry (image may be null: remembered as missing).
  TSkinImage* Add(const std::string& name, int32_t kind, std::unique_ptr<TSkinImageObject> image);
  void Remove(const std::string& name, int32_t kind);
  void Clear() { FEntries.clear(); }
  int32_t Count() const { return static_cast<int32_t>(FEntries.size()); }
  // Moves every entry of other into this list (the same objects; other ends empty).
  void TakeFrom(TSkinShareImageList& other);

 private:
  using TKey = std::pair<std::string, int32_t>;  // upper-cased name, kind
  std::map<TKey, std::unique_ptr<TSkinImage>> FEntries;
};

}  // namespace skin
