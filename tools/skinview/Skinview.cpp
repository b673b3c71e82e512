#include "skinview/Skinview.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <memory>
#include <set>

#include "base/Exceptions.h"
#include "base/Log.h"
#include "base/Strings.h"
#include "cli/CommandLine.h"
#include "imaging/GPPictures.h"
#include "skin/SkinDraw.h"
#include "skin/SkinEngine.h"
#include "ui/Brush.h"
#include "ui/GdiHandles.h"

namespace skinview {

namespace {

using namespace skin;

const char kUsage[] =
    "usage: skinview SKINFOLDER OUT.png [--item NAME] [--size WxH] [--dpi N]\n"
    "  --item NAME  draw only this item\n"
    "  --size WxH   the second size every state and slice is drawn at, 1..2048 (default 48x32)\n"
    "  --dpi N      screen pixels per inch for the skin's scaled lengths, 24..960 (default 96)\n";

constexpr int32_t kGap = 8;           // around every drawing
constexpr int32_t kMaxSheet = 16384;  // pixels per side

struct TOptions {
  std::u16string Folder, Out;
  std::string Item;
  int32_t Width = 48, Height = 32, Dpi = 96;
};

std::string Utf8(const std::u16string& s) { return base::WideToUtf8(s); }

bool ReadInt(const std::string& text, int32_t low, int32_t high, int32_t& value) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos && base::TryStrToInt(text, value) &&
         value >= low && value <= high;
}

const cli::TOption kOptions[] = {{"--item", "a value"}, {"--size", "a value"}, {"--dpi", "a value"}};

// Fills options from a parsed command line; an error text, or empty when it is fine.
std::string ReadOptions(const cli::TCommandLine<std::u16string>& line, TOptions& o) {
  if (!line.Error.empty()) return line.Error;
  for (const auto& [a, value] : line.Given) {
    std::string v = Utf8(value);
    if (a == "--item") {
      o.Item = v;
    } else if (a == "--dpi") {
      if (!ReadInt(v, 24, 960, o.Dpi)) return "--dpi must be 24..960, not '" + v + "'";
    } else {
      size_t x = v.find_first_of("xX");
      if (x == std::string::npos || !ReadInt(v.substr(0, x), 1, 2048, o.Width) ||
          !ReadInt(v.substr(x + 1), 1, 2048, o.Height))
        return "--size must be WxH with sides 1..2048, not '" + v + "'";
    }
  }
  if (line.Positional.size() != 2) return "two file names are needed";
  o.Folder = line.Positional[0];
  o.Out = line.Positional[1];
  return "";
}

// Every problem once, in the order found; the engine's log lines count as problems.
class TProblems {
 public:
  TProblems() { base::SetLogSink({&TProblems::Sink, this}); }
  ~TProblems() { base::SetLogSink({}); }
  TProblems(const TProblems&) = delete;
  TProblems& operator=(const TProblems&) = delete;
  void Add(const std::string& line) {
    if (FSeen.insert(line).second) FLines.push_back(line);
  }
  const std::vector<std::string>& Lines() const { return FLines; }

 private:
  static void Sink(void* self, const std::string& line) { static_cast<TProblems*>(self)->Add(line); }
  std::set<std::string> FSeen;
  std::vector<std::string> FLines;
};

// One row of the sheet: a state or a slice with its own size.
struct TEntry {
  std::string Label;
  TSkinItemState* State = nullptr;
  TSkinItemSlice* Slice = nullptr;
  int32_t Width = 0, Height = 0;
  bool FirstOfItem = false;
};

std::string RectText(const TSkinRect& r) {
  return std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) + "," +
         std::to_string(r.Bottom);
}

