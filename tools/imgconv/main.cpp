#include "cli/ToolMain.h"
#include "imgconv/Imgconv.h"

int main(int argc, char** argv) { return cli::ToolMain(argc, argv, "imgconv", imgconv::Run); }
