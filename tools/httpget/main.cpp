#include "cli/ToolMain.h"
#include "httpget/Httpget.h"

int main(int argc, char** argv) { return cli::ToolMain(argc, argv, "httpget", httpget::Run); }