// The image behind a reference, checked against a rectangle; reports what is wrong.
void CheckImage(TSkinImageRef* ref, const TSkinRect& rect, const std::string& what, TProblems& problems) {
  if (!ref) {
    problems.Add(what + ": no image (no Graphic on the part, item or file)");
    return;
  }
  auto* bitmap = static_cast<TSkinBitmap*>(ref->GetBitmap(ikBitmap));
  if (!bitmap) return;  // the engine has said why
  if (rect.Empty()) {
    problems.Add(what + ": empty rectangle " + RectText(rect));
  } else if (rect.Left < 0 || rect.Top < 0 || rect.Right > bitmap->Width() || rect.Bottom > bitmap->Height()) {
    problems.Add(what + ": rectangle " + RectText(rect) + " lies outside " + ref->Name + " (" +
                 std::to_string(bitmap->Width()) + " x " + std::to_string(bitmap->Height()) + ")");
  }
}

void CollectItem(TSkinItem& item, std::vector<TEntry>& entries, TProblems& problems) {
  size_t first = entries.size();
  for (int32_t p = 0; p < item.PartCount(); ++p) {
    TSkinItemPart& part = *item.Part(p);
    std::string partName = part.Name.empty() ? "part " + std::to_string(p) : part.Name;
    for (int32_t s = 0; s < part.StateCount(); ++s) {
      TSkinItemState& state = *part.State(s);
      TEntry e;
      e.Label = item.Name + " / " + partName + " / state " + std::to_string(s);
      e.State = &state;
      if (state.Shape == sssImage) {
        // Checked before the state prepares its bitmap, which empties a bad rectangle.
        CheckImage(state.ImageSourceOf(), state.Rect, e.Label, problems);
        e.Width = state.Rect.Right - state.Rect.Left;
        e.Height = state.Rect.Bottom - state.Rect.Top;
      }
      if (e.Width <= 0 || e.Height <= 0) e.Width = 24, e.Height = 16;
      entries.push_back(e);
    }
  }
  for (const auto& slice : item.Slices) {
    TEntry e;
    e.Label = item.Name + " / slice " + slice->Id;
    e.Slice = slice.get();
    CheckImage(slice->ImageSourceOf(), slice->Rect, e.Label, problems);
    e.Width = slice->Width() > 0 ? slice->Width() : 24;
    e.Height = slice->Height() > 0 ? slice->Height() : 16;
    entries.push_back(e);
  }
  if (entries.size() > first) entries[first].FirstOfItem = true;
}

// Box, rounded box, ellipse or line states in their pen and brush.
void DrawShape(HDC dc, const RECT& r, const TSkinItemState& state) {
  // Unset colours draw with the stock null brush or pen, which are not ours to delete.
  ui::TOwnedBrush brush(state.Brush.Color == ColorNotSet ? nullptr
                                                         : CreateSolidBrush(SkinColorToRGB(state.Brush.Color)));
  ui::TOwnedPen pen(state.Pen.Color == ColorNotSet
                        ? nullptr
                        : CreatePen(PS_SOLID, std::max(state.Pen.Width, 1), SkinColorToRGB(state.Pen.Color)));
  ui::TSelectObject brushSelection(dc, brush ? HGDIOBJ(brush.Get()) : GetStockObject(NULL_BRUSH));
  ui::TSelectObject penSelection(dc, pen ? HGDIOBJ(pen.Get()) : GetStockObject(NULL_PEN));
  switch (state.Shape) {
    case sssRoundRect: RoundRect(dc, r.left, r.top, r.right, r.bottom, 6, 6); break;
    case sssEllipse: Ellipse(dc, r.left, r.top, r.right, r.bottom); break;
    case sssHorizontalLine:
      MoveToEx(dc, r.left, (r.top + r.bottom) / 2, nullptr);
      LineTo(dc, r.right, (r.top + r.bottom) / 2);
      break;
    case sssVerticalLine:
      MoveToEx(dc, (r.left + r.right) / 2, r.top, nullptr);
      LineTo(dc, (r.left + r.right) / 2, r.bottom);
      break;
    default: Rectangle(dc, r.left, r.top, r.right, r.bottom);
  }
}

void DrawEntry(HDC dc, const RECT& r, TEntry& e) {
  if (e.Slice)
    DrawSlice(dc, r, *e.Slice);
  else if (e.State->Shape == sssImage)
    DrawState(dc, r, *e.State);
  else
    DrawShape(dc, r, *e.State);
}

