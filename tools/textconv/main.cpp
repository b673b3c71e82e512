#include <iostream>
#include <string>
#include <vector>

#include "textconv/TextConv.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return textconv::Run(args, std::cout, std::cerr);
}
