// The GDI painter under Wine, pixel by pixel. Expectations are computed here from the
// source pictures (and, for blending, from the blend routines themselves); where a
// stretch's nearest-pixel choice at a fractional scale matters, the platform's own
// plain stretch of a coordinate picture tells which source pixel each destination pixel
// shows.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <vector>

#include "blend/BlendLine.h"
#include "skin/SkinDraw.h"
#include "skin/SkinEngine.h"
#include "skin/SkinPaint.h"

using namespace skin;

namespace {

// A top-down DIB section selected into its own memory DC.
class TestDib {
 public:
  TestDib(int32_t w, int32_t h, int32_t bpp = 32) : W(w), H(h), Bpp(bpp) {
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, static_cast<WORD>(bpp), BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    Handle = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    Bits = static_cast<uint8_t*>(bits);
    DC = CreateCompatibleDC(nullptr);
    Old = SelectObject(DC, Handle);
  }
  ~TestDib() {
    SelectObject(DC, Old);
    DeleteDC(DC);
    DeleteObject(Handle);
  }
  // The painter selects a source bitmap into its own DC; a bitmap can be in one only.
  HBITMAP Unselected() {
    SelectObject(DC, Old);
    return Handle;
  }
  int32_t Stride() const { return (W * Bpp + 31) / 32 * 4; }
  // Pixel as 0xAARRGGBB (24 bits: alpha 0).
  uint32_t Get(int32_t x, int32_t y) const {
    GdiFlush();
    const uint8_t* p = Bits + y * Stride() + x * (Bpp / 8);
    uint32_t v = p[0] | p[1] << 8 | p[2] << 16;
    return Bpp == 32 ? v | uint32_t{p[3]} << 24 : v;
  }
  void Set(int32_t x, int32_t y, uint32_t v) {
    GdiFlush();
    uint8_t* p = Bits + y * Stride() + x * (Bpp / 8);
    for (int i = 0; i < Bpp / 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
  }
  void Fill(const std::function<uint32_t(int32_t, int32_t)>& f) {
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) Set(x, y, f(x, y));
  }
  std::vector<uint32_t> Pixels() const {
    std::vector<uint32_t> v;
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) v.push_back(Get(x, y));
    return v;
  }
  int32_t W, H, Bpp;
  HBITMAP Handle;
  uint8_t* Bits;
  HDC DC;
  HGDIOBJ Old;
};

constexpr uint32_t kMarker = 0xFF123456;
constexpr uint32_t kMagenta = 0x00FF00FF;  // as pixel bytes: blue FF, green 00, red FF
const TGridMargins kTen{10, 10, 10, 10};

// A source whose every pixel tells where it came from (opaque).
uint32_t Coord(int32_t x, int32_t y) { return 0xFF000000u | uint32_t(x * 8) | uint32_t(y * 8) << 8 | 0x40u << 16; }

// Where a nine-grid 30 x 30, margins 10, drawn to 100 x 50 takes each pixel from.
int32_t Across(int32_t x) { return x < 10 ? x : x >= 90 ? x - 70 : 10 + (x - 10) / 8; }
int32_t Down(int32_t y) { return y < 10 ? y : y >= 40 ? y - 20 : 10 + (y - 10) / 3; }

// Paints the 30 x 30 coordinate source into (5, 7) of a 120 x 70 marker-filled picture
// and checks every pixel: expect(x, y) gives the source pixel, or -1 for untouched.
void CheckGrid(uint8_t selector, int32_t w, int32_t h,
               const std::function<std::pair<int32_t, int32_t>(int32_t, int32_t)>& expect) {
  TestDib src(30, 30), dst(120, 70);
  src.Fill(Coord);
  dst.Fill([](int32_t, int32_t) { return kMarker; });
  RECT rect{5, 7, 5 + w, 7 + h};
  ASSERT_TRUE(
      NineGridPaint(dst.DC, rect, src.Unselected(), nullptr, selector, 0, pmOpaque, kTen, kTen, {0, 0, 30, 30}));
  int bad = 0;
  for (int32_t y = 0; y < dst.H; ++y)
    for (int32_t x = 0; x < dst.W; ++x) {
      bool inside = x >= 5 && x < 5 + w && y >= 7 && y < 7 + h;
      auto [sx, sy] = inside ? expect(x - 5, y - 7) : std::pair<int32_t, int32_t>{-1, -1};
      uint32_t want = sx < 0 ? kMarker : Coord(sx, sy);
      if ((dst.Get(x, y) & 0xFFFFFF) != (want & 0xFFFFFF) && ++bad <= 5)
        ADD_FAILURE() << "selector " << int(selector) << " at " << x << "," << y << ": " << std::hex << dst.Get(x, y)
                      << " want " << want;
    }
  EXPECT_EQ(bad, 0) << "selector " << int(selector);
}

