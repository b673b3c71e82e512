#include "cli/ToolMain.h"
#include "vtzip/Vtzip.h"

int main(int argc, char** argv) { return cli::ToolMain(argc, argv, "vtzip", vtzip::Run); }
