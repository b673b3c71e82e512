#include "imaging/GdiplusObjects.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "base/Stream.h"
#include "imaging/StreamAdapter.h"

namespace imaging {

namespace flat = Gdiplus::DllExports;

static const WCHAR* W(const std::u16string& s) { return reinterpret_cast<const WCHAR*>(s.c_str()); }

static std::vector<uint8_t> ReadWholeFile(const std::u16string& fileName) {
  base::TFileStream file(fileName, platform::fmOpenRead | platform::fmShareDenyWrite);
  std::vector<uint8_t> bytes(static_cast<size_t>(file.Size()));
  if (!bytes.empty()) file.ReadBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  return bytes;
}

// ---- TGPImage

std::unique_ptr<TGPImage> TGPImage::Wrap(Gdiplus::GpImage* native) {
  Gdiplus::ImageType type = Gdiplus::ImageTypeUnknown;
  flat::GdipGetImageType(native, &type);
  if (type == Gdiplus::ImageTypeBitmap)
    return std::make_unique<TGPBitmap>(reinterpret_cast<Gdiplus::GpBitmap*>(native));
  if (type == Gdiplus::ImageTypeMetafile) return std::make_unique<TGPMetafile>(native);
  flat::GdipDisposeImage(native);
  throw ArgumentException("InvalidImage");
}

std::unique_ptr<TGPImage> TGPImage::FromFile(const std::u16string& fileName, bool useICM) {
  Gdiplus::GpImage* native = nullptr;
  Gdiplus::Status s =
      useICM ? flat::GdipLoadImageFromFileICM(W(fileName), &native) : flat::GdipLoadImageFromFile(W(fileName), &native);
  if (s != Gdiplus::Ok) StatusException(s);
  std::unique_ptr<TGPImage> image = Wrap(native);
  image->KeepSourceBytes(&fileName, nullptr);
  return image;
}

std::unique_ptr<TGPImage> TGPImage::FromStream(TGPStreamAdapter* stream, bool useICM) {
  Gdiplus::GpImage* native = nullptr;
  Gdiplus::Status s =
      useICM ? flat::GdipLoadImageFromStreamICM(stream, &native) : flat::GdipLoadImageFromStream(stream, &native);
  if (s != Gdiplus::Ok) StatusException(s);
  std::unique_ptr<TGPImage> image = Wrap(native);
  image->KeepSourceBytes(nullptr, stream);
  return image;
}

void TGPImage::KeepSourceBytes(const std::u16string* fileName, TGPStreamAdapter* stream) {
  GUID raw = GetRawFormat();
  if (raw != Gdiplus::ImageFormatGIF && raw != Gdiplus::ImageFormatWMF && raw != Gdiplus::ImageFormatEMF) return;
  if (stream) {
    FSourceBytes = stream->CopyRange(0, stream->Size());
  } else {
    FSourceBytes = ReadWholeFile(*fileName);
  }
}

TGPImage::~TGPImage() {
  if (FNativeImage) flat::GdipDisposeImage(FNativeImage);
}

Gdiplus::ImageType TGPImage::GetType() {
  Gdiplus::ImageType type = Gdiplus::ImageTypeUnknown;
  Check(flat::GdipGetImageType(FNativeImage, &type));
  return type;
}

uint32_t TGPImage::GetFlags() {
  UINT flags = 0;
  Check(flat::GdipGetImageFlags(FNativeImage, &flags));
  return flags;
}

GUID TGPImage::GetRawFormat() {
  GUID format{};
  Check(flat::GdipGetImageRawFormat(FNativeImage, &format));
  return format;
}

Gdiplus::RectF TGPImage::GetBounds() {
  Gdiplus::RectF bounds;
  Gdiplus::Unit unit = Gdiplus::UnitPixel;
  Check(flat::GdipGetImageBounds(FNativeImage, &bounds, &unit));
  return bounds;
}

uint32_t TGPImage::GetWidth() {
  UINT w = 0;
  Check(flat::GdipGetImageWidth(FNativeImage, &w));
  return w;
}

uint32_t TGPImage::GetHeight() {
  UINT h = 0;
  Check(flat::GdipGetImageHeight(FNativeImage, &h));
  return h;
}

Gdiplus::PixelFormat TGPImage::GetPixelFormat() {
  Gdiplus::PixelFormat format = 0;
  Check(flat::GdipGetImagePixelFormat(FNativeImage, &format));
  return format;
}

float TGPImage::GetHorizontalResolution() {
  Gdiplus::REAL r = 0;
  Check(flat::GdipGetImageHorizontalResolution(FNativeImage, &r));
  return r;
}

float TGPImage::GetVerticalResolution() {
  Gdiplus::REAL r = 0;
  Check(flat::GdipGetImageVerticalResolution(FNativeImage, &r));
  return r;
}

void TGPImage::Save(const std::u16string& fileName, const CLSID& encoder, const Gdiplus::EncoderParameters* params) {
  Check(flat::GdipSaveImageToFile(FNativeImage, W(fileName), &encoder, params));
}

void TGPImage::Save(IStream* stream, const CLSID& encoder, const Gdiplus::EncoderParameters* params) {
  Check(flat::GdipSaveImageToStream(FNativeImage, stream, &encoder, params));
}

uint32_t TGPImage::GetFrameDimensionsCount() {
  UINT count = 0;
  Check(flat::GdipImageGetFrameDimensionsCount(FNativeImage, &count));
  return count;
}

std::vector<GUID> TGPImage::GetFrameDimensionsList() {
  std::vector<GUID> list(GetFrameDimensionsCount());
  if (!list.empty()) Check(flat::GdipImageGetFrameDimensionsList(FNativeImage, list.data(), list.size()));
  return list;
}

uint32_t TGPImage::GetFrameCount(const GUID& dimension) {
  UINT count = 0;
  Check(flat::GdipImageGetFrameCount(FNativeImage, &dimension, &count));
  return count;
}

void TGPImage::SelectActiveFrame(const GUID& dimension, uint32_t index) {
  Check(flat::GdipImageSelectActiveFrame(FNativeImage, &dimension, index));
}

uint32_t TGPImage::GetPropertyItemSize(PROPID id) {
  UINT size = 0;
  Check(flat::GdipGetPropertyItemSize(FNativeImage, id, &size));
  return size;
}

std::vector<uint8_t> TGPImage::GetPropertyItem(PROPID id) {
  std::vector<uint8_t> item(GetPropertyItemSize(id));
  if (item.size() < sizeof(Gdiplus::PropertyItem)) throw ExternalException(StatusMessage(Gdiplus::GenericError));
  Check(
      flat::GdipGetPropertyItem(FNativeImage, id, item.size(), reinterpret_cast<Gdiplus::PropertyItem*>(item.data())));
  return item;
}

std::vector<Gdiplus::ARGB> TGPImage::GetPalette() {
  INT size = 0;
  Check(flat::GdipGetImagePaletteSize(FNativeImage, &size));
  if (size < static_cast<INT>(sizeof(Gdiplus::ColorPalette))) return {};
  std::vector<uint8_t> buffer(static_cast<size_t>(size));
  auto* palette = reinterpret_cast<Gdiplus::ColorPalette*>(buffer.data());
  Check(flat::GdipGetImagePalette(FNativeImage, palette, size));
  size_t room = (buffer.size() - offsetof(Gdiplus::ColorPalette, Entries)) / sizeof(Gdiplus::ARGB);
  size_t count = std::min<size_t>(palette->Count, room);
  return std::vector<Gdiplus::ARGB>(palette->Entries, palette->Entries + count);
}

void TGPImage::SetPalette(const std::vector<Gdiplus::ARGB>& colors, uint32_t flags) {
  std::vector<uint8_t> buffer(offsetof(Gdiplus::ColorPalette, Entries) +
                              std::max<size_t>(colors.size(), 1) * sizeof(Gdiplus::ARGB));
  auto* palette = reinterpret_cast<Gdiplus::ColorPalette*>(buffer.data());
  palette->Flags = flags;
  palette->Count = static_cast<UINT>(colors.size());
  if (!colors.empty()) std::memcpy(palette->Entries, colors.data(), colors.size() * sizeof(Gdiplus::ARGB));
  Check(flat::GdipSetImagePalette(FNativeImage, palette));
  DropSourceBytes();
}

void TGPImage::SwapNative(TGPImage& other) {
  std::swap(FNativeImage, other.FNativeImage);
  std::swap(FSourceBytes, other.FSourceBytes);
}

int32_t TGPImage::TimeFrameCount() {
  for (const GUID& dimension : GetFrameDimensionsList())
    if (dimension == Gdiplus::FrameDimensionTime) return static_cast<int32_t>(GetFrameCount(dimension));
  return 0;
}

bool TGPImage::ReadFrameDelays(std::vector<uint32_t>& delays) {
  // A picture without delays is common: ask without raising.
  UINT size = 0;
  if (flat::GdipGetPropertyItemSize(FNativeImage, PropertyTagFrameDelay, &size) != Gdiplus::Ok ||
      size < sizeof(Gdiplus::PropertyItem))
    return false;
  std::vector<uint8_t> buffer(size);
  auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(buffer.data());
  if (flat::GdipGetPropertyItem(FNativeImage, PropertyTagFrameDelay, size, item) != Gdiplus::Ok) return false;
  const auto* first = static_cast<const uint8_t*>(item->value);
  const uint8_t* end = buffer.data() + buffer.size();
  if (!first || first < buffer.data() || first > end) return false;
  size_t count = std::min<size_t>(item->length, static_cast<size_t>(end - first)) / 4;
  delays.resize(count);
  if (count) std::memcpy(delays.data(), first, count * 4);
  return true;
}

void TGPImage::SelectTimeFrame(int32_t index) {
  SelectActiveFrame(Gdiplus::FrameDimensionTime, static_cast<uint32_t>(index));
}

// ---- TGPBitmap

TGPBitmap::TGPBitmap(const std::u16string& fileName, bool useICM) {
  Gdiplus::GpBitmap* bitmap = nullptr;
  Check(useICM ? flat::GdipCreateBitmapFromFileICM(W(fileName), &bitmap)
               : flat::GdipCreateBitmapFromFile(W(fileName), &bitmap));
  FNativeImage = bitmap;
  GUID raw = GetRawFormat();
  if (raw == Gdiplus::ImageFormatGIF) FSourceBytes = ReadWholeFile(fileName);
}

TGPBitmap::TGPBitmap(TGPStreamAdapter* stream, bool useICM) {
  Gdiplus::GpBitmap* bitmap = nullptr;
  Check(useICM ? flat::GdipCreateBitmapFromStreamICM(stream, &bitmap)
               : flat::GdipCreateBitmapFromStream(stream, &bitmap));
  FNativeImage = bitmap;
  if (GetRawFormat() == Gdiplus::ImageFormatGIF) FSourceBytes = stream->CopyRange(0, stream->Size());
}

TGPBitmap::TGPBitmap(int32_t width, int32_t height, Gdiplus::PixelFormat format) {
  Gdiplus::GpBitmap* bitmap = nullptr;
  Check(flat::GdipCreateBitmapFromScan0(width, height, 0, format, nullptr, &bitmap));
  FNativeImage = bitmap;
}

TGPBitmap::TGPBitmap(HBITMAP handle, HPALETTE palette) {
  Gdiplus::GpBitmap* bitmap = nullptr;
  Check(flat::GdipCreateBitmapFromHBITMAP(handle, palette, &bitmap));
  FNativeImage = bitmap;
}

HBITMAP TGPBitmap::GetHBITMAP(Gdiplus::ARGB background) {
  HBITMAP result = nullptr;
  Check(flat::GdipCreateHBITMAPFromBitmap(NativeBitmap(), &result, background));
  return result;
}

Gdiplus::ARGB TGPBitmap::GetPixel(int32_t x, int32_t y) {
  Gdiplus::ARGB color = 0;
  Check(flat::GdipBitmapGetPixel(NativeBitmap(), x, y, &color));
  return color;
}

void TGPBitmap::LockBits(const Gdiplus::Rect& rect, uint32_t flags, Gdiplus::PixelFormat format,
                         Gdiplus::BitmapData& data) {
  Check(flat::GdipBitmapLockBits(NativeBitmap(), &rect, flags, format, &data));
  if (flags & Gdiplus::ImageLockModeWrite) DropSourceBytes();
}

void TGPBitmap::UnlockBits(Gdiplus::BitmapData& data) { Check(flat::GdipBitmapUnlockBits(NativeBitmap(), &data)); }

// ---- TGPImageAttributes

TGPImageAttributes::TGPImageAttributes() { Check(flat::GdipCreateImageAttributes(&FNative)); }

TGPImageAttributes::~TGPImageAttributes() {
  if (FNative) flat::GdipDisposeImageAttributes(FNative);
}

void TGPImageAttributes::SetColorKey(Gdiplus::ARGB low, Gdiplus::ARGB high, Gdiplus::ColorAdjustType type) {
  Check(flat::GdipSetImageAttributesColorKeys(FNative, type, TRUE, low, high));
}

// ---- Fonts

namespace {
TGPFontFamily* gSansSerif = nullptr;
}

TGPFontFamily::TGPFontFamily(const std::u16string& name) {
  Check(flat::GdipCreateFontFamilyFromName(W(name), nullptr, &FNative));
}

TGPFontFamily::~TGPFontFamily() {
  if (FNative) flat::GdipDeleteFontFamily(FNative);
}

TGPFontFamily& TGPFontFamily::GenericSansSerif() {
  if (!gSansSerif) {
    Gdiplus::GpFontFamily* native = nullptr;
    Gdiplus::Status s = flat::GdipGetGenericFontFamilySansSerif(&native);
    if (s != Gdiplus::Ok) StatusException(s);
    gSansSerif = new TGPFontFamily(native);
  }
  return *gSansSerif;
}

void TGPFontFamily::ReleaseCached() {
  delete gSansSerif;
  gSansSerif = nullptr;
}

TGPFont::TGPFont(const TGPFontFamily& family, float emSize, int32_t style, Gdiplus::Unit unit) {
  Check(flat::GdipCreateFont(family.NativeFamily(), emSize, style, unit, &FNative));
}

TGPFont::~TGPFont() {
  if (FNative) flat::GdipDeleteFont(FNative);
}

// ---- Brushes

namespace {
class TClonedBrush : public TGPBrush {
 public:
  explicit TClonedBrush(Gdiplus::GpBrush* native) { FNative = native; }
};
}  // namespace

TGPBrush::~TGPBrush() {
  if (FNative) flat::GdipDeleteBrush(FNative);
}

std::unique_ptr<TGPBrush> TGPBrush::Clone() {
  Gdiplus::GpBrush* clone = nullptr;
  Check(flat::GdipCloneBrush(FNative, &clone));
  return std::make_unique<TClonedBrush>(clone);
}

TGPSolidBrush::TGPSolidBrush(Gdiplus::ARGB color) {
  Gdiplus::GpSolidFill* fill = nullptr;
  Check(flat::GdipCreateSolidFill(color, &fill));
  FNative = fill;
}

// ---- TGPGraphics

TGPGraphics::TGPGraphics(HDC dc) { Check(flat::GdipCreateFromHDC(dc, &FNative)); }

TGPGraphics::TGPGraphics(TGPImage& image) {
  Check(flat::GdipGetImageGraphicsContext(image.NativeImage(), &FNative));
  image.DropSourceBytes();
}

TGPGraphics::~TGPGraphics() {
  if (FNative) flat::GdipDeleteGraphics(FNative);
}

void TGPGraphics::SetTextRenderingHint(Gdiplus::TextRenderingHint hint) {
  Check(flat::GdipSetTextRenderingHint(FNative, hint));
}

void TGPGraphics::SetInterpolationMode(Gdiplus::InterpolationMode mode) {
  Check(flat::GdipSetInterpolationMode(FNative, mode));
}

void TGPGraphics::SetSmoothingMode(Gdiplus::SmoothingMode mode) { Check(flat::GdipSetSmoothingMode(FNative, mode)); }

void TGPGraphics::SetPixelOffsetMode(Gdiplus::PixelOffsetMode mode) {
  Check(flat::GdipSetPixelOffsetMode(FNative, mode));
}

void TGPGraphics::SetPageUnit(Gdiplus::Unit unit) { Check(flat::GdipSetPageUnit(FNative, unit)); }

Gdiplus::GraphicsState TGPGraphics::Save() {
  Gdiplus::GraphicsState state = 0;
  Check(flat::GdipSaveGraphics(FNative, &state));
  return state;
}

void TGPGraphics::Restore(Gdiplus::GraphicsState state) { Check(flat::GdipRestoreGraphics(FNative, state)); }

void TGPGraphics::Clear(Gdiplus::ARGB color) { Check(flat::GdipGraphicsClear(FNative, color)); }

void TGPGraphics::DrawImage(TGPImage& image, const Gdiplus::RectF& rect) {
  Check(flat::GdipDrawImageRect(FNative, image.NativeImage(), rect.X, rect.Y, rect.Width, rect.Height));
}

void TGPGraphics::DrawImage(TGPImage& image, int32_t x, int32_t y, int32_t width, int32_t height) {
  Check(flat::GdipDrawImageRectI(FNative, image.NativeImage(), x, y, width, height));
}

void TGPGraphics::DrawImage(TGPImage& image, const Gdiplus::Rect& dest, const Gdiplus::Rect& source, Gdiplus::Unit unit,
                            const TGPImageAttributes* attributes) {
  Check(flat::GdipDrawImageRectRectI(FNative, image.NativeImage(), dest.X, dest.Y, dest.Width, dest.Height, source.X,
                                     source.Y, source.Width, source.Height, unit,
                                     attributes ? attributes->NativeAttributes() : nullptr, nullptr, nullptr));
}

void TGPGraphics::DrawString(const std::u16string& text, const TGPFont& font, const Gdiplus::RectF& layout,
                             const Gdiplus::GpStringFormat* format, const TGPBrush& brush) {
  Check(flat::GdipDrawString(FNative, W(text), static_cast<INT>(text.size()), font.NativeFont(), &layout, format,
                             brush.NativeBrush()));
}

// ---- Encoders

Gdiplus::ImageCodecInfo FindEncoder(const GUID& format) {
  Gdiplus::ImageCodecInfo result;
  std::memset(&result, 0, sizeof result);
  UINT count = 0, size = 0;
  if (flat::GdipGetImageEncodersSize(&count, &size) != Gdiplus::Ok || count == 0 ||
      size < count * sizeof(Gdiplus::ImageCodecInfo))
    return result;
  std::vector<uint8_t> buffer(size);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (flat::GdipGetImageEncoders(count, size, codecs) != Gdiplus::Ok) return result;
  for (UINT i = 0; i < count; ++i) {
    if (codecs[i].FormatID == format) {
      result.Clsid = codecs[i].Clsid;
      result.FormatID = codecs[i].FormatID;
      result.Flags = codecs[i].Flags;
      result.Version = codecs[i].Version;
      break;  // the strings and signatures point into the buffer: not copied
    }
  }
  return result;
}

}  // namespace imaging