using P = std::pair<int32_t, int32_t>;

}  // namespace

TEST(SkinPaint, NineGridKeepsCornersAndStretchesEdgesAndCentre) {
  CheckGrid(csAll, 100, 50, [](int32_t x, int32_t y) { return P{Across(x), Down(y)}; });
  // 9 wide: margins 5 and 4 on both sides, the source's last four columns at the right.
  CheckGrid(csAll, 9, 30, [](int32_t x, int32_t y) { return P{x < 5 ? x : x + 21, y}; });
}

TEST(SkinPaint, EverySelectorDrawsItsCellsAndNothingElse) {
  auto col = [](int32_t x) { return x < 10 ? 0 : x >= 90 ? 2 : 1; };
  auto row = [](int32_t y) { return y < 10 ? 0 : y >= 40 ? 2 : 1; };
  const P none{-1, -1};
  CheckGrid(csBorder, 100, 50, [&](int32_t x, int32_t y) {
    return col(x) == 1 && row(y) == 1 ? none : P{Across(x), Down(y)};
  });
  CheckGrid(csCenter, 100, 50, [](int32_t x, int32_t y) { return P{10 + x / 10, 10 + y / 5}; });
  CheckGrid(csLeftColumn, 100, 50, [&](int32_t x, int32_t y) { return col(x) == 0 ? P{x, Down(y)} : none; });
  CheckGrid(csMiddleColumn, 100, 50, [](int32_t x, int32_t y) { return P{10 + x / 10, Down(y)}; });
  CheckGrid(csRightColumn, 100, 50, [&](int32_t x, int32_t y) { return col(x) == 2 ? P{x - 70, Down(y)} : none; });
  CheckGrid(csTopRow, 100, 50, [&](int32_t x, int32_t y) { return row(y) == 0 ? P{Across(x), y} : none; });
  CheckGrid(csMiddleRow, 100, 50, [](int32_t x, int32_t y) { return P{Across(x), 10 + y / 5}; });
  CheckGrid(csBottomRow, 100, 50, [&](int32_t x, int32_t y) { return row(y) == 2 ? P{Across(x), y - 20} : none; });
}

