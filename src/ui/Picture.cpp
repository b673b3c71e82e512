#include "ui/Picture.h"

#include <algorithm>

#include "base/Format.h"

namespace ui {
namespace {

std::vector<TFileFormat>& Formats() {
  static std::vector<TFileFormat> formats;
  return formats;
}

base::AnsiString NormalExtension(const base::AnsiString& extension) {
  base::AnsiString e = base::LowerCase(extension);
  if (!e.empty() && e[0] == '.') e.erase(0, 1);
  return e;
}

}  // namespace

void TPicture::RegisterFileFormat(const base::AnsiString& extension, const base::AnsiString& description,
                                  const TGraphicClass& graphicClass) {
  base::AnsiString e = NormalExtension(extension);
  auto& formats = Formats();
  std::erase_if(formats, [&](const TFileFormat& f) { return f.Extension == e; });
  formats.push_back({e, description, &graphicClass});
}

void TPicture::UnregisterGraphicClass(const TGraphicClass& graphicClass) {
  std::erase_if(Formats(), [&](const TFileFormat& f) { return f.GraphicClass == &graphicClass; });
}

const TGraphicClass* TPicture::GraphicClassForExtension(const base::AnsiString& extension) {
  base::AnsiString e = NormalExtension(extension);
  for (const TFileFormat& f : Formats())
    if (f.Extension == e) return f.GraphicClass;
  return nullptr;
}

std::vector<TFileFormat> TPicture::FileFormats() { return Formats(); }

void TPicture::LoadFromFile(const base::WideString& fileName) {
  size_t dot = fileName.find_last_of(u'.');
  size_t slash = fileName.find_last_of(u"\\/");
  base::AnsiString extension;
  if (dot != base::WideString::npos && (slash == base::WideString::npos || dot > slash))
    extension = base::WideToAnsi(fileName.substr(dot + 1));
  const TGraphicClass* graphicClass = GraphicClassForExtension(extension);
  if (!graphicClass) throw EInvalidGraphic(base::Format("Unknown picture file extension (.%s)", extension));
  std::unique_ptr<TGraphic> graphic = graphicClass->Create();
  graphic->LoadFromFile(fileName);
  FGraphic = std::move(graphic);
}

}  // namespace ui
