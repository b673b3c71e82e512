// Windows only: images other than .bmp load through GDI+ with their alpha channel, and a
// picture request gets a picture of the imaging library.
#include <gtest/gtest.h>

#include "imaging/GPPictures.h"
#include "skin/SkinEngine.h"

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
