// The skin's font, pen and brush on a canvas under Wine: what they draw, pixel by pixel,
// against GDI's own drawing with the settings the test works out, and the copies both
// ways between the skin's descriptions and the canvas's tools.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "skin/SkinCanvasTools.h"
#include "ui/Canvas.h"

using namespace skin;

namespace {

// A white top-down 32-bit DIB section in its own memory DC.
struct Surface {
  Surface(int32_t w, int32_t h) : W(w), H(h) {
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    Bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    Bits = static_cast<uint32_t*>(bits);
    DC = CreateCompatibleDC(nullptr);
    Old = SelectObject(DC, Bitmap);
    for (int32_t i = 0; i < w * h; ++i) Bits[i] = 0xFFFFFF;
  }
  ~Surface() {
    SelectObject(DC, Old);
    DeleteDC(DC);
    DeleteObject(Bitmap);
  }
  // 0x00RRGGBB
  uint32_t At(int32_t x, int32_t y) const {
    GdiFlush();
    return Bits[y * W + x] & 0xFFFFFF;
  }
  std::vector<uint32_t> Pixels() const {
    std::vector<uint32_t> v;
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) v.push_back(At(x, y));
    return v;
  }
  int32_t W, H;
  HBITMAP Bitmap;
  uint32_t* Bits;
  HDC DC;
  HGDIOBJ Old;
};

constexpr uint32_t kWhite = 0xFFFFFF;

}  // namespace

TEST(SkinCanvasTools, TextWithASkinFontIsWhatGdiDrawsWithTheSameFont) {
  TSkinFont font;
  font.Name = "Tahoma";
  font.Size = 20;
  font.Color = 0x0000FF;  // red (0x00BBGGRR)
  font.SetStyle(fsBold);
  Surface ours(200, 40), reference(200, 40), plain(200, 40);
  {
    ui::TCanvas canvas(ours.DC);
    canvas.Brush().SetStyle(ui::bsClear);
    AssignTo(font, canvas.Font());
    canvas.TextAt(4, 2, "Skin 42");
    // The reference: 20 points at the font's resolution, bold, red, no background.
    const int32_t height = -MulDiv(20, canvas.Font().PixelsPerInch(), 72);
    HFONT gdi = CreateFontA(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Tahoma");
    HGDIOBJ old = SelectObject(reference.DC, gdi);
    SetTextColor(reference.DC, RGB(255, 0, 0));
    SetBkMode(reference.DC, TRANSPARENT);
    TextOutA(reference.DC, 4, 2, "Skin 42", 7);
    SelectObject(reference.DC, old);
    DeleteObject(gdi);
  }
  EXPECT_EQ(ours.Pixels(), reference.Pixels());
  int inked = 0;
  for (uint32_t p : ours.Pixels())
    if (p != kWhite) {
      ++inked;
      EXPECT_EQ(p >> 16, 0xFFu) << std::hex << p;  // red over white at any coverage
      EXPECT_EQ((p >> 8) & 0xFF, p & 0xFF) << std::hex << p;
    }
  EXPECT_GT(inked, 100);
  // Without the style the same text looks different: the style was applied.
  font.SetStyle(0);
  ui::TCanvas canvas(plain.DC);
  canvas.Brush().SetStyle(ui::bsClear);
  AssignTo(font, canvas.Font());
  canvas.TextAt(4, 2, "Skin 42");
  EXPECT_NE(plain.Pixels(), ours.Pixels());
}

TEST(SkinCanvasTools, LinesWithASkinPen) {
  Surface s(70, 30);
  ui::TCanvas canvas(s.DC);
  TSkinPen pen;
  pen.Color = 0xFF0000;  // blue
  pen.Width = 3;
  AssignTo(pen, canvas.Pen());
  canvas.MoveTo(5, 10);
  canvas.LineTo(60, 10);
  for (int32_t x = 8; x < 58; ++x) {
    for (int32_t y : {9, 10, 11}) EXPECT_EQ(s.At(x, y), 0x0000FFu) << x << "," << y;
    for (int32_t y : {7, 13}) EXPECT_EQ(s.At(x, y), kWhite) << x << "," << y;
  }
  // A dotted pen one pixel wide: blue and gaps along its row, nothing beside it.
  TSkinPen dots;
  dots.Color = 0xFF0000;
  dots.Style = ui::psDot;
  dots.Width = 1;
  AssignTo(dots, canvas.Pen());
  canvas.MoveTo(5, 20);
  canvas.LineTo(60, 20);
  int blue = 0, gaps = 0;
  for (int32_t x = 5; x < 60; ++x) {
    (s.At(x, 20) == 0x0000FF ? blue : gaps) += 1;
    EXPECT_EQ(s.At(x, 21), kWhite);
  }
  EXPECT_GT(blue, 10);
  EXPECT_GT(gaps, 10);
}

TEST(SkinCanvasTools, FillsWithASkinBrush) {
  Surface solid(40, 20), hatched(40, 20), reference(40, 20);
  TSkinBrush brush;
  brush.Color = 0x00FF00;  // green
  {
    ui::TCanvas canvas(solid.DC);
    AssignTo(brush, canvas.Brush());
    canvas.FillRect({10, 5, 30, 15});
  }
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 40; ++x) {
      const bool inside = x >= 10 && x < 30 && y >= 5 && y < 15;
      ASSERT_EQ(solid.At(x, y), inside ? 0x00FF00u : kWhite) << x << "," << y;
    }
  brush.Style = ui::bsCross;
  {
    ui::TCanvas canvas(hatched.DC);
    AssignTo(brush, canvas.Brush());
    canvas.FillRect({0, 0, 40, 20});
  }
  HBRUSH cross = CreateHatchBrush(HS_CROSS, RGB(0, 255, 0));
  RECT all{0, 0, 40, 20};
  FillRect(reference.DC, &all, cross);
  DeleteObject(cross);
  EXPECT_EQ(hatched.Pixels(), reference.Pixels());
  int green = 0;
  for (uint32_t p : hatched.Pixels()) green += p == 0x00FF00;
  EXPECT_GT(green, 40);
  EXPECT_LT(green, 40 * 20);
  // A clear brush fills nothing.
  brush.Style = ui::bsClear;
  brush.Color = 0x0000FF;
  ui::TCanvas canvas(solid.DC);
  AssignTo(brush, canvas.Brush());
  canvas.FillRect({0, 0, 40, 20});
  EXPECT_EQ(solid.At(0, 0), kWhite);
}

