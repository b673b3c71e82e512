// The tools that build on Windows only, in the command-line table.
#include "ToolRegistry.h"
#include "imgconv/Imgconv.h"
#include "skinview/Skinview.h"

namespace toolstest {
namespace {

const TAddTool kImaging[] = {{"imgconv", imgconv::Run}, {"skinview", skinview::Run}};

}  // namespace
}  // namespace toolstest
