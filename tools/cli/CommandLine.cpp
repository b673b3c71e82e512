#include "cli/CommandLine.h"

#include <algorithm>

#include "base/Strings.h"

namespace cli {

std::string Utf8(const std::u16string& arg) { return base::WideToUtf8(arg); }

template <class S>
bool TCommandLine<S>::Has(std::string_view name) const {
  return Last(name) != nullptr;
}

template <class S>
const S* TCommandLine<S>::Last(std::string_view name) const {
  for (auto it = Given.rbegin(); it != Given.rend(); ++it)
    if (it->first == name) return &it->second;
  return nullptr;
}

template <class S>
std::vector<S> TCommandLine<S>::All(std::string_view name) const {
  std::vector<S> values;
  for (const auto& [n, v] : Given)
    if (n == name) values.push_back(v);
  return values;
}

template <class S>
TCommandLine<S> ParseCommandLine(const std::vector<S>& args, std::span<const TOption> options, TOptionPrefix prefix) {
  TCommandLine<S> line;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string a = Utf8(args[i]);
    bool isOption = a.size() > 1 && a[0] == '-' && (prefix == TOptionPrefix::AnyDash || a[1] == '-');
    if (a == "--help" || a == "-h") {
      line.Help = true;
      continue;
    }
    if (!isOption) {
      line.Positional.push_back(args[i]);
      continue;
    }
    // Only a long option joins its value; the name before '=' is ASCII in either string.
    size_t eq = a.rfind("--", 0) == 0 ? args[i].find(typename S::value_type('=')) : S::npos;
    std::string name = a.substr(0, eq);
    auto known = std::find_if(options.begin(), options.end(),
                              [&](const TOption& o) { return o.Name == name || (!o.Short.empty() && o.Short == a); });
    // A flag takes no value, so "--bom=1" is no option of the tool.
    if (known == options.end() || (known->Needs.empty() && eq != S::npos)) {
      line.Error = "unknown option " + a;
      return line;
    }
    S value;
    if (eq != S::npos) {
      value = args[i].substr(eq + 1);
    } else if (!known->Needs.empty()) {
      if (i + 1 >= args.size()) {
        line.Error = std::string(known->Name) + " needs " + std::string(known->Needs);
        return line;
      }
      value = args[++i];
    }
    line.Given.emplace_back(std::string(known->Name), std::move(value));
  }
  return line;
}

template struct TCommandLine<std::string>;
template struct TCommandLine<std::u16string>;
template TCommandLine<std::string> ParseCommandLine(const std::vector<std::string>&, std::span<const TOption>,
                                                    TOptionPrefix);
template TCommandLine<std::u16string> ParseCommandLine(const std::vector<std::u16string>&, std::span<const TOption>,
                                                       TOptionPrefix);

int UsageError(std::ostream& err, std::string_view tool, std::string_view why, std::string_view usage) {
  if (!why.empty()) err << tool << ": " << why << "\n";
  err << usage;
  return kExitUsage;
}

}  // namespace cli
