#include <iostream>
#include <string>
#include <vector>

#include "vtzip/Vtzip.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return vtzip::Run(args, std::cout, std::cerr);
}