TEST(SkinPaint, ColourKeyLeavesTheDestinationWhereTheSourceHasTheKey) {
  // 20 x 20 in 2 x 2 blocks, every third block magenta.
  auto keyed = [](int32_t x, int32_t y) {
    int32_t bx = x / 2, by = y / 2;
    return (bx + by) % 3 == 0 ? kMagenta : 0xFF000000u | uint32_t(bx * 20) | uint32_t(by * 20) << 8 | 0x80u << 16;
  };
  for (int32_t size : {10, 20, 50}) {  // scales 0.5, 1 and 2.5
    TestDib src(20, 20), coords(20, 20), map(size, size), dst(size, size);
    src.Fill(keyed);
    coords.Fill([](int32_t x, int32_t y) { return uint32_t(x) | uint32_t(y) << 8; });
    SetStretchBltMode(map.DC, COLORONCOLOR);
    ASSERT_TRUE(StretchBlt(map.DC, 0, 0, size, size, coords.DC, 0, 0, 20, 20, SRCCOPY));
    auto background = [](int32_t x, int32_t y) { return 0xFF000000u | uint32_t(x * 5) << 8 | uint32_t(y * 5) << 16; };
    dst.Fill(background);
    ASSERT_TRUE(TransparentStretch(dst.DC, 0, 0, size, size, src.DC, 0, 0, 20, 20, RGB(255, 0, 255))) << size;
    int bad = 0, kept = 0;
    for (int32_t y = 0; y < size; ++y)
      for (int32_t x = 0; x < size; ++x) {
        int32_t sx = map.Get(x, y) & 0xFF, sy = map.Get(x, y) >> 8 & 0xFF;
        // The platform's choice is a nearest pixel: within one of the exact position.
        ASSERT_LE(std::abs(sx * size - x * 20), 20 + size) << size;
        uint32_t s = src.Get(sx, sy);
        uint32_t want = (s & 0xFFFFFF) == kMagenta ? background(x, y) : s;
        kept += (s & 0xFFFFFF) == kMagenta;
        if ((dst.Get(x, y) & 0xFFFFFF) != (want & 0xFFFFFF)) ++bad;
      }
    EXPECT_EQ(bad, 0) << "scale " << size / 20.0;
    EXPECT_GT(kept, size * size / 4) << "scale " << size / 20.0;
    // The same through the painter's colour-key mode.
    dst.Fill(background);
    ASSERT_TRUE(NineGridPaint(dst.DC, {0, 0, size, size}, src.Unselected(), nullptr, csAll, RGB(255, 0, 255),
                              pmColorKey, {}, {}, {0, 0, 20, 20}));
    for (int32_t y = 0; y < size; ++y)
      for (int32_t x = 0; x < size; ++x) {
        uint32_t s = src.Get(map.Get(x, y) & 0xFF, map.Get(x, y) >> 8 & 0xFF);
        uint32_t want = (s & 0xFFFFFF) == kMagenta ? background(x, y) : s;
        ASSERT_EQ(dst.Get(x, y) & 0xFFFFFF, want & 0xFFFFFF) << size << " at " << x << "," << y;
      }
  }
}

TEST(SkinPaint, AlphaEqualsTheBlendRoutinesOnBothPaths) {
  auto background = [](int32_t x, int32_t y) {
    return 0xFF000000u | uint32_t(x * 9) | uint32_t(y * 7) << 8 | 0x33u << 16;
  };
  for (uint32_t alpha : {0u, 255u, 128u}) {
    const uint32_t pixel = alpha << 24 | 0x5A3C1E;
    for (int32_t size : {10, 25}) {  // equal sizes blend in place; 2.5 goes through copies
      TestDib src(10, 10), dst(size, size);
      src.Fill([&](int32_t, int32_t) { return pixel; });
      dst.Fill(background);
      ASSERT_TRUE(SoftAlphaBlend(dst.DC, 0, 0, size, size, src.DC, 0, 0, 10, 10, kPerPixelAlpha));
      for (int32_t y = 0; y < size; ++y) {
        std::vector<uint32_t> row(static_cast<size_t>(size)), front(static_cast<size_t>(size), pixel);
        for (int32_t x = 0; x < size; ++x) row[static_cast<size_t>(x)] = background(x, y);
        blend::BlendLineOver(front.data(), row.data(), size);
        for (int32_t x = 0; x < size; ++x) {
          ASSERT_EQ(dst.Get(x, y), row[static_cast<size_t>(x)]) << "alpha " << alpha << " size " << size;
          if (alpha == 0) {
            ASSERT_EQ(dst.Get(x, y), background(x, y));
          }
          if (alpha == 255) {
            ASSERT_EQ(dst.Get(x, y), pixel);
          }
        }
      }
      // The painter's alpha mode applies alpha at the destination's size: a transparent
      // source leaves even a detailed destination exactly as it was.
      dst.Fill(background);
      ASSERT_TRUE(NineGridPaint(dst.DC, {0, 0, size, size}, src.Unselected(), nullptr, csAll, 0, pmAlpha, {}, {},
                                {0, 0, 10, 10}));
      for (int32_t y = 0; y < size; ++y) {
        std::vector<uint32_t> row(static_cast<size_t>(size)), front(static_cast<size_t>(size), pixel);
        for (int32_t x = 0; x < size; ++x) row[static_cast<size_t>(x)] = background(x, y);
        blend::BlendLineOver(front.data(), row.data(), size);
        for (int32_t x = 0; x < size; ++x) ASSERT_EQ(dst.Get(x, y), row[static_cast<size_t>(x)]);
      }
    }
  }
}

