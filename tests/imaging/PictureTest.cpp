// The picture classes under Wine's GDI+: loading from files and from streams at an
// offset, drawing, saving with the encoders, the platform bitmap both ways, animation on
// the frame animator thread, and the format registry. The pictures are made by
// make_pictures.sh at build time.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/Stream.h"
#include "base/Strings.h"
#include "imaging/AnimatorThread.h"
#include "imaging/GPPictures.h"
#include "imaging/GPQuantize.h"
#include "imaging/PixelFormats.h"
#include "imaging/StreamAdapter.h"
#include "support/TempDir.h"
#include "ui/Bitmap.h"
#include "ui/Picture.h"

using namespace imaging;

namespace {

base::WideString Data(const char* name) { return base::Utf8ToWide(std::string(IMAGING_TEST_DATA) + name); }

std::string ReadBytes(const base::WideString& file) {
  base::TFileStream f(file, platform::fmOpenRead | platform::fmShareDenyWrite);
  std::string bytes(static_cast<size_t>(f.Size()), '\0');
  if (!bytes.empty()) f.ReadBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  return bytes;
}

std::string Saved(TGPGraphic& picture) {
  base::TStringStream out;
  picture.SaveToStream(out);
  return out.DataString();
}

// The decoded picture in a bytes string, as GDI+ reads it back.
std::unique_ptr<TGPImage> Decode(const std::string& bytes) {
  auto* stream = new base::TStringStream(bytes);
  auto* adapter = new TGPStreamAdapter(stream, true);
  std::unique_ptr<TGPImage> image = TGPImage::FromStream(adapter);
  adapter->Release();
  return image;
}

Gdiplus::ARGB PixelOf(TGPImage& image, int x, int y) { return dynamic_cast<TGPBitmap&>(image).GetPixel(x, y); }

// Dispatches this thread's messages for ms milliseconds.
void Pump(uint32_t ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(5);
  }
}

class PictureTest : public ::testing::Test {
 protected:
  TImagingSession FSession;
};

}  // namespace

