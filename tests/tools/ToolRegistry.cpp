#include "ToolRegistry.h"

#include <map>

#include "base/Strings.h"
#include "httpget/Httpget.h"
#include "textconv/TextConv.h"
#include "vtzip/Vtzip.h"
#include "xmltool/Xmltool.h"

namespace toolstest {
namespace {

std::map<std::string, TRun>& Registry() {
  static std::map<std::string, TRun> tools;
  return tools;
}

// vtzip takes its arguments as 8-bit text, as its program is given them.
int Vtzip(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> ansi;
  for (const std::u16string& a : args) ansi.push_back(base::WideToAnsi(a));
  return vtzip::Run(ansi, out, err);
}

const TAddTool kPortable[] = {
    {"httpget", httpget::Run}, {"textconv", textconv::Run}, {"vtzip", Vtzip}, {"xmltool", xmltool::Run}};

}  // namespace

TAddTool::TAddTool(const char* name, TRun run) { Registry()[name] = run; }

TRun FindTool(const std::string& name) {
  auto it = Registry().find(name);
  return it == Registry().end() ? nullptr : it->second;
}

}  // namespace toolstest