TEST(SkinPaint, AlphaDirectPathHonoursWindowOriginsAndTreatsOtherDepthsAsOpaque) {
  TestDib src(8, 8), dst(16, 16);
  src.Fill([](int32_t x, int32_t y) { return uint32_t(x + 8 * y) << 24 | 0x102030; });
  dst.Fill([](int32_t, int32_t) { return kMarker; });
  SetWindowOrgEx(dst.DC, 5, 5, nullptr);
  ASSERT_TRUE(SoftAlphaBlend(dst.DC, 9, 10, 4, 3, src.DC, 2, 1, 4, 3, kPerPixelAlpha));
  SetWindowOrgEx(dst.DC, 0, 0, nullptr);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) {
      uint32_t want = kMarker;
      if (x >= 4 && x < 8 && y >= 5 && y < 8) {
        uint32_t front = src.Get(x - 4 + 2, y - 5 + 1);
        blend::BlendLineOver(&front, &want, 1);
      }
      ASSERT_EQ(dst.Get(x, y), want) << x << "," << y;
    }
  // A 24-bit source at the same size is no alpha picture: it covers the destination.
  TestDib rgb(8, 8, 24), out(8, 8);
  rgb.Fill([](int32_t x, int32_t y) { return uint32_t(x * 30) | uint32_t(y * 30) << 8; });
  out.Fill([](int32_t, int32_t) { return kMarker; });
  ASSERT_TRUE(SoftAlphaBlend(out.DC, 0, 0, 8, 8, rgb.DC, 0, 0, 8, 8, kPerPixelAlpha));
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) ASSERT_EQ(out.Get(x, y) & 0xFFFFFF, rgb.Get(x, y)) << x << "," << y;
}

TEST(SkinPaint, EmptyDestinationFailsAndChangesNothing) {
  TestDib src(30, 30), dst(40, 40);
  src.Fill(Coord);
  dst.Fill([](int32_t, int32_t) { return kMarker; });
  std::vector<uint32_t> before = dst.Pixels();
  for (uint8_t mode : {pmOpaque, pmColorKey, pmAlpha}) {
    EXPECT_FALSE(
        NineGridPaint(dst.DC, {5, 5, 5, 20}, src.Unselected(), nullptr, csAll, 0, mode, kTen, kTen, {0, 0, 30, 30}));
    EXPECT_FALSE(
        NineGridPaint(dst.DC, {5, 20, 25, 10}, src.Unselected(), nullptr, csAll, 0, mode, {}, {}, {0, 0, 30, 30}));
  }
  EXPECT_FALSE(
      NineGridPaint(dst.DC, {0, 0, 20, 20}, src.Unselected(), nullptr, csAll, 0, 3, kTen, kTen, {0, 0, 30, 30}));
  EXPECT_FALSE(NineGridPaint(dst.DC, {0, 0, 20, 20}, src.Unselected(), nullptr, csAll, 0, pmOpaque, kTen, kTen,
                             {40, 0, 50, 30}));  // nothing of the source rectangle is in the image
  EXPECT_FALSE(SoftAlphaBlend(dst.DC, 0, 0, 0, 10, src.DC, 0, 0, 10, 10, kPerPixelAlpha));
  EXPECT_FALSE(TransparentStretch(dst.DC, 0, 0, 10, 0, src.DC, 0, 0, 10, 10, 0));
  EXPECT_FALSE(TransparentStretch(dst.DC, 0, 0, 10, 10, src.DC, 0, 0, 0, 10, 0));
  EXPECT_EQ(dst.Pixels(), before);
}

