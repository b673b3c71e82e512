#include "skin/SkinImages.h"

#include <algorithm>
#include <cstring>

#include "base/Strings.h"
#include "platform/Files.h"

namespace skin {

namespace {

constexpr int32_t kMaxBmpSide = 16384;
constexpr int64_t kMaxImageFileSize = 256ll * 1024 * 1024;

uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// The part of rect inside a width x height bitmap.
TSkinRect Clip(const TSkinRect& r, int32_t width, int32_t height) {
  return {std::max(r.Left, 0), std::max(r.Top, 0), std::min(r.Right, width), std::min(r.Bottom, height)};
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& data) {
  int64_t size = platform::FileSize(path);
  if (size < 0 || size > kMaxImageFileSize) return false;
  platform::FileHandle h = platform::FileOpen(path, platform::fmOpenRead | platform::fmShareDenyWrite);
  if (h == platform::kInvalidFile) return false;
  data.resize(static_cast<size_t>(size));
  int32_t got = size ? platform::FileRead(h, data.data(), static_cast<int32_t>(size)) : 0;
  platform::FileClose(h);
  return got == size;
}

}  // namespace

TSkinBitmap::TSkinBitmap(int32_t width, int32_t height, int32_t bitsPerPixel)
    : FWidth(std::max(width, 0)), FHeight(std::max(height, 0)), FBitsPerPixel(bitsPerPixel == 32 ? 32 : 24) {
  FPixels.assign(static_cast<size_t>(FWidth) * FHeight * 4, 0);
  if (FBitsPerPixel == 24)
    for (size_t i = 3; i < FPixels.size(); i += 4) FPixels[i] = 255;
}

std::unique_ptr<TSkinBitmap> TSkinBitmap::Clone() const {
  auto copy = std::make_unique<TSkinBitmap>(FWidth, FHeight, FBitsPerPixel);
  copy->FPixels = FPixels;
  return copy;
}

bool TSkinBitmap::OpaqueIn(const TSkinRect& rect) const {
  TSkinRect r = Clip(rect, FWidth, FHeight);
  for (int32_t y = r.Top; y < r.Bottom; ++y)
    for (int32_t x = r.Left; x < r.Right; ++x)
      if (Pixel(x, y)[3] != 255) return false;
  return true;
}

void SetAlphaInRect(TSkinBitmap& bitmap, const TSkinRect& rect) {
  if (bitmap.BitsPerPixel() != 32) return;
  TSkinRect r = Clip(rect, bitmap.Width(), bitmap.Height());
  for (int32_t y = r.Top; y < r.Bottom; ++y)
    for (int32_t x = r.Left; x < r.Right; ++x) bitmap.Pixel(x, y)[3] = 255;
}

std::unique_ptr<TSkinBitmap> DecodeBmp(const uint8_t* data, size_t size) {
  // File header (14 bytes) and at least a BITMAPINFOHEADER (40 bytes).
  if (size < 54 || data[0] != 'B' || data[1] != 'M') return nullptr;
  uint32_t offBits = Le32(data + 10);
  uint32_t headerSize = Le32(data + 14);
  if (headerSize < 40 || headerSize > size - 14) return nullptr;
  int32_t width = static_cast<int32_t>(Le32(data + 18));
  int32_t rawHeight = static_cast<int32_t>(Le32(data + 22));
  uint16_t bpp = Le16(data + 28);
  uint32_t compression = Le32(data + 30);
  // BI_RGB, or BI_BITFIELDS with 32 bits (the usual BGRA masks are assumed).
  if (!(compression == 0 || (compression == 3 && bpp == 32))) return nullptr;
  if (bpp != 24 && bpp != 32) return nullptr;
  if (rawHeight == INT32_MIN) return nullptr;
  bool topDown = rawHeight < 0;
  int32_t height = topDown ? -rawHeight : rawHeight;
  if (width <= 0 || height <= 0 || width > kMaxBmpSide || height > kMaxBmpSide) return nullptr;
  size_t stride = ((static_cast<size_t>(width) * bpp + 31) / 32) * 4;
  if (offBits > size || (size - offBits) / stride < static_cast<size_t>(height)) return nullptr;
  auto bitmap = std::make_unique<TSkinBitmap>(width, height, bpp);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = data + offBits + stride * static_cast<size_t>(topDown ? y : height - 1 - y);
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* p = bitmap->Pixel(x, y);
      if (bpp == 32) {
        std::memcpy(p, row + x * 4, 4);
      } else {
        std::memcpy(p, row + x * 3, 3);
        p[3] = 255;
      }
    }
  }
  return bitmap;
}

std::unique_ptr<TSkinImageObject> TBmpImageProvider::Load(const std::string& path, const std::string& type,
                                                          int32_t kind) {
  if (kind != ikBitmap || !(type.empty() || base::SameText(type, "bmp"))) return nullptr;
  std::vector<uint8_t> data;
  if (!ReadWholeFile(path, data)) return nullptr;
  return DecodeBmp(data.data(), data.size());
}

namespace {

// Follows the parts of one relative path on top of parts; false for a refused form.
bool FollowParts(const std::string& text, bool isName, std::vector<std::string_view>& parts) {
  if (text.find(':') != std::string::npos) return false;
  if (!text.empty() && (text[0] == '\\' || text[0] == '/')) return false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\\/", start);
    if (end == std::string::npos) end = text.size();
    const std::string_view part(text.data() + start, end - start);
    if (part == "..") {
      if (parts.empty()) return false;  // above the root
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      if (part.find_first_not_of(". ") == std::string_view::npos) return false;
      parts.push_back(part);
    }
    if (isName && end + 1 == text.size()) return false;  // a name ending in a separator
    start = end + 1;
  }
  return true;
}

}  // namespace

bool ResolveContainedPath(const std::string& base, const std::string& folder, const std::string& name,
                          std::string& path) {
  if (name.empty()) return false;
  std::vector<std::string_view> parts;
  if (!FollowParts(base, false, parts) || !FollowParts(folder, false, parts) || !FollowParts(name, true, parts))
    return false;
  if (parts.empty()) return false;
  path.clear();
  for (const std::string_view part : parts) {
    if (!path.empty()) path += '\\';
    path += part;
  }
  return true;
}

TSkinShareImageList::TSkinImage* TSkinShareImageList::Find(const std::string& name, int32_t kind) {
  auto it = FEntries.find({base::UpperCase(name), kind});
  return it == FEntries.end() ? nullptr : it->second.get();
}

TSkinShareImageList::TSkinImage* TSkinShareImageList::Add(const std::string& name, int32_t kind,
                                                          std::unique_ptr<TSkinImageObject> image) {
  auto entry = std::make_unique<TSkinImage>();
  entry->Image = std::move(image);
  auto& slot = FEntries[{base::UpperCase(name), kind}];
  slot = std::move(entry);
  return slot.get();
}

void TSkinShareImageList::Remove(const std::string& name, int32_t kind) {
  FEntries.erase({base::UpperCase(name), kind});
}

void TSkinShareImageList::TakeFrom(TSkinShareImageList& other) {
  for (auto& [key, entry] : other.FEntries) FEntries[key] = std::move(entry);
  other.FEntries.clear();
}

}  // namespace skin
