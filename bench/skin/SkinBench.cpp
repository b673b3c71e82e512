// Paints one 32 x 32 slice with margins 4 into a 200 x 120 rectangle of a 32-bit DIB
// section, from a 64 x 64 and from a 2048 x 2048 skin image, in each painting mode, and
// prints the microseconds per paint (median of 9 batches, the two images in turn) and
// the ratio large/small.
//   skin_bench [paints per batch]
// The skins are written into a scratch folder under the temporary folder and removed.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "skin/SkinDraw.h"
#include "skin/SkinEngine.h"
#include "skin/SkinReader.h"

namespace {

// A top-down 32-bit BMP (negative height) with a soft diagonal pattern and partial alpha.
std::string MakeBmp(int32_t size) {
  std::string out(54, '\0');
  auto put32 = [&out](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>(v >> (8 * i));
  };
  out[0] = 'B', out[1] = 'M';
  put32(2, static_cast<uint32_t>(54 + size_t(size) * size * 4));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(size));
  put32(22, static_cast<uint32_t>(-size));
  out[26] = 1, out[28] = 32;
  for (int32_t y = 0; y < size; ++y)
    for (int32_t x = 0; x < size; ++x) {
      out += static_cast<char>(x * 7);
      out += static_cast<char>(y * 5);
      out += static_cast<char>((x + y) * 3);
      out += static_cast<char>(128 + (x ^ y) % 128);
    }
  return out;
}

void Put(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Batches of paints from the two slices in turn, so that both see the same machine;
// the median microseconds per paint of each.
void TimePaints(HDC dc, skin::TSkinItemSlice* slices[2], int paints, double times[2]) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  const RECT rect{10, 10, 210, 130};
  std::vector<double> batches[2];
  for (int s = 0; s < 2; ++s) skin::DrawSlice(dc, rect, *slices[s]);  // the first paint may prepare the image
  for (int batch = 0; batch < 9; ++batch)
    for (int s = 0; s < 2; ++s) {
      QueryPerformanceCounter(&start);
      for (int i = 0; i < paints; ++i) skin::DrawSlice(dc, rect, *slices[s]);
      QueryPerformanceCounter(&end);
      batches[s].push_back(1e6 * static_cast<double>(end.QuadPart - start.QuadPart) /
                           static_cast<double>(frequency.QuadPart) / paints);
    }
  for (int s = 0; s < 2; ++s) {
    std::sort(batches[s].begin(), batches[s].end());
    times[s] = batches[s][4];
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int paints = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::filesystem::path root = std::filesystem::path(temp) / "orbelle-skin-bench";
  const char* modes[][2] = {{"per-pixel alpha", ""}, {"colour key", " TransparentColor=\"clFuchsia\""}};
  for (const char* name : {"Small", "Large"}) {
    std::string items;
    for (int m = 0; m < 2; ++m)
      items += "<Item name=\"M" + std::to_string(m) +
               "\"><Graphic Name=\"img.bmp\"/><Slice Id=\"s\" rect=\"8,8,40,40\"" + modes[m][1] +
               "><Margins Left=\"4\" Top=\"4\" Right=\"4\" Bottom=\"4\"/></Slice></Item>";
    Put(root / name / "Controls.xml", "<Skin>" + items + "</Skin>");
    Put(root / name / "img.bmp", MakeBmp(std::string(name) == "Small" ? 64 : 2048));
  }

  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 220, -140, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP target = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, target);

  // One engine per skin, so that both stay loaded and their paints can alternate.
  skin::TQZSkinEngine engines[2];
  for (int size = 0; size < 2; ++size) {
    auto& reader = static_cast<skin::TQZFileSkinReader&>(engines[size].Reader());
    reader.SetRootFolderOverride(root.string());
    reader.OpenSkinFolder(size == 0 ? "Small" : "Large");
  }
  int status = 0;
  std::printf("%d paints of a 32 x 32 slice into 200 x 120 per batch, median of 9, small and large in turn\n", paints);
  for (int m = 0; m < 2; ++m) {
    skin::TSkinItemSlice* slices[2] = {};
    for (int size = 0; size < 2; ++size) {
      skin::TSkinItem* item = engines[size].FindItem("M" + std::to_string(m));
      if (!item || item->Slices.empty()) {
        std::fprintf(stderr, "bench: the skin did not load\n");
        return 1;
      }
      slices[size] = item->Slices.at(0).get();
    }
    double times[2] = {0, 0};
    TimePaints(dc, slices, paints, times);
    const double ratio = times[1] / times[0];
    std::printf("%-16s from 64x64 %8.1f us   from 2048x2048 %8.1f us   ratio %.2f\n", modes[m][0], times[0], times[1],
                ratio);
    if (ratio >= 1.2 || ratio <= 1 / 1.2) status = 1;
  }
  std::printf("goal: ratio between 0.83 and 1.20\n");
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(target);
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  return status;
}