TEST(SkinPaint, AFailedCellFailsThePaintAndTheOtherCellsStillDraw) {
  // A grid 100 million pixels wide: its top and bottom edges would need 3 GB each for the
  // colour key's stretched copies and fail; the left column and the right edge (drawn
  // last) succeed.
  TestDib src(30, 30), dst(40, 40);
  src.Fill(Coord);
  dst.Fill([](int32_t, int32_t) { return kMarker; });
  EXPECT_FALSE(NineGridPaint(dst.DC, {0, 0, 100'000'000, 30}, src.Unselected(), nullptr, csBorder, kMagenta, pmColorKey,
                             kTen, kTen, {0, 0, 30, 30}));
  EXPECT_EQ(dst.Get(0, 0) & 0xFFFFFF, Coord(0, 0) & 0xFFFFFF);    // top-left corner, before the failure
  EXPECT_EQ(dst.Get(5, 15) & 0xFFFFFF, Coord(5, 15) & 0xFFFFFF);  // left edge, after it
  EXPECT_EQ(dst.Get(20, 5) & 0xFFFFFF, kMarker & 0xFFFFFF);       // the failed top edge drew nothing
}

TEST(SkinPaint, UnequalMarginsNeverReadOutsideTheSourceRectangle) {
  // The source rectangle (10, 10)-(40, 40) sits in a poisoned guard band.
  constexpr uint32_t kPoison = 0xFF0000FF;
  TestDib src(50, 50);
  src.Fill([](int32_t x, int32_t y) {
    bool inside = x >= 10 && x < 40 && y >= 10 && y < 40;
    return inside ? Coord(x - 10, y - 10) : kPoison;
  });
  std::vector<uint32_t> source = src.Pixels();
  const TGridMargins pairs[][2] = {
      {kTen, {5, 5, 5, 5}}, {{4, 4, 4, 4}, {14, 14, 14, 14}}, {{20, 2, 2, 20}, {3, 25, 25, 3}}};
  for (const auto& m : pairs)
    for (auto [w, h] : {P{9, 30}, P{100, 50}, P{3, 3}, P{40, 7}, P{1, 60}})
      for (uint8_t mode : {pmOpaque, pmColorKey, pmAlpha})
        for (uint8_t sel = 0; sel <= csBottomRow; ++sel) {
          TestDib dst(w, h);
          dst.Fill([](int32_t, int32_t) { return 0xFF000000u; });
          NineGridPaint(dst.DC, {0, 0, w, h}, src.Unselected(), nullptr, sel, RGB(255, 0, 255), mode, m[0], m[1],
                        {10, 10, 40, 40});
          for (uint32_t p : dst.Pixels())
            ASSERT_NE(p & 0xFFFFFF, kPoison & 0xFFFFFF)
                << w << "x" << h << " mode " << int(mode) << " sel " << int(sel);
        }
  EXPECT_EQ(src.Pixels(), source);  // and nothing was written into it
}

TEST(SkinPaint, ClipRectangleLimitsPaintingAndTheCallersRegionComesBack) {
  TestDib src(30, 30), dst(60, 60);
  src.Fill(Coord);
  for (bool callerRegion : {false, true}) {
    dst.Fill([](int32_t, int32_t) { return kMarker; });
    HRGN mine = CreateRectRgn(0, 0, 50, 60);
    if (callerRegion) SelectClipRgn(dst.DC, mine);
    RECT clip{20, 0, 60, 25};
    for (uint8_t mode : {pmOpaque, pmAlpha})
      ASSERT_TRUE(
          NineGridPaint(dst.DC, {0, 0, 60, 60}, src.Unselected(), &clip, csAll, 0, mode, kTen, kTen, {0, 0, 30, 30}));
    for (int32_t y = 0; y < 60; ++y)
      for (int32_t x = 0; x < 60; ++x) {
        bool painted = x >= 20 && y < 25 && (!callerRegion || x < 50);
        ASSERT_EQ(dst.Get(x, y) == kMarker, !painted) << x << "," << y;
      }
    HRGN after = CreateRectRgn(0, 0, 0, 0);
    int has = GetClipRgn(dst.DC, after);
    EXPECT_EQ(has, callerRegion ? 1 : 0);
    if (callerRegion) {
      EXPECT_TRUE(EqualRgn(after, mine));
    }
    SelectClipRgn(dst.DC, nullptr);
    DeleteObject(after);
    DeleteObject(mine);
  }
}