TEST_F(PictureTest, EveryFormatLoadsFromFileAndFromAStreamAtAnOffset) {
  struct Case {
    const char* file;
    const ui::TGraphicClass& cls;
    GUID raw;
    int32_t width, height;
  } cases[] = {
      {"rgb.png", PNGImageClass, Gdiplus::ImageFormatPNG, 64, 48},
      {"photo.jpg", JPEGImageClass, Gdiplus::ImageFormatJPEG, 64, 48},
      {"anim.gif", GIFImageClass, Gdiplus::ImageFormatGIF, 16, 16},
      {"rgb.tif", TIFImageClass, Gdiplus::ImageFormatTIFF, 64, 48},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::unique_ptr<ui::TGraphic> fromFile = c.cls.Create();
    fromFile->LoadFromFile(Data(c.file));
    auto& a = dynamic_cast<TGPGraphic&>(*fromFile);
    EXPECT_EQ(a.Width(), c.width);
    EXPECT_EQ(a.Height(), c.height);
    EXPECT_TRUE(a.Image()->GetRawFormat() == c.raw);
    EXPECT_TRUE(a.Format() == c.raw) << "each class keeps its own format";

    // The picture sits after 37 bytes of something else and before 11 more.
    std::string bytes = ReadBytes(Data(c.file));
    base::TStringStream stream(std::string(37, 'x') + bytes + std::string(11, 'y'));
    stream.SetPosition(37);
    std::unique_ptr<ui::TGraphic> fromStream = c.cls.Create();
    auto& b = dynamic_cast<TGPGraphic&>(*fromStream);
    b.LoadFromStream(stream, static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(stream.Position(), 37 + static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(b.Width(), c.width);
    EXPECT_EQ(b.Height(), c.height);
    EXPECT_EQ(PixelOf(*a.Image(), 3, 3), PixelOf(*b.Image(), 3, 3));
  }
}

TEST_F(PictureTest, StreamAdapterShowsTheStreamFromItsBase) {
  std::string bytes = ReadBytes(Data("rgb.png"));
  base::TStringStream stream(std::string(100, 'z') + bytes);
  stream.SetPosition(100);
  auto* adapter = new TGPStreamAdapter(&stream, false);
  EXPECT_EQ(adapter->Size(), static_cast<int64_t>(bytes.size()));
  STATSTG stat{};
  ASSERT_EQ(adapter->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(stat.cbSize.QuadPart, bytes.size());
  LARGE_INTEGER move{};
  move.QuadPart = 1;
  ULARGE_INTEGER at{};
  ASSERT_EQ(adapter->Seek(move, STREAM_SEEK_SET, &at), S_OK);
  EXPECT_EQ(at.QuadPart, 1u);
  EXPECT_EQ(stream.Position(), 101);
  char sig[3] = {};
  ULONG got = 0;
  ASSERT_EQ(adapter->Read(sig, 3, &got), S_OK);
  EXPECT_EQ(std::string(sig, 3), "PNG");
  move.QuadPart = -1;  // before the base: refused
  EXPECT_NE(adapter->Seek(move, STREAM_SEEK_SET, &at), S_OK);
  std::vector<uint8_t> head = adapter->CopyRange(0, 4);
  EXPECT_EQ(std::string(head.begin(), head.end()), "\x89PNG");
  EXPECT_EQ(stream.Position(), 104) << "CopyRange restores the position";

  std::unique_ptr<TGPImage> image = TGPImage::FromStream(adapter);
  EXPECT_EQ(image->GetWidth(), 64u);
  image.reset();

  // Encoders seek past the end and write there (TIFF puts its directory last): the gap
  // reads as zeros and nothing before the base moves.
  move.QuadPart = static_cast<LONGLONG>(bytes.size()) + 6;
  ASSERT_EQ(adapter->Seek(move, STREAM_SEEK_SET, &at), S_OK);
  EXPECT_EQ(at.QuadPart, bytes.size() + 6);
  ASSERT_EQ(adapter->Read(sig, 1, &got), S_FALSE);
  EXPECT_EQ(got, 0u);
  ASSERT_EQ(adapter->Write("end", 3, &got), S_OK);
  EXPECT_EQ(stream.DataString().size(), 100 + bytes.size() + 9);
  EXPECT_EQ(stream.DataString().substr(100 + bytes.size()), std::string(6, '\0') + "end");
  EXPECT_EQ(stream.DataString().substr(0, 100), std::string(100, 'z'));
  adapter->Release();
}

TEST_F(PictureTest, FailingCallsRaiseTheirStatusException) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "text.png", "this is not a picture at all");
  struct Case {
    base::WideString file;
  } cases[] = {{Data("does-not-exist.png")}, {base::Utf8ToWide(dir / "text.png")}};
  for (const Case& c : cases) {
    TPNGImage picture;
    try {
      picture.LoadFromFile(c.file);
      ADD_FAILURE() << "loaded " << base::WideToUtf8(c.file);
    } catch (const GDIPlusException& e) {
      // Windows says FileNotFound / UnknownImageFormat; Wine answers OutOfMemory or a
      // generic error for both. Either way a status exception with a table text.
      EXPECT_EQ(e.Message().rfind("Gdiplus", 0), 0u) << e.Message();
    }
    EXPECT_TRUE(picture.Empty());
  }
}

TEST_F(PictureTest, DrawsScaledOntoACanvasAndNeverRaises) {
  TPNGImage picture;
  picture.LoadFromFile(Data("rgb.png"));
  picture.InterpolationMode = Gdiplus::InterpolationModeHighQualityBicubic;
  ui::TBitmap target;
  target.SetSize32(128, 96);
  picture.Draw(target.Canvas(), RECT{0, 0, 128, 96});
  GdiFlush();
  const uint8_t* px = target.Bits();
  auto at = [&](int x, int y) { return px + (y * 128 + x) * 4; };
  // The gradient runs from red (top) to blue (bottom): blue, green, red bytes.
  EXPECT_GT(at(64, 1)[2], 200);
  EXPECT_LT(at(64, 1)[0], 60);
  EXPECT_GT(at(64, 94)[0], 200);
  EXPECT_LT(at(64, 94)[2], 60);

  ui::TCanvas noDevice;
  picture.Draw(noDevice, RECT{0, 0, 10, 10});  // nothing to draw on: nothing happens
  TPNGImage empty;
  empty.Draw(target.Canvas(), RECT{0, 0, 10, 10});
}

TEST_F(PictureTest, SavingKeepsSourceBytesOnlyWhileTheImageIsUnchanged) {
  std::string original = ReadBytes(Data("anim.gif"));
  TGIFImage gif;
  gif.LoadFromFile(Data("anim.gif"));
  EXPECT_EQ(Saved(gif), original) << "an unchanged GIF saves byte-identical";
  TGPGraphic plain;  // the base class saves in the image's own format
  plain.LoadFromFile(Data("anim.gif"));
  EXPECT_EQ(Saved(plain), original);

  // An edit after loading: the saved picture carries it.
  {
    TGPGraphics graphics(*gif.Image());
    TGPSolidBrush white(0xFFFFFFFF);
    graphics.Clear(0xFF00FF00);
  }
  std::string edited = Saved(gif);
  EXPECT_NE(edited, original);
  std::unique_ptr<TGPImage> back = Decode(edited);
  EXPECT_EQ(PixelOf(*back, 8, 8) & 0xFFFFFF, 0x00FF00u);
}

TEST_F(PictureTest, SavesInTheFormatOfTheClassOrTheImage) {
  TPNGImage png;  // a PNG picture that loaded a JPEG writes PNG
  png.LoadFromFile(Data("photo.jpg"));
  std::string s1;
  EXPECT_NO_THROW(s1 = Saved(png));
  EXPECT_EQ(s1.substr(0, 4), "\x89PNG");
  TGPGraphic any;  // undefined format: the raw format
  any.LoadFromFile(Data("photo.jpg"));
  EXPECT_NO_THROW(s1 = Saved(any));
  EXPECT_EQ(s1.substr(0, 2), "\xFF\xD8");
  TTIFImage tif;
  tif.LoadFromFile(Data("rgb.png"));
  std::string tiff;
  EXPECT_NO_THROW(tiff = Saved(tif));
  EXPECT_TRUE(tiff.substr(0, 4) == "II*" + std::string(1, '\0') || tiff.substr(0, 4) == "MM" + std::string("\0*", 2));
  EXPECT_NO_THROW(EXPECT_EQ(Decode(tiff)->GetWidth(), 64u));

  // Resource form: a 32-bit count, then the saved bytes.
  base::TMemoryStream form;
  png.WriteData(form);
  form.SetPosition(0);
  TPNGImage copy;
  EXPECT_NO_THROW(copy.ReadData(form));
  EXPECT_EQ(copy.Width(), 64);
  EXPECT_TRUE(copy.Equals(png));
}

TEST_F(PictureTest, PngSavedAsGifIsReducedTo8BitIndexed) {
  TGIFImage gif;
  gif.LoadFromFile(Data("many.png"));
  EXPECT_TRUE(gif.Image()->SourceBytes().empty());
  std::string bytes = Saved(gif);
  ASSERT_EQ(bytes.substr(0, 3), "GIF");
  std::unique_ptr<TGPImage> back = Decode(bytes);
  EXPECT_EQ(back->GetPixelFormat(), PixelFormat8bppIndexed);
  EXPECT_EQ(back->GetWidth(), 96u);
  EXPECT_LE(back->GetPalette().size(), 256u);
  // The palette is the octree quantizer's (entry 255 its opaque black), not one the
  // encoder made up from the true-colour picture.
  quantize::TOctreeQuantizer quantizer(255, 8);
  std::unique_ptr<TGPBitmap> direct = Quantize(quantizer, *gif.Image());
  EXPECT_EQ(direct->GetPixelFormat(), PixelFormat8bppIndexed);
  std::vector<Gdiplus::ARGB> palette = direct->GetPalette();
  ASSERT_EQ(palette.size(), 256u);
  EXPECT_EQ(palette[255], 0xFF000000u);
  EXPECT_EQ(back->GetPalette(), palette);
}

TEST_F(PictureTest, FailedColourReductionFallsBackToTheEncoder) {
  TGIFImage gif;
  gif.LoadFromFile(Data("many.png"));
  gif.SetMaxColors(300);  // the quantizer refuses this: the encoder gets the picture itself
  base::TStringStream out("head");
  out.SetPosition(4);
  gif.SaveToStream(out);
  // Written from where the stream stood, nothing before it touched, and the GIF's
  // screen is the picture's size.
  const std::string& bytes = out.DataString();
  ASSERT_GE(bytes.size(), 14u);
  EXPECT_EQ(bytes.substr(0, 10), "headGIF89a");
  EXPECT_EQ(static_cast<uint8_t>(bytes[10]) | static_cast<uint8_t>(bytes[11]) << 8, 96);
  EXPECT_EQ(static_cast<uint8_t>(bytes[12]) | static_cast<uint8_t>(bytes[13]) << 8, 96);
  // Windows' encoder reduces a true-colour picture to its halftone palette. Wine's (8.0)
  // answers Ok but writes only the GIF header and trailer (24 bytes, no palette, no
  // image), so the pixels are checked where the encoder does its job.
  if (bytes.size() > 4 + 24) {
    EXPECT_EQ(Decode(bytes.substr(4))->GetWidth(), 96u);
  }
}

TEST_F(PictureTest, QuantizingOneColourGivesOneEntryAndIndexZero) {
  TGPBitmap source(5, 3, PixelFormat32bppARGB);
  {
    TGPGraphics graphics(source);
    graphics.Clear(0xFF336699);
  }
  quantize::TOctreeQuantizer quantizer(255, 8);
  std::unique_ptr<TGPBitmap> indexed = Quantize(quantizer, source);
  ASSERT_EQ(indexed->GetWidth(), 5u);
  ASSERT_EQ(indexed->GetHeight(), 3u);
  EXPECT_EQ(indexed->GetPalette()[0], 0xFF336699u);
  Gdiplus::BitmapData data{};
  indexed->LockBits(Gdiplus::Rect(0, 0, 5, 3), Gdiplus::ImageLockModeRead, PixelFormat8bppIndexed, data);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(static_cast<uint8_t*>(data.Scan0)[y * data.Stride + x], 0) << x << "," << y;
  indexed->UnlockBits(data);
}

TEST_F(PictureTest, JpegEncoderParameters) {
  struct Case {
    int32_t quality, transform;
    UINT count;
  } cases[] = {{75, 0, 1}, {75, Gdiplus::EncoderValueTransformRotate90, 2}, {10, 0, 1}};
  for (const Case& c : cases) {
    std::vector<uint8_t> buffer = JPEGEncoderParameters(c.quality, c.transform);
    auto* p = reinterpret_cast<Gdiplus::EncoderParameters*>(buffer.data());
    ASSERT_EQ(p->Count, c.count);
    EXPECT_TRUE(p->Parameter[0].Guid == Gdiplus::EncoderQuality);
    EXPECT_EQ(*static_cast<ULONG*>(p->Parameter[0].Value), static_cast<ULONG>(c.quality));
    if (c.count == 2) {
      EXPECT_TRUE(p->Parameter[1].Guid == Gdiplus::EncoderTransformation);
      EXPECT_EQ(*static_cast<ULONG*>(p->Parameter[1].Value), static_cast<ULONG>(c.transform));
    }
  }
  // Both kinds of parameter lists reach the encoder and give a readable JPEG.
  TJPEGImage jpeg;
  jpeg.LoadFromFile(Data("many.png"));
  jpeg.SetQuality(75);
  std::string one = Saved(jpeg);
  jpeg.SetTransform(Gdiplus::EncoderValueTransformRotate90);
  std::string two = Saved(jpeg);
  for (const std::string* s : {&one, &two}) {
    ASSERT_EQ(s->substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(Decode(*s)->GetWidth(), 96u);
  }
  jpeg.SetTransform(0);
  jpeg.SetQuality(5);
  std::string low = Saved(jpeg);
  jpeg.SetQuality(100);
  std::string high = Saved(jpeg);
  // Windows' encoder makes the quality-5 file far smaller; Wine's encoder (8.0) takes
  // the parameters and ignores them, so the files come out the same there.
  EXPECT_LE(low.size(), high.size());
}

TEST_F(PictureTest, ScreenSizeFromResolution) {
  const uint32_t dpiOnly = Gdiplus::ImageFlagsHasRealDPI;
  const uint32_t both = Gdiplus::ImageFlagsHasRealDPI | Gdiplus::ImageFlagsHasRealPixelSize;
  struct Case {
    uint32_t flags;
    float dpi;
    int32_t screen;
    int32_t width;
  } cases[] = {
      {dpiOnly, 72.0f, 96, 133},                              // 100 x 96 / 72, rounded
      {dpiOnly, 96.0f, 96, 100}, {dpiOnly, 72.4f, 120, 167},  // the resolution is rounded first: 100 x 120 / 72
      {dpiOnly, 0.3f, 96, 100},                               // below half a dot per inch: the screen's
      {dpiOnly, 0.0f, 96, 100},  {both, 72.0f, 96, 100},      // a real pixel size wins
      {0, 72.0f, 96, 100},
  };
  for (const Case& c : cases) {
    TScreenSize s = ScreenSize(c.flags, 100, 50, c.dpi, c.dpi, c.screen);
    EXPECT_EQ(s.Width, c.width) << c.dpi << " dpi on " << c.screen;
  }
  // A raster picture of 72 dpi keeps its pixel size.
  TPNGImage png;
  png.LoadFromFile(Data("dpi72.png"));
  EXPECT_NEAR(png.Image()->GetHorizontalResolution(), 72.0f, 0.5f);
  EXPECT_EQ(png.Width(), 100);
}

TEST_F(PictureTest, KeyColourOfATransparentBitmapBecomesAlpha) {
  ui::TBitmap bitmap;
  bitmap.SetSize32(8, 4);
  uint8_t* px = bitmap.Bits();
  for (int i = 0; i < 32; ++i) {
    bool key = i % 3 == 0;
    px[i * 4 + 0] = key ? 0xFF : 0x20;  // blue
    px[i * 4 + 1] = key ? 0x00 : 0x80;  // green
    px[i * 4 + 2] = key ? 0xFF : 0x40;  // red
    px[i * 4 + 3] = 0;
  }
  bitmap.SetTransparentColor(0xFF00FF);  // magenta
  bitmap.SetTransparent(true);
  TPNGImage picture;
  picture.Assign(bitmap);
  ASSERT_FALSE(picture.Empty());
  EXPECT_EQ(picture.Width(), 8);
  EXPECT_EQ(picture.Height(), 4);
  for (int i = 0; i < 32; ++i) {
    Gdiplus::ARGB c = PixelOf(*picture.Image(), i % 8, i / 8);
    if (i % 3 == 0)
      EXPECT_EQ(c >> 24, 0u) << "key pixel " << i;
    else
      EXPECT_EQ(c, 0xFF408020u) << "pixel " << i;
  }
  // And back into a platform bitmap.
  ui::TBitmap out;
  picture.AssignTo(out);
  ASSERT_EQ(out.Width(), 8);
  ASSERT_EQ(out.Height(), 4);
  ASSERT_NE(out.Bits(), nullptr);
  // The encoder decides the depth (Wine writes 24 bits, dropping alpha); every pixel
  // outside the key has the same colour, so pixel 1 of the first stored row will do.
  DIBSECTION dib{};
  ASSERT_EQ(GetObject(out.Handle(), sizeof dib, &dib), static_cast<int>(sizeof dib));
  ASSERT_GE(dib.dsBm.bmBitsPixel, 24);
  const uint8_t* last = out.Bits() + dib.dsBm.bmBitsPixel / 8;
  EXPECT_EQ(last[0], 0x20);
  EXPECT_EQ(last[1], 0x80);
  EXPECT_EQ(last[2], 0x40);

  TPNGImage fromPng;
  fromPng.LoadFromFile(Data("rgb.png"));
  ui::TBitmap rgb;
  rgb.Assign(fromPng);
  EXPECT_EQ(rgb.Width(), 64);
  EXPECT_EQ(rgb.Height(), 48);
}

TEST_F(PictureTest, AnimateOffShowsTheFirstFrame) {
  TGIFImage gif;
  gif.LoadFromFile(Data("anim.gif"));
  EXPECT_EQ(gif.Image()->TimeFrameCount(), 3);
  std::vector<uint32_t> delays;
  ASSERT_TRUE(gif.Image()->ReadFrameDelays(delays));
  EXPECT_EQ(delays, (std::vector<uint32_t>{10, 20, 0}));
  gif.SetAnimate(true);
  ASSERT_NE(gif.ImageData()->Animator, nullptr);
  EXPECT_EQ(gif.ImageData()->Animator->Delays(), (std::vector<uint32_t>{10, 20, 10}));
  gif.Image()->SelectTimeFrame(2);
  EXPECT_EQ(PixelOf(*gif.Image(), 1, 1) & 0xFFFFFF, 0x0000FFu);
  int changes = 0;
  gif.OnChange = {[](void* n, base::TObject*) { ++*static_cast<int*>(n); }, &changes};
  gif.SetAnimate(false);
  EXPECT_EQ(gif.ImageData()->Animator, nullptr);
  EXPECT_EQ(PixelOf(*gif.Image(), 1, 1) & 0xFFFFFF, 0xFF0000u) << "first frame again";
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(AnimatorThread(), nullptr) << "the last animation stopped: no thread";

  TGIFImage still;
  still.LoadFromFile(Data("still.gif"));
  still.SetAnimate(true);
  EXPECT_EQ(still.ImageData()->Animator, nullptr);
  EXPECT_EQ(AnimatorThread(), nullptr) << "a single frame starts no thread";
}

TEST_F(PictureTest, FramesAdvanceOnTheGuiThreadAndAHandlerMayStopItsAnimation) {
  struct TState {
    TGIFImage gif;
    std::vector<DWORD> threads;
    int stopAfter = 0;
  } state;
  state.gif.LoadFromFile(Data("anim.gif"));
  state.gif.OnFrameChange = {[](void* ctx, base::TObject*) {
                               auto* s = static_cast<TState*>(ctx);
                               s->threads.push_back(GetCurrentThreadId());
                               if (s->stopAfter && static_cast<int>(s->threads.size()) >= s->stopAfter)
                                 s->gif.SetAnimate(false);
                             },
                             &state};
  state.gif.SetAnimate(true);
  Pump(700);  // frames of 100, 200 and 100 ms: several changes
  EXPECT_GE(state.threads.size(), 3u);
  for (DWORD id : state.threads) EXPECT_EQ(id, GetCurrentThreadId());

  state.threads.clear();
  state.stopAfter = 1;  // the handler switches animation off inside its frame change
  Pump(600);
  EXPECT_GE(state.threads.size(), 1u);
  EXPECT_FALSE(state.gif.Animate());
  EXPECT_EQ(AnimatorThread(), nullptr);
}

TEST_F(PictureTest, ResizingNeedsBitmapMode) {
  TPNGImage png;
  png.LoadFromFile(Data("rgb.png"));
  try {
    png.SetWidth(10);
    ADD_FAILURE() << "resized";
  } catch (const ui::EInvalidGraphicOperation& e) {
    EXPECT_EQ(e.Message(), "Cannot change the size of This image type");
  }
  TPNGImage canvas;
  canvas.SetBitmapMode(true);
  canvas.SetSize(30, 20);
  ASSERT_FALSE(canvas.Empty());
  EXPECT_EQ(canvas.Image()->GetWidth(), 30u);
  EXPECT_EQ(canvas.Image()->GetPixelFormat(), PixelFormat32bppARGB);
  canvas.SetWidth(40);
  EXPECT_EQ(canvas.Width(), 40);
  EXPECT_EQ(canvas.Image()->GetHeight(), 20u);
}

TEST_F(PictureTest, FormatsAreRegisteredByExtension) {
  struct Case {
    const char* ext;
    const ui::TGraphicClass* cls;
    const char* description;
  } cases[] = {
      {"jfif", &JPEGImageClass, "JPEG Image File"},      {"jpeg", &JPEGImageClass, "JPEG Image File"},
      {"jpg", &JPEGImageClass, "JPEG Image File"},       {"png", &PNGImageClass, "Portable Network Graphics"},
      {"gif", &GIFImageClass, "GIF CompuServe GIF"},     {"tif", &TIFImageClass, "Tag Image File Format"},
      {"tiff", &TIFImageClass, "Tag Image File Format"},
  };
  std::vector<ui::TFileFormat> formats = ui::TPicture::FileFormats();
  ASSERT_GE(formats.size(), 7u);
  for (size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(formats[i].Extension, cases[i].ext);
    EXPECT_EQ(formats[i].GraphicClass, cases[i].cls);
    EXPECT_EQ(formats[i].Description, cases[i].description);
  }
  EXPECT_EQ(ui::TPicture::GraphicClassForExtension(".PNG"), &PNGImageClass);
  ui::TPicture picture;
  picture.LoadFromFile(Data("still.gif"));
  EXPECT_STREQ(picture.Graphic()->ClassName(), "TGIFImage");
  EXPECT_THROW(picture.LoadFromFile(Data("rgb.bmpx")), ui::EInvalidGraphic);
  UnregisterPictureFormats();
  EXPECT_EQ(ui::TPicture::GraphicClassForExtension("gif"), nullptr);
  RegisterPictureFormats();
}

TEST_F(PictureTest, SharedDataAndEquality) {
  TPNGImage a, b;
  a.LoadFromFile(Data("rgb.png"));
  b.Assign(a);
  EXPECT_EQ(a.ImageData(), b.ImageData());
  EXPECT_TRUE(a.Equals(b));
  TPNGImage c;
  c.LoadFromFile(Data("dpi72.png"));
  EXPECT_FALSE(a.Equals(c));
  TPNGImage e1, e2;
  EXPECT_FALSE(e1.Equals(e2)) << "two empty pictures share no data";
  e2.Assign(e1);
  EXPECT_TRUE(e1.Equals(e2));
  // A graphic neither side knows: the conversion error names both classes.
  struct TOther : ui::TGraphic {
    const char* ClassName() const override { return "TOther"; }
    int32_t Width() const override { return 0; }
    int32_t Height() const override { return 0; }
    bool Empty() const override { return true; }
    void SetWidth(int32_t) override {}
    void SetHeight(int32_t) override {}
    void Draw(ui::TCanvas&, const RECT&) override {}
    void LoadFromStream(base::TStream&) override {}
    void SaveToStream(base::TStream&) override {}
  } other;
  try {
    a.Assign(other);
    ADD_FAILURE() << "assigned";
  } catch (const base::EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TOther to a TPNGImage");
  }
}

TEST_F(PictureTest, HostileBmpStreamsAreRefused) {
  // A valid 2 x 2, 24-bit BMP, then the same with one field broken at a time.
  auto bmp = [](int32_t width, int32_t height, uint16_t bits, uint32_t offBits, uint32_t colors, size_t pixelBytes) {
    std::string s(54 + pixelBytes, '\0');
    auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&s[at], &v, 2); };
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&s[at], &v, 4); };
    s[0] = 'B';
    s[1] = 'M';
    put32(2, static_cast<uint32_t>(s.size()));
    put32(10, offBits);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    put16(26, 1);
    put16(28, bits);
    put32(46, colors);
    return s;
  };
  struct Case {
    const char* what;
    std::string bytes;
    bool valid;
  } cases[] = {
      {"valid", bmp(2, 2, 24, 54, 0, 16), true},
      {"top-down", bmp(2, -2, 24, 54, 0, 16), true},
      {"pixels cut short", bmp(2, 2, 24, 54, 0, 15), false},
      {"offset past the end", bmp(2, 2, 24, 4000, 0, 16), false},
      {"offset inside the header", bmp(2, 2, 24, 20, 0, 16), false},
      {"huge width", bmp(0x40000000, 2, 24, 54, 0, 16), false},
      {"zero height", bmp(2, 0, 24, 54, 0, 16), false},
      {"7 bits per pixel", bmp(2, 2, 7, 54, 0, 16), false},
      {"colour table past the end", bmp(2, 2, 8, 54, 200, 16), false},
      {"more colours than 8 bits hold", bmp(2, 2, 8, 54 + 4 * 300, 300, 16 + 4 * 300), false},
      {"too short for a header", std::string("BM\0\0"), false},
  };
  for (const Case& c : cases) {
    base::TStringStream stream(c.bytes);
    ui::TBitmap bitmap;
    if (c.valid) {
      EXPECT_NO_THROW(bitmap.LoadFromStream(stream)) << c.what;
      EXPECT_EQ(bitmap.Width(), 2) << c.what;
    } else {
      EXPECT_THROW(bitmap.LoadFromStream(stream), ui::EInvalidGraphic) << c.what;
      EXPECT_TRUE(bitmap.Empty()) << c.what;
    }
  }
}

TEST_F(PictureTest, OleStreamReadsAndWritesAnIStream) {
  IStream* native = nullptr;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &native), S_OK);
  {
    TOleStream stream(native);
    stream.WriteBuffer("0123456789", 10);
    EXPECT_EQ(stream.Size(), 10);
    EXPECT_EQ(stream.Seek(-4, base::TSeekOrigin::soEnd), 6);
    char tail[8] = {};
    EXPECT_EQ(stream.Read(tail, 8), 4);
    EXPECT_EQ(std::string(tail), "6789");
    stream.SetSize(3);
    EXPECT_EQ(stream.Size(), 3);
    // A picture saved through it reads back.
    stream.SetSize(0);
    stream.SetPosition(0);
    TPNGImage png;
    png.LoadFromFile(Data("rgb.png"));
    png.SaveToStream(stream);
    stream.SetPosition(0);
    TPNGImage back;
    back.LoadFromStream(stream);
    EXPECT_EQ(back.Width(), 64);
  }
  EXPECT_EQ(native->Release(), 0u) << "TOleStream gave its reference back";
}