TEST(SkinCanvasTools, OnlyStatedFieldsAreApplied) {
  ui::TCanvas canvas;
  ui::TFont& font = canvas.Font();
  font.SetName("Courier New");
  font.SetSize(13);
  font.SetColor(0x123456);
  font.SetStyle(ui::fsItalic);
  font.SetCharset(204);
  TSkinFont unset;  // nothing stated
  AssignTo(unset, font);
  EXPECT_EQ(font.Name(), "Courier New");
  EXPECT_EQ(font.Size(), 13);
  EXPECT_EQ(font.Color(), 0x123456);
  EXPECT_EQ(font.Style(), ui::fsItalic);
  EXPECT_EQ(font.Charset(), 204);
  TSkinFont styled;
  styled.Color = ColorDefault;
  styled.SetStyle(0);  // a stated empty style clears the italic
  AssignTo(styled, font);
  EXPECT_EQ(font.Style(), 0);
  EXPECT_EQ(font.Color(), 0x123456);

  ui::TPen& pen = canvas.Pen();
  pen.SetColor(0x654321);
  pen.SetWidth(5);
  pen.SetStyle(ui::psDash);
  AssignTo(TSkinPen{}, pen);  // style and width always, colour only when set
  EXPECT_EQ(pen.Color(), 0x654321);
  EXPECT_EQ(pen.Width(), 1);
  EXPECT_EQ(pen.Style(), ui::psSolid);

  ui::TBrush& brush = canvas.Brush();
  brush.SetColor(0x00AA00);
  brush.SetStyle(ui::bsCross);
  AssignTo(TSkinBrush{}, brush);
  EXPECT_EQ(brush.Color(), 0x00AA00);
  EXPECT_EQ(brush.Style(), ui::bsSolid);
}

TEST(SkinCanvasTools, RoundTripsCanvasToSkinAndBack) {
  ui::TCanvas from, to;
  from.Font().SetName("Courier New");
  from.Font().SetSize(13);
  from.Font().SetColor(0x123456);
  from.Font().SetStyle(ui::fsItalic | ui::fsUnderline);
  from.Font().SetCharset(204);
  from.Pen().SetColor(0x0000FF);
  from.Pen().SetWidth(4);
  from.Pen().SetStyle(ui::psDashDot);
  from.Brush().SetColor(0xABCDEF);
  from.Brush().SetStyle(ui::bsDiagCross);
  TSkinFont font;
  TSkinPen pen;
  TSkinBrush brush;
  Assign(font, from.Font());
  Assign(pen, from.Pen());
  Assign(brush, from.Brush());
  EXPECT_TRUE(font.StyleSet);
  EXPECT_EQ(font.Size, 13);
  AssignTo(font, to.Font());
  AssignTo(pen, to.Pen());
  AssignTo(brush, to.Brush());
  EXPECT_EQ(to.Font().Name(), "Courier New");
  EXPECT_EQ(to.Font().Height(), from.Font().Height());
  EXPECT_EQ(to.Font().Color(), 0x123456);
  EXPECT_EQ(to.Font().Style(), ui::fsItalic | ui::fsUnderline);
  EXPECT_EQ(to.Font().Charset(), 204);
  EXPECT_EQ(to.Pen().Color(), 0x0000FF);
  EXPECT_EQ(to.Pen().Width(), 4);
  EXPECT_EQ(to.Pen().Style(), ui::psDashDot);
  EXPECT_EQ(to.Brush().Color(), 0xABCDEF);
  EXPECT_EQ(to.Brush().Style(), ui::bsDiagCross);
}

TEST(SkinCanvasTools, AChangedToolLeavesTheContextBeforeItsObjectGoes) {
  Surface s(10, 10);
  ui::TCanvas canvas(s.DC);
  HGDIOBJ stock = GetCurrentObject(s.DC, OBJ_PEN);
  canvas.MoveTo(0, 0);
  canvas.LineTo(5, 5);
  HGDIOBJ first = canvas.Pen().Handle();
  EXPECT_EQ(GetCurrentObject(s.DC, OBJ_PEN), first);
  canvas.Pen().SetColor(0x0000FF);  // the old pen is released: the context has its own back
  EXPECT_EQ(GetCurrentObject(s.DC, OBJ_PEN), stock);
  canvas.LineTo(9, 5);
  EXPECT_EQ(GetCurrentObject(s.DC, OBJ_PEN), canvas.Pen().Handle());
  canvas.SetHandle(nullptr);
  EXPECT_EQ(GetCurrentObject(s.DC, OBJ_PEN), stock);
}