TEST(SkinPaint, BitmapHelpers) {
  TestDib argb(12, 9);
  argb.Fill([](int32_t x, int32_t y) { return 0x11000000u | uint32_t(x) | uint32_t(y) << 8; });
  SetAlphaInRect(argb.Unselected(), {3, 2, 7, 5}, 0x77);
  SetAlphaInRect(argb.Unselected(), {8, 8, 30, 30}, 0x99);  // clipped to the bitmap
  SetAlphaInRect(argb.Unselected(), {5, 5, 5, 9}, 0x55);    // empty
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 12; ++x) {
      uint32_t a = x >= 3 && x < 7 && y >= 2 && y < 5 ? 0x77 : x >= 8 && y >= 8 ? 0x99 : 0x11;
      ASSERT_EQ(argb.Get(x, y), a << 24 | uint32_t(x) | uint32_t(y) << 8) << x << "," << y;
    }

  TestDib rgb(12, 9, 24);
  rgb.Fill([](int32_t x, int32_t y) { return uint32_t(x) | uint32_t(y) << 8 | 0x7F0000u; });
  std::vector<uint32_t> before = rgb.Pixels();
  SetAlphaInRect(rgb.Unselected(), {0, 0, 12, 9}, 0);
  EXPECT_EQ(rgb.Pixels(), before);  // only 32-bit pictures have alpha bytes

  ui::TBitmap part;
  ASSERT_TRUE(CopyBitmapRect(rgb.Unselected(), {3, 2, 10, 7}, part));
  ASSERT_EQ(part.Width(), 7);
  ASSERT_EQ(part.Height(), 5);
  DIBSECTION ds{};
  ASSERT_EQ(GetObject(part.Handle(), sizeof ds, &ds), int(sizeof ds));
  EXPECT_EQ(ds.dsBm.bmBitsPixel, 24);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 7; ++x) {
      const uint8_t* p = static_cast<uint8_t*>(ds.dsBm.bmBits) + y * ds.dsBm.bmWidthBytes + x * 3;
      ASSERT_EQ(uint32_t(p[0] | p[1] << 8 | p[2] << 16), rgb.Get(x + 3, y + 2)) << x << "," << y;
    }
  // A rectangle reaching past the picture is cut to it; one wholly outside fails.
  ASSERT_TRUE(CopyBitmapRect(argb.Unselected(), {8, 6, 20, 20}, part));
  EXPECT_EQ(part.Width(), 4);
  EXPECT_EQ(part.Height(), 3);
  EXPECT_FALSE(CopyBitmapRect(argb.Unselected(), {12, 0, 20, 5}, part));

  // Four bits per pixel from an odd left edge, palette kept.
  TestDib nibbles(9, 2, 4);
  for (int32_t x = 0; x < 9; ++x) {
    uint8_t* p = nibbles.Bits + x / 2;
    *p = static_cast<uint8_t>(x % 2 ? (*p & 0xF0) | x : (*p & 0x0F) | x << 4);
  }
  ASSERT_TRUE(CopyBitmapRect(nibbles.Unselected(), {3, 0, 8, 1}, part));
  ASSERT_EQ(GetObject(part.Handle(), sizeof ds, &ds), int(sizeof ds));
  const uint8_t* n = static_cast<uint8_t*>(ds.dsBm.bmBits);
  EXPECT_EQ(n[0], 0x34);
  EXPECT_EQ(n[1], 0x56);
  EXPECT_EQ(n[2] >> 4, 7);
  EXPECT_EQ(ds.dsBmih.biBitCount, 4);
}

