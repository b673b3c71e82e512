#include "cli/ToolMain.h"
#include "platform/Process.h"
#include "xmltool/Xmltool.h"

int main(int argc, char** argv) {
  platform::SetStdOutBinary();  // documents are bytes: no line ends rewritten
  return cli::ToolMain(argc, argv, "xmltool", xmltool::Run);
}
