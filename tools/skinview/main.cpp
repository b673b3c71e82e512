// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <iostream>
#include <string>
#include <vector>

#include "imaging/GPPictures.h"
#include "skinview/Skinview.h"

int main() {
  // The wide command line, so that any file name arrives intact.
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::u16string> args;
  for (int i = 1; argv && i < argc; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  LocalFree(argv);
  try {
    imaging::TImagingSession imaging;
    return skinview::Run(args, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "skinview: " << e.what() << "\n";
    return skinview::kExitProblems;
  }
}
