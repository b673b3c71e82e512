#include "cli/ToolMain.h"
#include "skinview/Skinview.h"

int main(int argc, char** argv) { return cli::ToolMain(argc, argv, "skinview", skinview::Run); }
