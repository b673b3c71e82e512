// The command-line conventions every tool keeps: exit codes 0 done, 1 failed, 2 wrong
// command line; --help (or -h) prints the usage to standard output and exits 0; long
// options anywhere among the other arguments, an option's value either as the next
// argument (--to 1200) or joined to it (--to=1200); the first mistake ends the parse.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the work could not be done; standard error says why
constexpr int kExitUsage = 2;   // the command line is wrong; nothing was done

// One option a tool takes.
struct TOption {
  std::string_view Name;        // "--from"
  std::string_view Needs = {};  // empty for a flag; else what its value is: "a code page"
  std::string_view Short = {};  // a one-letter alias ("-v"), or empty
};

// Which arguments are options: those beginning "--", or every one beginning "-" (a lone
// "-" is always an ordinary argument).
enum class TOptionPrefix { DoubleDash, AnyDash };

// A parsed command line; S is std::string (8-bit arguments) or std::u16string.
template <class S>
struct TCommandLine {
  std::vector<S> Positional;
  std::vector<std::pair<std::string, S>> Given;  // each option by its long name, in order
  bool Help = false;                             // --help or -h came before any mistake
  std::string Error;                             // "unknown option --x", "--to needs a code page"

  bool Has(std::string_view name) const;
  const S* Last(std::string_view name) const;  // the value given last, or nullptr
  std::vector<S> All(std::string_view name) const;
};

template <class S>
TCommandLine<S> ParseCommandLine(const std::vector<S>& args, std::span<const TOption> options,
                                 TOptionPrefix prefix = TOptionPrefix::DoubleDash);

// True, with the usage written to out (help goes to standard output), when the command
// line asks for help.
template <class S>
bool ShowHelp(const TCommandLine<S>& line, std::string_view usage, std::ostream& out) {
  if (line.Help) out << usage;
  return line.Help;
}

// Writes "tool: why" (when why is not empty) and the usage text to err; kExitUsage.
int UsageError(std::ostream& err, std::string_view tool, std::string_view why, std::string_view usage);

// An argument as UTF-8, for messages and comparisons.
inline const std::string& Utf8(const std::string& arg) { return arg; }
std::string Utf8(const std::u16string& arg);

}  // namespace cli
