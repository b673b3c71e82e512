// Windows only: images other than .bmp load through GDI+ with their alpha channel, and a
// picture request gets a picture of the imaging library.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/GPPictures.h"
#include "skin/SkinEngine.h"
#include "support/TempDir.h"

using namespace skin;

TEST(SkinGdiplus, SamplePngLoadsAsA32BitBitmapAndAsAPicture) {
  imaging::TImagingSession session;
  TQZSkinEngine engine;
  auto& reader = static_cast<TQZFileSkinReader&>(engine.Reader());
  reader.SetRootFolderOverride(SKIN_SAMPLES_DIR);
  ASSERT_TRUE(reader.OpenSkinFolder("Blue"));
  TSkinItem* glow = engine.FindItem("Glow");
  ASSERT_TRUE(glow);
  TSkinBitmap* bitmap = glow->Part(0)->State(0)->PrepareStateBitmap();
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(bitmap->Width(), 16);
  EXPECT_EQ(bitmap->BitsPerPixel(), 32);
  // Blue's base colour, blue byte first; alpha falls off from the centre.
  EXPECT_EQ(bitmap->Pixel(8, 8)[0], 200);
  EXPECT_EQ(bitmap->Pixel(8, 8)[3], 239);
  EXPECT_EQ(bitmap->Pixel(0, 0)[3], 15);
  TSkinImageObject* picture = glow->Graphic.GetBitmap(ikPicture);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->Kind(), ikPicture);
  EXPECT_EQ(glow->Graphic.GetBitmap(ikBitmap), bitmap);
}

namespace {

// A bottom-up BMP file: the info header, colour table (b, g, r, 0 each) and rows as given
// (top row first, already padded to four bytes).
std::string RawBmp(int32_t width, int32_t height, uint16_t bits, const std::string& palette,
                   const std::vector<std::string>& rowsTopDown) {
  std::string data;
  for (auto it = rowsTopDown.rbegin(); it != rowsTopDown.rend(); ++it) data += *it;
  auto le = [](std::string& s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s += static_cast<char>(v >> (8 * i));
  };
  uint32_t offset = 54 + static_cast<uint32_t>(palette.size());
  std::string out = "BM";
  le(out, offset + static_cast<uint32_t>(data.size()), 4);
  le(out, 0, 4);
  le(out, offset, 4);
  for (uint32_t v : {40u, uint32_t(width), uint32_t(height)}) le(out, v, 4);
  le(out, 1, 2);
  le(out, bits, 2);
  for (uint32_t v : {0u, uint32_t(data.size()), 2835u, 2835u, uint32_t(palette.size() / 4), 0u}) le(out, v, 4);
  return out + palette + data;
}

}  // namespace

TEST(SkinGdiplus, PalettedAndSixteenBitBmpLoadAsTwentyFourBits) {
  testsupport::TempDir dir;
  const std::string palette("\x0a\x14\x1e\0\xc8\x64\x32\0\0\0\xff\0\xff\xff\xff\0", 16);
  testsupport::WriteFile(dir / "pal.bmp",
                         RawBmp(3, 2, 8, palette, {std::string("\0\1\2\0", 4), std::string("\3\2\1\0", 4)}));
  // 5-5-5: red, green.
  testsupport::WriteFile(dir / "555.bmp", RawBmp(2, 1, 16, "", {std::string("\x00\x7c\xe0\x03", 4)}));
  testsupport::WriteFile(dir / "junk.bmp", "BM not a bitmap");
  auto provider = CreateDefaultSkinImageProvider();

  auto pal = provider->Load(dir / "pal.bmp", "bmp", ikBitmap);
  ASSERT_TRUE(pal);
  auto& p = static_cast<TSkinBitmap&>(*pal);
  ASSERT_EQ(p.Width(), 3);
  EXPECT_EQ(p.BitsPerPixel(), 24);
  auto bgr = [](const uint8_t* px) { return uint32_t(px[0]) | uint32_t(px[1]) << 8 | uint32_t(px[2]) << 16; };
  EXPECT_EQ(bgr(p.Pixel(0, 0)), 0x1E140Au);
  EXPECT_EQ(bgr(p.Pixel(1, 0)), 0x3264C8u);
  EXPECT_EQ(bgr(p.Pixel(2, 0)), 0xFF0000u);
  EXPECT_EQ(bgr(p.Pixel(0, 1)), 0xFFFFFFu);
  EXPECT_EQ(p.Pixel(2, 1)[3], 255);

  auto hi = provider->Load(dir / "555.bmp", "", ikBitmap);
  ASSERT_TRUE(hi);
  EXPECT_EQ(bgr(static_cast<TSkinBitmap&>(*hi).Pixel(0, 0)), 0xFF0000u);  // red byte last
  EXPECT_EQ(bgr(static_cast<TSkinBitmap&>(*hi).Pixel(1, 0)), 0x00FF00u);

  EXPECT_FALSE(provider->Load(dir / "junk.bmp", "bmp", ikBitmap));
  EXPECT_FALSE(provider->Load(dir / "missing.bmp", "bmp", ikBitmap));
}
