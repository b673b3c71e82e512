// The BMP streams TBitmap reads: every depth and layout it accepts gives the same
// picture, written back as 32 bits per pixel; every header that does not fit the bytes
// is refused with the one message. The files are written here, field by field.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/Stream.h"
#include "ui/Bitmap.h"

using namespace ui;

namespace {

// The test picture, 3 x 2, as 0xRRGGBB, top row first.
constexpr int32_t kW = 3, kH = 2;
constexpr uint32_t kPicture[kH][kW] = {{0xFF0000, 0x00FF00, 0x0000FF}, {0xFFFFFF, 0x000000, 0x808080}};
// The two-colour version for 1 bit per pixel (a checkerboard).
constexpr uint32_t kInk = 0x102030, kPaper = 0xF0E0D0;
uint32_t TwoColour(int32_t x, int32_t y) { return (x + y) % 2 ? kPaper : kInk; }

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Put16(b, at, v);
  Put16(b, at + 2, v >> 16);
}

struct TLayout {
  const char* Name;
  uint16_t Bits;
  uint32_t Compression;  // BI_RGB or BI_BITFIELDS
  bool TopDown;
  std::vector<uint32_t> Masks;  // red, green, blue for BI_BITFIELDS
};

// The colour of (x, y) in the layout's picture.
uint32_t Expected(const TLayout& l, int32_t x, int32_t y) { return l.Bits == 1 ? TwoColour(x, y) : kPicture[y][x]; }

// A BMP file of the picture in the layout: palette formats index a table of the six
// colours (two for 1 bit), 16 bits keep the top 5 or 6 bits of each channel.
std::vector<uint8_t> WriteBmp(const TLayout& l) {
  std::vector<uint32_t> table;
  if (l.Bits == 1) table = {kInk, kPaper};
  if (l.Bits == 4 || l.Bits == 8)
    for (const auto& row : kPicture) table.insert(table.end(), row, row + kW);
  const size_t header = 14 + 40 + l.Masks.size() * 4 + table.size() * 4;
  const size_t stride = (static_cast<size_t>(kW) * l.Bits + 31) / 32 * 4;
  std::vector<uint8_t> b(header + stride * kH);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<uint32_t>(b.size()));
  Put32(b, 10, static_cast<uint32_t>(header));
  Put32(b, 14, 40);
  Put32(b, 18, kW);
  Put32(b, 22, static_cast<uint32_t>(l.TopDown ? -kH : kH));
  Put16(b, 26, 1);
  Put16(b, 28, l.Bits);
  Put32(b, 30, l.Compression);
  Put32(b, 46, static_cast<uint32_t>(table.size()));
  for (size_t i = 0; i < l.Masks.size(); ++i) Put32(b, 54 + i * 4, l.Masks[i]);
  for (size_t i = 0; i < table.size(); ++i) Put32(b, 54 + l.Masks.size() * 4 + i * 4, table[i]);
  for (int32_t y = 0; y < kH; ++y) {
    uint8_t* row = &b[header + stride * static_cast<size_t>(l.TopDown ? y : kH - 1 - y)];
    for (int32_t x = 0; x < kW; ++x) {
      const uint32_t c = Expected(l, x, y), r = c >> 16, g = c >> 8 & 0xFF, bl = c & 0xFF;
      const uint32_t index = l.Bits == 1 ? (c == kPaper) : static_cast<uint32_t>(y * kW + x);
      switch (l.Bits) {
        case 1: row[x / 8] |= static_cast<uint8_t>(index << (7 - x % 8)); break;
        case 4: row[x / 2] |= static_cast<uint8_t>(index << (x % 2 ? 0 : 4)); break;
        case 8: row[x] = static_cast<uint8_t>(index); break;
        case 16: {
          const bool six = l.Compression == BI_BITFIELDS;  // 5-6-5 masks, else 5-5-5
          Put16(b, static_cast<size_t>(row - b.data()) + static_cast<size_t>(x) * 2,
                six ? (r >> 3) << 11 | (g >> 2) << 5 | bl >> 3 : (r >> 3) << 10 | (g >> 3) << 5 | bl >> 3);
          break;
        }
        default:
          row[x * (l.Bits / 8)] = static_cast<uint8_t>(bl);
          row[x * (l.Bits / 8) + 1] = static_cast<uint8_t>(g);
          row[x * (l.Bits / 8) + 2] = static_cast<uint8_t>(r);
      }
    }
  }
  return b;
}

// The 0xRRGGBB of (x, y) in a 32-bit bottom-up BMP as SaveToStream writes it.
uint32_t PixelOfSaved(const std::string& file, int32_t x, int32_t y) {
  const auto* p = reinterpret_cast<const uint8_t*>(file.data()) + 54 + (static_cast<size_t>(kH - 1 - y) * kW + x) * 4;
  return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

std::string Load(const std::vector<uint8_t>& bytes) {
  base::TStringStream in(std::string(bytes.begin(), bytes.end()));
  TBitmap bitmap;
  bitmap.LoadFromStream(in);
  base::TStringStream out("");
  bitmap.SaveToStream(out);
  return out.DataString();
}

}  // namespace