// Light squares under everything, so that alpha and colour keys show.
void Checkerboard(ui::TBitmap& sheet) {
  GdiFlush();
  auto* bits = reinterpret_cast<uint32_t*>(sheet.Bits());
  for (int32_t y = 0; y < sheet.Height(); ++y)
    for (int32_t x = 0; x < sheet.Width(); ++x)
      bits[static_cast<size_t>(y) * sheet.Width() + x] = (x / 8 + y / 8) % 2 ? 0xFFD0D0D0u : 0xFFFFFFFFu;
}

std::vector<std::string> DescriptionFiles(const std::string& folder) {
  std::vector<std::string> names{"Controls"};
  WIN32_FIND_DATAW fd;
  base::WideString pattern = base::AnsiToWide(folder + "\\*.xml");
  HANDLE h = FindFirstFileW(reinterpret_cast<const wchar_t*>(pattern.c_str()), &fd);
  std::vector<std::string> others;
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      std::string name = base::WideToAnsi(reinterpret_cast<const char16_t*>(fd.cFileName));
      if (!base::SameText(name, "Controls.xml")) others.push_back(name.substr(0, name.size() - 4));
    } while (FindNextFileW(h, &fd));
    FindClose(h);
  }
  std::sort(others.begin(), others.end());
  names.insert(names.end(), others.begin(), others.end());
  return names;
}

std::string FullPath(const std::u16string& path) {
  wchar_t buffer[MAX_PATH * 4];
  DWORD n = GetFullPathNameW(reinterpret_cast<const wchar_t*>(path.c_str()), MAX_PATH * 4, buffer, nullptr);
  std::u16string full = n > 0 && n < MAX_PATH * 4 ? std::u16string(reinterpret_cast<char16_t*>(buffer), n) : path;
  while (full.size() > 3 && (full.back() == u'\\' || full.back() == u'/')) full.pop_back();
  return base::WideToAnsi(full);
}

bool IsDirectory(const std::string& path) {
  base::WideString w = base::AnsiToWide(path);
  DWORD a = GetFileAttributesW(reinterpret_cast<const wchar_t*>(w.c_str()));
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::string& path) {
  base::WideString w = base::AnsiToWide(path);
  DWORD a = GetFileAttributesW(reinterpret_cast<const wchar_t*>(w.c_str()));
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// Loads the skin and reports what did not load.
void LoadSkin(TQZSkinEngine& engine, const std::string& folder, TProblems& problems) {
  std::vector<std::string> names = DescriptionFiles(folder);
  engine.ClearSkinFileNames();
  for (const std::string& n : names) engine.AddSkinFileName(n);
  if (!engine.Reader().OpenSkinFolder(folder)) {
    problems.Add(folder + ": no such folder");
    return;
  }
  std::set<std::string> loaded;
  for (int32_t i = 0; i < engine.FileCount(); ++i) loaded.insert(base::UpperCase(engine.File(i)->FileName));
  for (const std::string& n : names)
    if (!loaded.count(base::UpperCase(n)))
      problems.Add(n + ".xml: " + (FileExists(folder + "\\" + n + ".xml") ? "not loaded" : "not found"));
}

}  // namespace

