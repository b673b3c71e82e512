// The native build reads .bmp files only.
#include "skin/SkinImages.h"

namespace skin {

std::unique_ptr<ISkinImageProvider> CreateDefaultSkinImageProvider() { return std::make_unique<TBmpImageProvider>(); }

}  // namespace skin
