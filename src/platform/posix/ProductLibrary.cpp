#include "platform/CodePage.h"
#include "platform/Library.h"
#include "platform/Process.h"

namespace platform {

std::string ProductLibraryName(const std::string& stem) {
  std::string exe = WideToMultiByte(ModuleFileName(), kCodePageUtf8);
  size_t slash = exe.rfind('/');
  std::string dir = slash == std::string::npos ? std::string("./") : exe.substr(0, slash + 1);
  return dir + "lib" + stem + ".so";
}

}  // namespace platform