// The model's slices and states on the sample skin: each picks its painting mode.
TEST(SkinPaint, SlicesAndStatesOfTheSampleSkin) {
  TQZSkinEngine engine;
  auto& reader = static_cast<TQZFileSkinReader&>(engine.Reader());
  reader.SetRootFolderOverride(SKIN_SAMPLES_DIR);
  ASSERT_TRUE(reader.OpenSkinFolder("Blue"));
  const uint32_t white = 0xFFFFFFFF;

  // The panel's frame slice names a key colour: colour key, margins 4 kept.
  TSkinItemSlice& frame = *engine.FindItem("Panel")->Slices.at(0);
  TestDib dst(64, 48);
  dst.Fill([&](int32_t, int32_t) { return white; });
  ASSERT_TRUE(DrawSlice(dst.DC, {0, 0, 64, 48}, frame));
  const uint32_t border = 0xFF2878C8 & 0xFFFFFF;  // the skin's base colour (r 40, g 120, b 200)
  EXPECT_EQ(dst.Get(0, 0) & 0xFFFFFF, border);
  EXPECT_EQ(dst.Get(63, 47) & 0xFFFFFF, border);
  EXPECT_EQ(dst.Get(3, 30) & 0xFFFFFF, border);
  EXPECT_EQ(dst.Get(4, 4) & 0xFFFFFF, 0xF0F0F0u);
  EXPECT_EQ(dst.Get(59, 43) & 0xFFFFFF, 0xF0F0F0u);
  EXPECT_EQ(dst.Get(60, 43) & 0xFFFFFF, border);

  // The check box is masked: its magenta inside leaves the destination; the tick is black.
  TSkinItemState& checked = *engine.FindItem("CheckBox")->Part(0)->State(1);
  TestDib box(13, 13);
  box.Fill([](int32_t, int32_t) { return kMarker; });
  ASSERT_TRUE(DrawState(box.DC, {0, 0, 13, 13}, checked));
  EXPECT_EQ(box.Get(0, 0) & 0xFFFFFF, border);
  EXPECT_EQ(box.Get(6, 6) & 0xFFFFFF, 0u);
  EXPECT_EQ(box.Get(2, 9) & 0xFFFFFF, kMarker & 0xFFFFFF);

  // The button blends by alpha: at its own size exactly the blend routine's result.
  TSkinItemState& button = *engine.FindItem("Button")->Part(0)->State(0);
  TSkinBitmap& image = *button.PrepareStateBitmap();
  TestDib face(24, 24);
  face.Fill([&](int32_t, int32_t) { return white; });
  ASSERT_TRUE(DrawState(face.DC, {0, 0, 24, 24}, button));
  for (int32_t y = 0; y < 24; ++y)
    for (int32_t x = 0; x < 24; ++x) {
      const uint8_t* p = image.Pixel(x, y);
      uint32_t front = p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24, want = white;
      blend::BlendLineOver(&front, &want, 1);
      ASSERT_EQ(face.Get(x, y), want) << x << "," << y;
    }
  EXPECT_EQ(face.Get(0, 0), white);  // alpha 0 at the very edge

  // Paints reuse the image's DIB section until its pixels change; a change shows at once.
  ASSERT_TRUE(DrawState(face.DC, {0, 0, 24, 24}, button));
  const TSkinBitmap::TPlatformCopy* dib = image.PlatformCopy();
  ASSERT_TRUE(dib);
  ASSERT_TRUE(DrawState(face.DC, {0, 0, 24, 24}, button));
  EXPECT_EQ(image.PlatformCopy(), dib);
  uint8_t* p = image.Pixel(5, 5);
  p[0] = 0, p[1] = 0xFF, p[2] = 0, p[3] = 0xFF;
  face.Fill([&](int32_t, int32_t) { return white; });
  ASSERT_TRUE(DrawState(face.DC, {0, 0, 24, 24}, button));
  EXPECT_EQ(face.Get(5, 5), 0xFF00FF00u);

  // As a picture: the slice copies its rectangle of the image into a bitmap.
  TSkinSliceGraphic graphic(frame);
  ui::TBitmap copy;
  copy.Assign(graphic);
  ASSERT_EQ(copy.Width(), 32);
  ASSERT_EQ(copy.Height(), 32);
  EXPECT_EQ(copy.TransparentColor(), clFuchsia);
}
