// skinview's entry: wide arguments (-municode), so that any folder name arrives intact.
#include <iostream>
#include <string>
#include <vector>

#include "imaging/GPPictures.h"
#include "skinview/Skinview.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  try {
    imaging::TImagingSession imaging;
    return skinview::Run(args, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "skinview: " << e.what() << "\n";
    return skinview::kExitProblems;
  }
}
