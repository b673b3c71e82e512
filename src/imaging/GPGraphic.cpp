#include "imaging/GPGraphic.h"

#include <cstring>
#include <typeinfo>

#include "imaging/GPQuantize.h"
#include "imaging/PixelFormats.h"
#include "imaging/StreamAdapter.h"

namespace imaging {
namespace {

// Holds one reference of a COM object for a scope.
class TAdapterRef {
 public:
  explicit TAdapterRef(TGPStreamAdapter* adapter) : FAdapter(adapter) {}
  ~TAdapterRef() { FAdapter->Release(); }
  TAdapterRef(const TAdapterRef&) = delete;
  TAdapterRef& operator=(const TAdapterRef&) = delete;
  TGPStreamAdapter* operator->() const { return FAdapter; }
  TGPStreamAdapter* Get() const { return FAdapter; }

 private:
  TGPStreamAdapter* FAdapter;
};

bool IsUndefined(const GUID& format) { return format == ImageFormatUndefined; }

bool IsZero(const GUID& g) {
  static const GUID zero{};
  return g == zero;
}

}  // namespace

std::vector<uint8_t> JPEGEncoderParameters(int32_t quality, int32_t transform) {
  UINT count = transform != 0 ? 2 : 1;
  size_t head = sizeof(Gdiplus::EncoderParameters) + (count - 1) * sizeof(Gdiplus::EncoderParameter);
  std::vector<uint8_t> buffer(head + 2 * sizeof(ULONG));
  auto* params = reinterpret_cast<Gdiplus::EncoderParameters*>(buffer.data());
  auto* values = reinterpret_cast<ULONG*>(buffer.data() + head);
  values[0] = static_cast<ULONG>(quality);
  values[1] = static_cast<ULONG>(transform);
  params->Count = count;
  params->Parameter[0].Guid = Gdiplus::EncoderQuality;
  params->Parameter[0].NumberOfValues = 1;
  params->Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
  params->Parameter[0].Value = &values[0];
  if (count == 2) {
    params->Parameter[1].Guid = Gdiplus::EncoderTransformation;
    params->Parameter[1].NumberOfValues = 1;
    params->Parameter[1].Type = Gdiplus::EncoderParameterValueTypeLong;
    params->Parameter[1].Value = &values[1];
  }
  return buffer;
}

Gdiplus::ARGB ColorToARGB(ui::TColor color) {
  COLORREF rgb = ui::ColorToRGB(color);
  return 0xFF000000u | (static_cast<Gdiplus::ARGB>(GetRValue(rgb)) << 16) |
         (static_cast<Gdiplus::ARGB>(GetGValue(rgb)) << 8) | GetBValue(rgb);
}

TGPGraphic::TGPGraphic() : FData(std::make_shared<TGPImageData>()), FFormat(ImageFormatUndefined) {}

TGPGraphic::~TGPGraphic() {
  try {
    StopAnimation();
  } catch (...) {
  }
}

// ---- Image data and animation

void TGPGraphic::StopAnimation() {
  if (FData->Image) RemoveImageAnimators(FData->Image.get(), &TGPGraphic::FrameChangeThunk);
  FData->Animator = nullptr;
}

void TGPGraphic::NewData() {
  StopAnimation();
  FData = std::make_shared<TGPImageData>();
}

void TGPGraphic::TakeImage(std::unique_ptr<TGPImage> image) {
  FData->Image = std::move(image);
  ReadImageInfo();
  RestartAnimation();
  Changed(this);
}

void TGPGraphic::ReadImageInfo() {
  TGPImage* image = FData->Image.get();
  if (!image) {
    FData->Width = FData->Height = 0;
    FPixelFormat = ui::TPixelFormat::pfDevice;
    return;
  }
  TScreenSize size =
      ScreenSize(image->GetFlags(), image->GetWidth(), image->GetHeight(), image->GetHorizontalResolution(),
                 image->GetVerticalResolution(), ScreenPixelsPerInch());
  FData->Width = size.Width;
  FData->Height = size.Height;
  FPixelFormat = FromGdiplusPixelFormat(image->GetPixelFormat());
  if (IsUndefined(FFormat)) FFormat = image->GetRawFormat();
}

void TGPGraphic::RestartAnimation() {
  TGPImage* image = FData->Image.get();
  if (FAnimate) {
    FData->Animator = image ? CreateImageAnimator(image, FrameHandler()) : nullptr;
    return;
  }
  FData->Animator = nullptr;
  if (!image) return;
  RemoveImageAnimators(image, &TGPGraphic::FrameChangeThunk);
  try {
    if (image->TimeFrameCount() > 0) image->SelectTimeFrame(0);
  } catch (...) {
    // A picture without frames shows what it has.
  }
  FrameChanged(this);
}

void TGPGraphic::SetAnimate(bool value) {
  if (value == FAnimate) return;
  FAnimate = value;
  RestartAnimation();
}

void TGPGraphic::FrameChangeThunk(void* context, base::TObject* sender) {
  static_cast<TGPGraphic*>(context)->FrameChanged(sender);
}

void TGPGraphic::FrameChanged(base::TObject* sender) {
  // The animator is the sender (the data's pointer may belong to another picture).
  if (auto* animator = dynamic_cast<TGPImageAnimator*>(sender)) animator->SelectFrame();
  if (OnFrameChange)
    OnFrameChange(sender);
  else
    Changed(this);
}

// ---- Loading

void TGPGraphic::LoadFromFile(const base::WideString& fileName) {
  NewData();
  std::unique_ptr<TGPImage> image;
  if (FBitmapMode)
    image = std::make_unique<TGPBitmap>(fileName);
  else
    image = TGPImage::FromFile(fileName);
  TakeImage(std::move(image));
}

void TGPGraphic::LoadFromStream(base::TStream& stream, int64_t count) {
  NewData();
  auto* copy = new base::TMemoryStream;
  TAdapterRef adapter(new TGPStreamAdapter(copy, true));
  int64_t left = stream.Size() - stream.Position();
  if (count < 0 || count > left) count = left;
  if (count > 0) copy->CopyFrom(stream, count);
  copy->SetPosition(0);
  std::unique_ptr<TGPImage> image;
  if (FBitmapMode)
    image = std::make_unique<TGPBitmap>(adapter.Get());
  else
    image = TGPImage::FromStream(adapter.Get());
  TakeImage(std::move(image));
}

// ---- Saving

void TGPGraphic::SaveToStream(base::TStream& stream) {
  if (!FData->Image) return;
  SaveImage(stream);
}

void TGPGraphic::SaveImage(base::TStream& stream) {
  GUID target = IsUndefined(FFormat) ? FData->Image->GetRawFormat() : FFormat;
  if (target == Gdiplus::ImageFormatJPEG)
    SaveJPEG(stream);
  else if (target == Gdiplus::ImageFormatPNG)
    SavePNG(stream);
  else if (target == Gdiplus::ImageFormatGIF)
    SaveGIF(stream);
  else if (target == Gdiplus::ImageFormatTIFF)
    SaveTIFF(stream);
  else if (target == Gdiplus::ImageFormatBMP || target == Gdiplus::ImageFormatIcon)
    PlainSave(stream, target, nullptr);
  else
    PlainSave(stream, FData->Image->GetRawFormat(), nullptr);
}

void TGPGraphic::PlainSave(base::TStream& stream, const GUID& format, const Gdiplus::EncoderParameters* params) {
  TGPImage& image = *FData->Image;
  Gdiplus::ImageCodecInfo codec = FindEncoder(format);
  const std::vector<uint8_t>& source = image.SourceBytes();
  if (!source.empty() && (IsZero(codec.FormatID) || format == image.GetRawFormat())) {
    stream.WriteBuffer(source.data(), static_cast<int32_t>(source.size()));
    return;
  }
  TAdapterRef adapter(new TGPStreamAdapter(&stream, false));
  image.Save(adapter.Get(), codec.Clsid, params);
}

void TGPGraphic::SaveJPEG(base::TStream& stream) {
  if (IsUndefined(FFormat)) FFormat = Gdiplus::ImageFormatJPEG;
  std::vector<uint8_t> params = JPEGEncoderParameters(FQuality, FTransform);
  PlainSave(stream, Gdiplus::ImageFormatJPEG, reinterpret_cast<Gdiplus::EncoderParameters*>(params.data()));
}

void TGPGraphic::SavePNG(base::TStream& stream) {
  if (IsUndefined(FFormat)) FFormat = Gdiplus::ImageFormatPNG;
  PlainSave(stream, Gdiplus::ImageFormatPNG, nullptr);
}

void TGPGraphic::SaveTIFF(base::TStream& stream) {
  if (IsUndefined(FFormat)) FFormat = Gdiplus::ImageFormatTIFF;
  PlainSave(stream, Gdiplus::ImageFormatTIFF, nullptr);
}

void TGPGraphic::SaveGIF(base::TStream& stream) {
  if (IsUndefined(FFormat)) FFormat = Gdiplus::ImageFormatGIF;
  TGPImage& image = *FData->Image;
  if (!image.SourceBytes().empty() && image.GetRawFormat() == Gdiplus::ImageFormatGIF) {
    PlainSave(stream, Gdiplus::ImageFormatGIF, nullptr);
    return;
  }
  int64_t start = stream.Position();
  try {
    quantize::TOctreeQuantizer quantizer(FMaxColors, 8);
    std::unique_ptr<TGPBitmap> reduced = Quantize(quantizer, image);
    TAdapterRef adapter(new TGPStreamAdapter(&stream, false));
    reduced->Save(adapter.Get(), FindEncoder(Gdiplus::ImageFormatGIF).Clsid, nullptr);
  } catch (const quantize::EQuantizerMemory&) {
    // Not a picture the encoder would do better with: the caller hears why nothing was saved.
    stream.SetPosition(start);
    stream.SetSize(start);
    throw;
  } catch (...) {
    // The encoder gets the true-colour picture instead (and reduces it its own way).
    stream.SetPosition(start);
    stream.SetSize(start);
    PlainSave(stream, Gdiplus::ImageFormatGIF, nullptr);
  }
}

// ---- Drawing

void TGPGraphic::Draw(ui::TCanvas& canvas, const RECT& rect) {
  if (!FData->Image || !canvas.Handle()) return;
  try {
    TGPGraphics graphics(canvas.Handle());
    Draw(graphics, Gdiplus::RectF(static_cast<Gdiplus::REAL>(rect.left), static_cast<Gdiplus::REAL>(rect.top),
                                  static_cast<Gdiplus::REAL>(rect.right - rect.left),
                                  static_cast<Gdiplus::REAL>(rect.bottom - rect.top)));
  } catch (...) {
    // Drawing never raises.
  }
}

void TGPGraphic::Draw(TGPGraphics& graphics, const Gdiplus::RectF& rect) {
  if (!FData->Image) return;
  Gdiplus::GraphicsState state = graphics.Save();
  try {
    graphics.SetInterpolationMode(InterpolationMode);
    graphics.SetSmoothingMode(SmoothingMode);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    graphics.DrawImage(*FData->Image, rect);
  } catch (...) {
    graphics.Restore(state);
    throw;
  }
  graphics.Restore(state);
}

// ---- Assignment

void TGPGraphic::Assign(ui::TGraphic& source) {
  if (&source == this) return;
  if (auto* other = dynamic_cast<TGPGraphic*>(&source)) {
    StopAnimation();
    FData = other->FData;
    FPixelFormat = other->FPixelFormat;
    if (IsUndefined(FFormat)) FFormat = other->FFormat;
    RestartAnimation();
    Changed(this);
    return;
  }
  if (auto* bitmap = dynamic_cast<ui::TBitmap*>(&source)) {
    AssignFromBitmap(*bitmap);
    return;
  }
  ui::TGraphic::Assign(source);
}

void TGPGraphic::AssignFromBitmap(ui::TBitmap& bitmap) {
  NewData();
  if (!bitmap.Empty()) {
    FData->Image = std::make_unique<TGPBitmap>(bitmap.Handle(), bitmap.Palette());
    FData->Width = bitmap.Width();
    FData->Height = bitmap.Height();
    FPixelFormat = FromGdiplusPixelFormat(FData->Image->GetPixelFormat());
    if (bitmap.Transparent()) MakeTransparent(ColorToARGB(bitmap.TransparentColor()));
  }
  Changed(this);
}

bool TGPGraphic::AssignTo(ui::TGraphic& dest) {
  if (auto* bitmap = dynamic_cast<ui::TBitmap*>(&dest)) {
    if (!FData->Image) {
      bitmap->SetHandle(nullptr);
      return true;
    }
    base::TMemoryStream bmp;
    PlainSave(bmp, Gdiplus::ImageFormatBMP, nullptr);
    bmp.SetPosition(0);
    bitmap->LoadFromStream(bmp);
    return true;
  }
  if (auto* other = dynamic_cast<TGPGraphic*>(&dest)) {
    other->Assign(*this);
    return true;
  }
  return false;
}

bool TGPGraphic::Equals(ui::TGraphic& other) {
  auto* picture = dynamic_cast<TGPGraphic*>(&other);
  if (!picture) return false;
  if (FData->Image && picture->FData->Image) return ui::TGraphic::Equals(other);
  return FData == picture->FData;
}

void TGPGraphic::MakeTransparent(Gdiplus::ARGB key) {
  TGPImage* image = FData->Image.get();
  if (!image) return;
  if (image->GetRawFormat() == Gdiplus::ImageFormatIcon) throw InvalidOperationException("CantMakeIconTransparent");
  Gdiplus::RectF bounds = image->GetBounds();
  auto width = static_cast<int32_t>(bounds.Width), height = static_cast<int32_t>(bounds.Height);
  TGPBitmap keyed(width, height, PixelFormat32bppARGB);
  {
    TGPGraphics graphics(keyed);
    graphics.Clear(0x00FFFFFF);
    TGPImageAttributes attributes;
    attributes.SetColorKey(key, key);
    graphics.DrawImage(*image, Gdiplus::Rect(0, 0, width, height),
                       Gdiplus::Rect(static_cast<INT>(bounds.X), static_cast<INT>(bounds.Y), width, height),
                       Gdiplus::UnitPixel, &attributes);
  }
  image->SwapNative(keyed);  // keyed now holds the old image and frees it
  image->DropSourceBytes();
  FPixelFormat = ui::TPixelFormat::pf32bit;
  Changed(this);
}

// ---- Sizing

void TGPGraphic::SetSize(int32_t width, int32_t height) {
  if (!FBitmapMode && !Empty()) throw ui::EInvalidGraphicOperation("Cannot change the size of This image type");
  if (width == FData->Width && height == FData->Height && !Empty()) return;
  NewData();
  FData->Width = width;
  FData->Height = height;
  CreateBlankImage();
  Changed(this);
}

void TGPGraphic::SetBitmapMode(bool value) {
  if (value == FBitmapMode) return;
  FBitmapMode = value;
  if (value && Empty()) CreateBlankImage();
}

void TGPGraphic::CreateBlankImage() {
  Gdiplus::PixelFormat format = ToGdiplusPixelFormat(FPixelFormat);
  int32_t width = FData->Width, height = FData->Height;
  if (width <= 0 || height <= 0 || format == 0) return;
  NewData();
  FData->Image = std::make_unique<TGPBitmap>(width, height, format);
  FData->Width = width;
  FData->Height = height;
}

}  // namespace imaging
