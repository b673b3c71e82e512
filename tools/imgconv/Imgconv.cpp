#include "imgconv/Imgconv.h"

#include <windows.h>

#include <memory>

#include "base/Exceptions.h"
#include "base/Strings.h"
#include "cli/CommandLine.h"
#include "imaging/GPPictures.h"
#include "ui/Picture.h"

namespace imgconv {
namespace {

const char kUsage[] =
    "usage: imgconv IN OUT [--colors N] [--quality Q]\n"
    "  OUT's extension chooses the format: .png, .jpg/.jpeg/.jfif, .gif, .tif/.tiff\n"
    "  --colors N   GIF palette size, 2..255 (default 255)\n"
    "  --quality Q  JPEG quality, 0..100 (default 90)\n";

const cli::TOption kOptions[] = {{"--colors", "a number"}, {"--quality", "a number"}};

std::string Utf8(const std::u16string& s) { return base::WideToUtf8(s); }

bool ReadNumber(const std::u16string& text, int32_t low, int32_t high, int32_t& value) {
  return base::TryStrToInt(Utf8(text), value) && value >= low && value <= high && !text.empty() &&
         text.find_first_not_of(u"0123456789") == std::u16string::npos;
}

std::string Extension(const std::u16string& path) {
  size_t dot = path.find_last_of(u'.');
  size_t slash = path.find_last_of(u"\\/");
  if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)) return "";
  return base::LowerCase(Utf8(path.substr(dot + 1)));
}

}  // namespace

int Run(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err) {
  cli::TCommandLine<std::u16string> line = cli::ParseCommandLine(args, kOptions);
  if (cli::ShowHelp(line, kUsage, out)) return cli::kExitOk;
  if (!line.Error.empty()) return cli::UsageError(err, "imgconv", line.Error, kUsage);
  int32_t colors = 255, quality = 90;
  for (const auto& [name, v] : line.Given) {
    bool isColors = name == "--colors";
    if (!(isColors ? ReadNumber(v, 2, 255, colors) : ReadNumber(v, 0, 100, quality))) {
      err << "imgconv: " << name << " must be " << (isColors ? "2..255" : "0..100") << ", not '" << Utf8(v) << "'\n";
      return kExitUsage;
    }
  }
  if (line.Positional.size() != 2) return cli::UsageError(err, "imgconv", "", kUsage);
  const bool colorsGiven = line.Has("--colors");
  imaging::TImagingSession imaging;
  const std::u16string& in = line.Positional[0];
  const std::u16string& outFile = line.Positional[1];
  std::string ext = Extension(outFile);
  const ui::TGraphicClass* cls = ui::TPicture::GraphicClassForExtension(ext);
  if (ext.empty() || !cls) {
    err << "imgconv: unknown output type '." << ext << "' (use .png, .jpg, .jpeg, .jfif, .gif, .tif or .tiff)\n";
    return kExitUsage;
  }
  std::unique_ptr<ui::TGraphic> graphic = cls->Create();
  auto& picture = dynamic_cast<imaging::TGPGraphic&>(*graphic);
  try {
    picture.LoadFromFile(in);
  } catch (const base::Exception& e) {
    err << "imgconv: cannot read " << Utf8(in) << ": " << e.Message() << "\n";
    return kExitFailed;
  }
  if (auto* jpeg = dynamic_cast<imaging::TJPEGImage*>(&picture)) jpeg->SetQuality(quality);
  if (auto* gif = dynamic_cast<imaging::TGIFImage*>(&picture)) {
    gif->SetMaxColors(colors);
    // An explicit palette size asks for a new reduction even of a GIF.
    if (colorsGiven) picture.Image()->DropSourceBytes();
  }
  try {
    picture.SaveToFile(outFile);
  } catch (const base::Exception& e) {
    DeleteFileW(reinterpret_cast<const wchar_t*>(outFile.c_str()));  // no half-written picture stays
    err << "imgconv: cannot write " << Utf8(outFile) << ": " << e.Message() << "\n";
    return kExitFailed;
  }
  out << Utf8(in) << " -> " << Utf8(outFile) << " (" << picture.Width() << " x " << picture.Height() << ", "
      << cls->Name << ")\n";
  return kExitOk;
}

}  // namespace imgconv