int Run(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err) {
  cli::TCommandLine<std::u16string> line = cli::ParseCommandLine(args, kOptions);
  if (cli::ShowHelp(line, kUsage, out)) return cli::kExitOk;
  TOptions o;
  std::string bad = ReadOptions(line, o);
  if (!bad.empty()) return cli::UsageError(err, "skinview", bad, kUsage);
  imaging::TImagingSession imaging;
  std::string folder = FullPath(o.Folder);
  TProblems problems;
  TQZSkinEngine engine;
  engine.PixelsPerInch = o.Dpi;
  if (IsDirectory(folder))
    LoadSkin(engine, folder, problems);
  else
    problems.Add(folder + ": no such folder");

  std::vector<TEntry> entries;
  if (!o.Item.empty()) {
    if (TSkinItem* item = engine.FindItem(o.Item))
      CollectItem(*item, entries, problems);
    else if (IsDirectory(folder))
      problems.Add("item " + o.Item + ": not in the skin");
  } else {
    for (int32_t f = 0; f < engine.FileCount(); ++f) {
      const TSkinItemList& items = engine.File(f)->Items;
      for (int32_t i = 0; i < items.Count(); ++i) CollectItem(*items.Item(i), entries, problems);
    }
  }

  // Layout: one row per entry, its label in a white column on the left and its three
  // sizes side by side, so that the sheet explains itself when opened alone.
  struct TSize {
    int32_t W, H;
  };
  ui::TBitmap measure;
  measure.SetSize32(1, 1);
  int32_t labelWidth = 0, textHeight = 0;
  for (const TEntry& e : entries) {
    SIZE extent = measure.Canvas().TextExtent(e.Label);
    labelWidth = std::max<int32_t>(labelWidth, extent.cx);
    textHeight = std::max<int32_t>(textHeight, extent.cy);
  }
  const int32_t left = entries.empty() ? 0 : kGap + labelWidth;
  std::vector<std::array<TSize, 3>> sizes;
  int32_t width = kGap, height = kGap;
  for (const TEntry& e : entries) {
    std::array<TSize, 3> s{
        {{e.Width, e.Height}, {o.Width, o.Height}, {std::max(e.Width / 2, 1), std::max(e.Height / 2, 1)}}};
    sizes.push_back(s);
    width = std::max(width, left + kGap + s[0].W + kGap + s[1].W + kGap + s[2].W + kGap);
    height += std::max({s[0].H, s[1].H, s[2].H, textHeight}) + kGap + (e.FirstOfItem ? kGap / 2 : 0);
  }
  int code = problems.Lines().empty() ? kExitOk : kExitProblems;
  if (width > kMaxSheet || height > kMaxSheet) {
    problems.Add("the sheet would be larger than " + std::to_string(kMaxSheet) + " pixels a side");
    code = kExitProblems;
  } else {
    ui::TBitmap sheet;
    sheet.SetSize32(width, height);
    Checkerboard(sheet);
    ui::TCanvas& canvas = sheet.Canvas();
    HDC dc = canvas.Handle();
    if (left > 0) canvas.FillRect({0, 0, left, height}, ui::clWhite);
    canvas.Brush().SetStyle(ui::bsClear);
    int32_t y = kGap;
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].FirstOfItem && i > 0) {
        RECT line{0, y - kGap / 2 - 1, width, y - kGap / 2};
        canvas.FillRect(line, 0x808080);
      }
      if (entries[i].FirstOfItem) y += kGap / 2;
      int32_t x = left + kGap, rowHeight = textHeight;
      canvas.TextAt(kGap, y, entries[i].Label);
      out << entries[i].Label << " at y " << y << ":";
      for (const TSize& s : sizes[i]) {
        RECT r{x, y, x + s.W, y + s.H};
        DrawEntry(dc, r, entries[i]);
        out << " " << s.W << "x" << s.H;
        x += s.W + kGap;
        rowHeight = std::max(rowHeight, s.H);
      }
      out << "\n";
      y += rowHeight + kGap;
    }
    GdiFlush();
    try {
      imaging::TPNGImage png;
      png.Assign(sheet);
      png.SaveToFile(o.Out);
      out << "sheet: " << Utf8(o.Out) << " (" << width << " x " << height << ", " << entries.size() << " drawings)\n";
    } catch (const base::Exception& e) {
      DeleteFileW(reinterpret_cast<const wchar_t*>(o.Out.c_str()));
      problems.Add("cannot write " + Utf8(o.Out) + ": " + e.Message());
      code = kExitProblems;
    }
  }
  for (const std::string& p : problems.Lines()) err << "problem: " << p << "\n";
  if (!problems.Lines().empty()) code = kExitProblems;
  return code;
}

}  // namespace skinview
