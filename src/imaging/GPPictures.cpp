#include "imaging/GPPictures.h"

namespace imaging {

template <class T>
static std::unique_ptr<ui::TGraphic> Make() {
  return std::make_unique<T>();
}

const ui::TGraphicClass JPEGImageClass{"TJPEGImage", &Make<TJPEGImage>};
const ui::TGraphicClass PNGImageClass{"TPNGImage", &Make<TPNGImage>};
const ui::TGraphicClass GIFImageClass{"TGIFImage", &Make<TGIFImage>};
const ui::TGraphicClass TIFImageClass{"TTIFImage", &Make<TTIFImage>};

void RegisterPictureFormats() {
  ui::TPicture::RegisterFileFormat("jfif", "JPEG Image File", JPEGImageClass);
  ui::TPicture::RegisterFileFormat("jpeg", "JPEG Image File", JPEGImageClass);
  ui::TPicture::RegisterFileFormat("jpg", "JPEG Image File", JPEGImageClass);
  ui::TPicture::RegisterFileFormat("png", "Portable Network Graphics", PNGImageClass);
  ui::TPicture::RegisterFileFormat("gif", "GIF CompuServe GIF", GIFImageClass);
  ui::TPicture::RegisterFileFormat("tif", "Tag Image File Format", TIFImageClass);
  ui::TPicture::RegisterFileFormat("tiff", "Tag Image File Format", TIFImageClass);
}

void UnregisterPictureFormats() {
  ui::TPicture::UnregisterGraphicClass(JPEGImageClass);
  ui::TPicture::UnregisterGraphicClass(PNGImageClass);
  ui::TPicture::UnregisterGraphicClass(GIFImageClass);
  ui::TPicture::UnregisterGraphicClass(TIFImageClass);
}

}  // namespace imaging