TEST(BitmapFormats, EveryDepthGivesTheSamePicture) {
  const TLayout layouts[] = {
      {"1 bit", 1, BI_RGB, false, {}},
      {"4 bits", 4, BI_RGB, false, {}},
      {"8 bits", 8, BI_RGB, false, {}},
      {"8 bits top-down", 8, BI_RGB, true, {}},
      {"16 bits 5-5-5", 16, BI_RGB, false, {}},
      {"16 bits 5-6-5 masks", 16, BI_BITFIELDS, false, {0xF800, 0x07E0, 0x001F}},
      {"24 bits", 24, BI_RGB, false, {}},
      {"24 bits top-down", 24, BI_RGB, true, {}},
      {"32 bits", 32, BI_RGB, false, {}},
      {"32 bits masks", 32, BI_BITFIELDS, true, {0xFF0000, 0x00FF00, 0x0000FF}},
  };
  for (const TLayout& l : layouts) {
    SCOPED_TRACE(l.Name);
    const std::string saved = Load(WriteBmp(l));
    ASSERT_EQ(saved.size(), 54u + kW * kH * 4);
    EXPECT_EQ(saved.substr(0, 2), "BM");
    BITMAPINFOHEADER ih;
    std::memcpy(&ih, saved.data() + 14, sizeof ih);
    EXPECT_EQ(ih.biWidth, kW);
    EXPECT_EQ(ih.biHeight, kH) << "written bottom-up";
    EXPECT_EQ(ih.biBitCount, 32);
    // 16 bits keep 5 bits of a channel: compare those (how GDI widens them varies).
    const uint32_t keep = l.Bits == 16 ? 0xF8F8F8 : 0xFFFFFF;
    for (int32_t y = 0; y < kH; ++y)
      for (int32_t x = 0; x < kW; ++x)
        EXPECT_EQ(PixelOfSaved(saved, x, y) & keep, Expected(l, x, y) & keep) << "pixel " << x << "," << y;
    // What was written reads back to the same bytes.
    EXPECT_EQ(Load(std::vector<uint8_t>(saved.begin(), saved.end())), saved);
  }
}

TEST(BitmapFormats, HeadersThatDoNotFitTheBytesAreRefused) {
  const std::vector<uint8_t> good = WriteBmp({"24", 24, BI_RGB, false, {}});
  ASSERT_NO_THROW(Load(good));
  struct TRow {
    const char* Name;
    void (*Break)(std::vector<uint8_t>&);
  };
  const TRow rows[] = {
      {"not BM", [](std::vector<uint8_t>& b) { b[1] = 'N'; }},
      {"zero width", [](std::vector<uint8_t>& b) { Put32(b, 18, 0); }},
      {"negative width", [](std::vector<uint8_t>& b) { Put32(b, 18, static_cast<uint32_t>(-3)); }},
      {"zero height", [](std::vector<uint8_t>& b) { Put32(b, 22, 0); }},
      {"height without a positive value", [](std::vector<uint8_t>& b) { Put32(b, 22, 0x80000000u); }},
      {"two planes", [](std::vector<uint8_t>& b) { Put16(b, 26, 2); }},
      {"2 bits per pixel", [](std::vector<uint8_t>& b) { Put16(b, 28, 2); }},
      {"run-length compressed", [](std::vector<uint8_t>& b) { Put32(b, 30, BI_RLE8); }},
      {"bit masks on 24 bits", [](std::vector<uint8_t>& b) { Put32(b, 30, BI_BITFIELDS); }},
      {"info header longer than any known", [](std::vector<uint8_t>& b) { Put32(b, 14, 200); }},
      {"info header shorter than the basic one", [](std::vector<uint8_t>& b) { Put32(b, 14, 12); }},
      {"pixels start inside the header", [](std::vector<uint8_t>& b) { Put32(b, 10, 40); }},
      {"last pixel byte missing", [](std::vector<uint8_t>& b) { b.pop_back(); }},
      {"more pixels than the cap", [](std::vector<uint8_t>& b) { Put32(b, 18, 9000), Put32(b, 22, 9000); }},
      {"more colours than 8 bits hold",
       [](std::vector<uint8_t>& b) {
         Put16(b, 28, 8);
         Put32(b, 46, 257);
       }},
      {"colour table past the end",
       [](std::vector<uint8_t>& b) {
         Put16(b, 28, 8);
         Put32(b, 46, 200);
       }},
      {"header cut short", [](std::vector<uint8_t>& b) { b.resize(50); }},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    std::vector<uint8_t> bad = good;
    row.Break(bad);
    try {
      Load(bad);
      ADD_FAILURE() << "accepted";
    } catch (const EInvalidGraphic& e) {
      EXPECT_STREQ(e.what(), "Bitmap image is not valid");
    }
  }
}
