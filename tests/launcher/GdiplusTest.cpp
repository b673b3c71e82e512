// The GDI+ object layer the splash uses: status table, the splash picture through
// GDI+ into a 32-bit GDI bitmap, fonts and text.
#include <gtest/gtest.h>

#include <typeinfo>

#include "imaging/GdiplusObjects.h"
#include "launcher/ProgramFolders.h"
#include "ui/Bitmap.h"

using namespace imaging;

namespace {

class GdiplusTest : public ::testing::Test {
 protected:
  TGdiplusSession FSession;
  base::WideString SplashPath() { return launcher::GetProgramDir() + u"Skin\\splash.png"; }
};

template <class E>
bool Raises(int32_t status, const char* message) {
  try {
    StatusException(status);
  } catch (const E& e) {
    return e.Message() == message;
  } catch (...) {
  }
  return false;
}

}  // namespace

TEST(GdiplusStatus, EveryStatusRaisesItsClassAndMessage) {
  EXPECT_TRUE(Raises<ExternalException>(1, "GdiplusGenericError"));
  EXPECT_TRUE(Raises<ArgumentException>(2, "GdiplusInvalidParameter"));
  EXPECT_TRUE(Raises<OutOfMemoryException>(3, "GdiplusOutOfMemory"));
  EXPECT_TRUE(Raises<InvalidOperationException>(4, "GdiplusObjectBusy"));
  EXPECT_TRUE(Raises<OutOfMemoryException>(5, "GdiplusInsufficientBuffer"));
  EXPECT_TRUE(Raises<NotImplementedException>(6, "GdiplusNotImplemented"));
  EXPECT_TRUE(Raises<ExternalException>(7, "GdiplusGenericError"));
  EXPECT_TRUE(Raises<InvalidOperationException>(8, "GdiplusWrongState"));
  EXPECT_TRUE(Raises<ExternalException>(9, "GdiplusAborted"));
  EXPECT_TRUE(Raises<FileNotFoundException>(10, "GdiplusFileNotFound"));
  EXPECT_TRUE(Raises<OverflowException>(11, "GdiplusOverflow"));
  EXPECT_TRUE(Raises<ExternalException>(12, "GdiplusAccessDenied"));
  EXPECT_TRUE(Raises<ArgumentException>(13, "GdiplusUnknownImageFormat"));
  EXPECT_TRUE(Raises<ArgumentException>(14, "GdiplusFontFamilyNotFound"));
  EXPECT_TRUE(Raises<ArgumentException>(15, "GdiplusFontStyleNotFound"));
  EXPECT_TRUE(Raises<ArgumentException>(16, "GdiplusNotTrueTypeFont_NoName"));
  EXPECT_TRUE(Raises<ExternalException>(17, "GdiplusUnsupportedGdiplusVersion"));
  EXPECT_TRUE(Raises<ExternalException>(18, "GdiplusNotInitialized"));
  EXPECT_TRUE(Raises<ArgumentException>(19, "GdiplusPropertyNotFoundError"));
  EXPECT_TRUE(Raises<ArgumentException>(20, "GdiplusPropertyNotSupportedError"));
  EXPECT_TRUE(Raises<ExternalException>(21, "GdiplusUnknown"));
  EXPECT_TRUE(Raises<ExternalException>(-1, "GdiplusUnknown"));
  EXPECT_TRUE(Raises<GDIPlusException>(2, "GdiplusInvalidParameter"));  // one common base
}

TEST_F(GdiplusTest, SplashPictureKeepsItsAlphaThroughTheGdiBitmap) {
  TGPBitmap picture(SplashPath());
  EXPECT_EQ(picture.GetWidth(), 523u);
  EXPECT_EQ(picture.GetHeight(), 298u);
  EXPECT_EQ(picture.GetPixel(1, 1) >> 24, 0u);
  EXPECT_EQ(picture.GetPixel(300, 285), 0x80C83C28u);
  EXPECT_EQ(picture.GetPixel(480, 260), 0xFFEBEBF0u);

  ui::TBitmap bitmap;
  bitmap.SetHandle(picture.GetHBITMAP(0x00000000));
  ASSERT_EQ(bitmap.Width(), 523);
  ASSERT_EQ(bitmap.Height(), 298);
  // Read back as top-down 32-bit rows: blue, green, red, alpha.
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 523, -298, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<uint8_t> px(523 * 298 * 4);
  ASSERT_EQ(GetDIBits(bitmap.Canvas().Handle(), bitmap.ReleaseHandle(), 0, 298, px.data(), &bi, DIB_RGB_COLORS), 298);
  auto at = [&](int x, int y) { return &px[(y * 523 + x) * 4]; };
  EXPECT_EQ(at(1, 1)[3], 0) << "transparent corner";
  EXPECT_EQ(at(300, 285)[3], 128) << "half-transparent band";
  // Composed over transparent black, the colour comes premultiplied, as the layered
  // window's source-alpha blending wants it.
  EXPECT_NEAR(at(300, 285)[2], 100, 1);
  EXPECT_EQ(at(480, 260)[3], 255);
  EXPECT_EQ(at(480, 260)[2], 235);
}

TEST_F(GdiplusTest, MissingOrBrokenPictureRaises) {
  EXPECT_THROW(TGPBitmap(launcher::GetProgramDir() + u"Skin\\nothing.png"), GDIPlusException);
  EXPECT_THROW(TGPBitmap(launcher::GetProgramDir() + u"VT_Log.dll"), GDIPlusException);
}

TEST_F(GdiplusTest, UnknownFontFamilyRaisesWithoutFallback) {
  try {
    TGPFontFamily family(u"No Such Family 42");
    FAIL() << "no exception";
  } catch (const ArgumentException& e) {
    EXPECT_EQ(e.Message(), "GdiplusFontFamilyNotFound");
  }
}

TEST_F(GdiplusTest, DrawStringPaintsTextOnlyInsideItsArea) {
  ui::TBitmap bitmap;
  bitmap.SetSize32(200, 60);
  {
    TGPGraphics graphics(bitmap.Canvas().Handle());
    graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
    TGPFontFamily family(u"Tahoma");
    TGPFont font(family, 8.5f, Gdiplus::FontStyleRegular, Gdiplus::UnitPoint);
    TGPSolidBrush white(0xFFFFFFFF);
    graphics.DrawString(u"Version: 2.1.0", font, Gdiplus::RectF(100, 30, 0, 0), nullptr, white);
  }
  GdiFlush();
  const uint8_t* px = bitmap.Bits();
  ASSERT_NE(px, nullptr);
  int inside = 0, outside = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 200; ++x) {
      bool lit = px[(y * 200 + x) * 4 + 1] > 128;
      (x >= 98 && y >= 28 ? inside : outside) += lit;
    }
  EXPECT_GT(inside, 30);
  EXPECT_EQ(outside, 0);
}
