#include "platform/Library.h"

namespace platform {

std::string ProductLibraryName(const std::string& stem) { return stem + ".dll"; }

}  // namespace platform
