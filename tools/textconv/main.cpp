#include "cli/ToolMain.h"
#include "textconv/TextConv.h"

int main(int argc, char** argv) { return cli::ToolMain(argc, argv, "textconv", textconv::Run); }
