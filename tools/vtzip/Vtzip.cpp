#include "vtzip/Vtzip.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <limits>
#include <memory>
#include <ostream>
#include <set>

#include "base/Base64.h"
#include "base/Format.h"
#include "base/Log.h"
#include "base/Strings.h"
#include "base/ZLibStream.h"
#include "cli/CommandLine.h"
#include "crypto/Ed25519.h"
#include "crypto/Sha256.h"
#include "offer/OfferRules.h"
#include "package/BlockStream.h"
#include "package/Decompression.h"
#include "package/DeltaPackage.h"
#include "package/EntryName.h"
#include "package/PackageReader.h"
#include "package/PackageWriter.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

namespace vtzip {
namespace {

namespace fs = std::filesystem;

const char kUsage[] =
    "Usage: vtzip <command> [arguments]\n"
    "\n"
    "Makes and checks update packages (.vtzip) for the Norvale Orbelle launcher.\n"
    "\n"
    "Commands:\n"
    "  pack <dir> <package> [--level 0-9]\n"
    "      Packs every file below <dir>, named by its path relative to <dir> with\n"
    "      backslashes, in the system's 8-bit code page. Level 6 unless given.\n"
    "      Empty folders are not stored: a package holds files only.\n"
    "  list <package>\n"
    "      Prints each file's original and compressed size and its name.\n"
    "  extract <package> <dir> [--verbose]\n"
    "      Unpacks with the launcher's own extractor; --verbose prints its log lines.\n"
    "  verify <package>\n"
    "      Inflates every file and reports every problem the launcher would meet.\n"
    "  keygen <private key file> <public key file>\n"
    "      Makes an Ed25519 key pair for signing update offers. The public key file\n"
    "      holds one base64 line: the value for the launcher's UpdatePublicKey.\n"
    "      Existing files are not overwritten. Keep the private key off the server.\n"
    "  delta <base> <new> <delta> [--level 0-9]\n"
    "      Makes a delta package from <base> to <new> (each a package or a folder): the\n"
    "      files that are new or changed, each compressed or as a binary diff against\n"
    "      the base file of the same name (whichever is smaller), the files removed,\n"
    "      and a manifest with every result file's size and SHA-256 and every base\n"
    "      file the delta reads. Level 6 unless given.\n"
    "  delta-apply <base> <delta> <dir>\n"
    "      Puts <base> (a package or a folder) into the new or empty folder <dir> and\n"
    "      applies <delta> to it exactly as the launcher does, every check included;\n"
    "      then checks every file of the result against the manifest.\n"
    "  sign <config> <package> --key <private key file> --serial N [--expires-days D]\n"
    "       [--delta BASEVERSION=FILE ...] [--rollout PERCENT] [--healthy-seconds S]\n"
    "      Writes PackageSize and PackageSha256 of <package>, Serial N and Expires\n"
    "      (today + D days, UTC; 30 unless given, negative for an expired test offer)\n"
    "      into the [System] section of the update configuration <config> and signs it:\n"
    "      its last line becomes Signature=..., over every byte before that line. Give\n"
    "      every new offer a higher serial: launchers refuse serials lower than one they\n"
    "      accepted before. Each --delta offers the delta package FILE to installations\n"
    "      of BASEVERSION (Delta<k>From, Path, Size, Sha256; Path is FILE's name in the\n"
    "      folder of the configuration's PackagePath, where it must be uploaded).\n"
    "      --rollout offers the update to PERCENT of the installations\n"
    "      (0 to 100, all unless given; raising it later only adds installations).\n"
    "      --healthy-seconds: a started release that runs this long (1 to 3600, 10\n"
    "      unless given) or ends with code 0 is kept; one that fails earlier is rolled\n"
    "      back.\n"
    "  verify-config <config> <public key file> [<package>]\n"
    "      Checks the signature (the file may hold several keys, one a line or separated\n"
    "      by commas), the signed values and the expiry, and with <package> its size\n"
    "      and SHA-256, as the launcher does.\n"
    "  --help\n"
    "      Prints this text.\n"
    "\n"
    "Exit codes: 0 success; 1 the package or a file has problems, or the operation\n"
    "failed; 2 wrong command line. Names from packages are printed in UTF-8.\n";

// 8-bit text (the system code page) as UTF-8 for the terminal.
std::string Utf8(const std::string& ansi) { return base::WideToUtf8(base::AnsiToWide(ansi)); }

std::string Shown(const fs::path& p) {
  auto u = p.u8string();
  return std::string(u.begin(), u.end());
}

// Native file names are bytes (std::string); on Windows they are UTF-16 (std::wstring).
// Overloads on the native string type keep both builds free of platform conditionals.

// A path given on the command line (8-bit) as a file-system path.
[[maybe_unused]] fs::path FsPath(std::string arg, char) {
  for (char& c : arg) c = c == '\\' ? '/' : c;  // as the product's paths use them natively
  return fs::path(arg);
}
[[maybe_unused]] fs::path FsPath(const std::string& arg, wchar_t) { return fs::path(base::AnsiToWide(arg)); }
fs::path FsPath(const std::string& arg) { return FsPath(arg, fs::path::value_type()); }

// One part of a file's relative path in the 8-bit code page (bytes) and in UTF-16 (wide).
// Natively, a name that is valid UTF-8 is converted; any other name is taken as already
// 8-bit, which is how the extractor writes names natively.
[[maybe_unused]] bool NamePart(const std::string& raw, std::string& bytes, std::u16string& wide, std::string& why) {
  if (raw.find('\\') != std::string::npos) {
    why = "a backslash in a file name would split it into folders";
    return false;
  }
  wide = platform::MultiByteToWide(raw, platform::kCodePageUtf8);
  if (platform::WideToMultiByte(wide, platform::kCodePageUtf8) == raw) {
    bytes = base::WideToAnsi(wide);
  } else {
    bytes = raw;
    wide = base::AnsiToWide(raw);
  }
  return true;
}
[[maybe_unused]] bool NamePart(const std::wstring& raw, std::string& bytes, std::u16string& wide, std::string&) {
  wide.assign(raw.begin(), raw.end());
  bytes = base::WideToAnsi(wide);
  return true;
}

// The index name of a file found below the packed folder: its relative path with
// backslashes, in the 8-bit code page.
bool IndexName(const fs::path& relative, std::string& name, std::string& why) {
  name.clear();
  for (const fs::path& part : relative) {
    std::string bytes;
    std::u16string wide;
    if (!NamePart(part.native(), bytes, wide, why)) return false;
    if (base::AnsiToWide(bytes) != wide) {
      why = "the name has characters that the 8-bit code page cannot hold";
      return false;
    }
    if (!name.empty()) name += '\\';
    name += bytes;
  }
  why = package::CheckEntryName(name);
  return why.empty();
}

constexpr uint32_t kSourceMode = platform::fmOpenRead | platform::fmShareDenyWrite;
[[maybe_unused]] std::unique_ptr<base::TFileStream> OpenSource(const std::string& native) {
  return std::make_unique<base::TFileStream>(native, kSourceMode);
}
[[maybe_unused]] std::unique_ptr<base::TFileStream> OpenSource(const std::wstring& native) {
  return std::make_unique<base::TFileStream>(std::u16string(native.begin(), native.end()), kSourceMode);
}

struct TCommandLine {
  std::vector<std::string> Positional;
  int Level = 6;
  bool LevelGiven = false;
  std::string Key;                  // sign: the private key file
  std::string Serial;               // sign
  std::string ExpiresDays;          // sign
  std::string Rollout;              // sign
  std::string HealthySeconds;       // sign
  std::vector<std::string> Deltas;  // sign: BASEVERSION=FILE
  bool SignOptionGiven = false;
  bool Verbose = false;
  bool Help = false;
  std::string Error;
};

const cli::TOption kOptions[] = {
    {"--verbose", {}, "-v"},          {"--level", "a value from 0 to 9"}, {"--key", "a value"},
    {"--serial", "a value"},          {"--expires-days", "a value"},      {"--rollout", "a value"},
    {"--healthy-seconds", "a value"}, {"--delta", "BASEVERSION=FILE"}};

TCommandLine Parse(const std::vector<std::string>& args) {
  cli::TCommandLine<std::string> line = cli::ParseCommandLine(args, kOptions, cli::TOptionPrefix::AnyDash);
  TCommandLine c;
  c.Positional = line.Positional;
  c.Help = line.Help;
  c.Error = line.Error;
  for (const auto& [name, v] : line.Given) {
    if (name == "--verbose") {
      c.Verbose = true;
    } else if (name == "--level") {
      if (v.size() != 1 || v[0] < '0' || v[0] > '9') {
        c.Error = "--level needs a value from 0 to 9, not \"" + v + "\"";
        break;
      }
      c.Level = v[0] - '0';
      c.LevelGiven = true;
    } else if (name == "--delta") {
      if (v.find('=') == std::string::npos) {
        c.Error = "--delta needs BASEVERSION=FILE";
        break;
      }
      c.Deltas.push_back(v);
      c.SignOptionGiven = true;
    } else {
      std::string& target = name == "--key"            ? c.Key
                            : name == "--serial"       ? c.Serial
                            : name == "--expires-days" ? c.ExpiresDays
                            : name == "--rollout"      ? c.Rollout
                                                       : c.HealthySeconds;
      target = v;
      c.SignOptionGiven = true;
    }
  }
  return c;
}

// --- pack ----------------------------------------------------------------------------

struct TItem {
  std::string Name;
  fs::path Path;
};

// Every regular file below root with its index name, sorted by name; files in skip (the
// package being made) are left out. False, with the reasons printed, when a file cannot
// be named in a package. Returns the number of such files, or -1 when the folder cannot
// be read.
int ScanFolder(const fs::path& root, const std::vector<fs::path>& skip, std::vector<TItem>& items, std::ostream& err) {
  std::error_code ec;
  int problems = 0;
  fs::recursive_directory_iterator it(root, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const fs::directory_entry& e = *it;
    fs::file_status st = e.symlink_status(ec);
    if (ec) break;
    fs::path relative = e.path().lexically_relative(root);
    if (fs::is_directory(st)) continue;
    if (!fs::is_regular_file(st)) {
      err << "vtzip: skipped " << Shown(relative) << ": not a regular file\n";
      continue;
    }
    fs::path full = fs::absolute(e.path(), ec).lexically_normal();
    if (std::find(skip.begin(), skip.end(), full) != skip.end()) continue;
    TItem item{{}, e.path()};
    std::string why;
    if (!IndexName(relative, item.Name, why)) {
      err << "vtzip: cannot pack " << Shown(relative) << ": " << why << "\n";
      ++problems;
      continue;
    }
    items.push_back(std::move(item));
  }
  if (ec) {
    err << "vtzip: " << Shown(root) << ": " << ec.message() << "\n";
    return -1;
  }
  // A fixed order makes the same folder give the same package.
  std::sort(items.begin(), items.end(), [](const TItem& a, const TItem& b) { return a.Name < b.Name; });
  return problems;
}

int Pack(const TCommandLine& c, std::ostream& out, std::ostream& err) {
  const std::string& dir = c.Positional[1];
  const std::string& packageFile = c.Positional[2];
  fs::path root = FsPath(dir);
  std::error_code ec;
  if (!fs::is_directory(root, ec)) {
    err << "vtzip: " << dir << ": not a folder\n";
    return kExitProblems;
  }
  fs::path output = fs::absolute(FsPath(packageFile), ec).lexically_normal();
  fs::path scratch = output;
  scratch += ".blocks";
  std::vector<TItem> items;
  int problems = ScanFolder(root, {output, scratch}, items, err);
  if (problems < 0) return kExitProblems;
  if (problems) {
    err << "vtzip: nothing written, " << problems << " file(s) cannot be packed\n";
    return kExitProblems;
  }
  std::set<std::string> folded;
  for (const TItem& item : items)
    if (!folded.insert(base::UpperCase(item.Name)).second)
      err << "vtzip: warning: " << Utf8(item.Name) << " differs from another name only in case; on Windows the "
          << "later one replaces the earlier\n";

  package::TPackageWriter writer(packageFile, c.Level);
  for (const TItem& item : items) {
    std::unique_ptr<base::TFileStream> source = OpenSource(item.Path.native());
    writer.AddFile(item.Name, *source);
  }
  writer.Finish();
  out << "packed " << writer.FileCount() << " files (" << writer.OriginalBytes() << " bytes) into " << packageFile
      << " (" << writer.PackageBytes() << " bytes)\n";
  return kExitOk;
}

// --- list and verify -----------------------------------------------------------------

// A package opened for list and verify, with its index read.
struct TOpenPackage {
  std::unique_ptr<base::TFileStream> File;
  std::unique_ptr<package::TPackageReader> Reader;
};

// Opens a package and reads its index; on failure prints why and gives false.
bool OpenPackage(const std::string& packageFile, TOpenPackage& p, std::ostream& err) {
  if (!platform::FileExists(packageFile)) {
    err << "vtzip: " << packageFile << ": no such file\n";
    return false;
  }
  p.File = std::make_unique<base::TFileStream>(packageFile, platform::fmOpenRead | platform::fmShareDenyWrite);
  p.Reader = std::make_unique<package::TPackageReader>(*p.File);
  if (p.Reader->Status() != package::TPackageStatus::psOk) {
    err << "vtzip: " << packageFile << ": " << p.Reader->Problem() << "\n";
    return false;
  }
  return true;
}

// Inflates one entry without writing it; empty when it is sound, else the problem.
std::string CheckBlock(base::TStream& package, const package::TPackageEntry& e, int64_t& size) {
  size = -1;
  try {
    package::TBlockStream block(package, e.Offset, e.Size);
    package::TInflateResult r = package::InflateBlock(block, nullptr);
    if (!r.Complete) return "compressed data ends early";
    size = r.Size;
    if (r.TrailingBytes > 0) return std::to_string(r.TrailingBytes) + " bytes after the end of the compressed data";
  } catch (const base::EDecompressionError&) {
    return "corrupt compressed data";
  }
  return {};
}

int List(const TCommandLine& c, std::ostream& out, std::ostream& err) {
  TOpenPackage p;
  if (!OpenPackage(c.Positional[1], p, err)) return kExitProblems;
  out << "  Original  Compressed  Name\n";
  int64_t original = 0, compressed = 0;
  for (const package::TPackageEntry& e : p.Reader->Entries()) {
    int64_t size = -1;
    if (e.Problem == package::TLineProblem::lpNone) CheckBlock(*p.File, e, size);
    out << (size < 0 ? base::Format("%10s", "?") : base::Format("%10d", size)) << base::Format("  %10d  ", e.Size)
        << Utf8(package::PrintableName(e.Name)) << "\n";
    original += std::max<int64_t>(size, 0);
    compressed += e.Size;
  }
  out << base::Format("%10d  %10d  %d files", original, compressed, static_cast<int64_t>(p.Reader->Entries().size()))
      << "\n";
  return kExitOk;
}

int Verify(const TCommandLine& c, std::ostream& out, std::ostream& err) {
  const std::string& packageFile = c.Positional[1];
  TOpenPackage p;
  if (!OpenPackage(packageFile, p, err)) return kExitProblems;
  int problems = 0;
  int64_t original = 0;
  std::set<std::string> names;
  auto problem = [&](const package::TPackageEntry& e, const std::string& why) {
    out << "line " << e.Line << ": " << Utf8(package::PrintableName(e.Name)) << ": " << why << "\n";
    ++problems;
  };
  for (const package::TPackageEntry& e : p.Reader->Entries()) {
    std::string why = e.Problem != package::TLineProblem::lpNone ? package::DescribeLineProblem(e.Problem)
                                                                 : package::CheckEntryName(e.Name);
    if (!why.empty()) {
      problem(e, why);
      continue;
    }
    if (!names.insert(base::UpperCase(e.Name)).second) problem(e, "named before; this file replaces the earlier one");
    int64_t size;
    why = CheckBlock(*p.File, e, size);
    if (!why.empty()) problem(e, why);
    original += std::max<int64_t>(size, 0);
  }
  if (p.Reader->TrailingBytes() > 0) {
    out << p.Reader->TrailingBytes() << " bytes after the last block\n";
    ++problems;
  }
  if (problems) {
    out << packageFile << ": " << problems << " problem(s)\n";
    return kExitProblems;
  }
  out << packageFile << ": OK, " << p.Reader->Entries().size() << " files, " << original << " bytes\n";
  return kExitOk;
}

// --- extract -------------------------------------------------------------------------

void PrintLogLine(void* context, const std::string& line) {
  *static_cast<std::ostream*>(context) << Utf8(line) << "\n";
}

int Extract(const TCommandLine& c, std::ostream& out, std::ostream& err) {
  const std::string& packageFile = c.Positional[1];
  const std::string& dir = c.Positional[2];
  if (c.Verbose) base::SetLogSink({&PrintLogLine, &out});
  package::TExtractReport report;
  int32_t result = package::DirectoryDecompression(dir, packageFile, &report);
  if (c.Verbose) base::SetLogSink({});
  if (report.PackageRefused) {
    err << "vtzip: " << packageFile << ": " << (report.Issues.empty() ? "refused" : report.Issues.back().Reason)
        << "\n";
    return kExitProblems;
  }
  for (const package::TExtractIssue& i : report.Issues) {
    const char* kind = i.Kind == package::TExtractIssue::TKind::ikRefused  ? "refused"
                       : i.Kind == package::TExtractIssue::TKind::ikFailed ? "failed"
                                                                           : "warning";
    err << "vtzip: " << kind << ": " << Utf8(i.Subject) << ": " << i.Reason << "\n";
  }
  out << "extracted " << report.Written << " of " << result << " files (" << report.Bytes << " bytes) into " << dir
      << "\n";
  return report.Refused + report.Failed > 0 ? kExitProblems : kExitOk;
}

// --- deltas --------------------------------------------------------------------------

std::string ReadWhole(const fs::path& path) {
  std::unique_ptr<base::TFileStream> f = OpenSource(path.native());
  int64_t size = f->Size();
  if (size > std::numeric_limits<int32_t>::max()) throw package::EPackageError("a file over 2 GB cannot be diffed");
  std::string data(static_cast<size_t>(size), '\0');
  if (size > 0) f->ReadBuffer(data.data(), static_cast<int32_t>(size));
  return data;
}

// The files of a release given as a folder or a package, each read when asked for.
bool ListRelease(const std::string& arg, std::vector<package::TReleaseFile>& files, std::ostream& err) {
  std::error_code ec;
  fs::path root = FsPath(arg);
  if (fs::is_directory(root, ec)) {
    std::vector<TItem> items;
    int problems = ScanFolder(root, {}, items, err);
    if (problems != 0) {
      if (problems > 0) err << "vtzip: " << arg << ": " << problems << " file(s) cannot be named in a package\n";
      return false;
    }
    for (const TItem& item : items) {
      fs::path path = item.Path;
      files.push_back({item.Name, [path] { return ReadWhole(path); }});
    }
    return true;
  }
  TOpenPackage p;
  if (!OpenPackage(arg, p, err)) return false;
  for (const package::TPackageEntry& e : p.Reader->Entries()) {
    std::string why = e.Problem != package::TLineProblem::lpNone ? package::DescribeLineProblem(e.Problem)
                                                                 : package::CheckEntryName(e.Name);
    if (!why.empty()) {
      err << "vtzip: " << arg << ": line " << e.Line << ": " << why << "\n";
      return false;
    }
    files.push_back({e.Name, [arg, e] {
                       base::TFileStream file(arg, platform::fmOpenRead | platform::fmShareDenyWrite);
                       package::TBlockStream block(file, e.Offset, e.Size);
                       base::TStringStream data;
                       package::TInflateResult r = package::InflateBlock(block, &data);
                       if (!r.Complete) throw package::EPackageError(e.Name + ": compressed data ends early");
                       return data.DataString();
                     }});
  }
  return true;
}

int Delta(const TCommandLine& c, std::ostream& out, std::ostream& err) {
  std::vector<package::TReleaseFile> base, target;
  if (!ListRelease(c.Positional[1], base, err) || !ListRelease(c.Positional[2], target, err)) return kExitProblems;
  const std::string& deltaFile = c.Positional[3];
  package::TDeltaStats s = package::WriteDeltaPackage(base, target, deltaFile, c.Level);
  out << "delta " << deltaFile << ": " << s.DeltaBytes << " bytes for " << s.ResultBytes << " bytes of "
      << (s.Kept + s.Whole + s.Diffed) << " files (" << s.Diffed << " diffed, " << s.Whole << " whole, " << s.Kept
      << " unchanged, " << s.Removed << " removed)\n";
  return kExitOk;
}

int DeltaApply(const TCommandLine& c, std::ostream& out, std::ostream& err) {
  const std::string& baseArg = c.Positional[1];
  const std::string& deltaFile = c.Positional[2];
  const std::string& dir = c.Positional[3];
  std::error_code ec;
  fs::path target = FsPath(dir);
  if (fs::exists(target, ec) && !(fs::is_directory(target, ec) && fs::is_empty(target, ec))) {
    err << "vtzip: " << dir << ": exists and is not an empty folder\n";
    return kExitProblems;
  }
  fs::create_directories(target, ec);
  // The base first, as an installation holds it.
  fs::path baseRoot = FsPath(baseArg);
  if (fs::is_directory(baseRoot, ec)) {
    // File by file: fs::copy of a folder into an existing one fails in some runtimes.
    for (fs::recursive_directory_iterator it(baseRoot, ec), end; !ec && it != end; it.increment(ec)) {
      fs::path to = target / it->path().lexically_relative(baseRoot);
      if (it->is_directory(ec))
        fs::create_directories(to, ec);
      else if (it->is_regular_file(ec))
        fs::copy_file(it->path(), to, ec);
    }
    if (ec) {
      err << "vtzip: " << baseArg << ": " << ec.message() << "\n";
      return kExitProblems;
    }
  } else {
    package::TExtractReport report;
    package::DirectoryDecompression(dir, baseArg, &report);
    if (report.PackageRefused || report.Refused + report.Failed > 0) {
      err << "vtzip: " << baseArg << ": " << (report.Issues.empty() ? "not a package" : report.Issues.back().Reason)
          << "\n";
      return kExitProblems;
    }
  }
  // The journal where the launcher keeps it: in the folder it updates.
  std::string journal = dir + "\\" + package::kJournalFileName;
  package::TInstallReport r = package::InstallDelta(dir, deltaFile, journal, "0.0.0.0");
  if (!r.Installed) {
    for (const std::string& p : r.Problems) err << "vtzip: " << Utf8(p) << "\n";
    err << "vtzip: " << deltaFile << ": not applied; " << dir << " holds the base unchanged\n";
    return kExitProblems;
  }
  package::CompleteInstall(dir, journal);
  // The vendor's proof: every file of the result as the manifest says, removals gone.
  package::TDeltaManifest m;
  std::string why = package::ReadDeltaManifest(deltaFile, m);
  int problems = 0;
  for (const package::TDeltaFile& f : m.Files) {
    std::string digest, error;
    int64_t size = -1;
    if (!crypto::Sha256File(dir + "\\" + f.Name, digest, size, error) || size != f.Size || digest != f.Sha256) {
      out << Utf8(f.Name) << ": differs from the manifest\n";
      ++problems;
    }
  }
  for (const std::string& name : m.Removed)
    if (platform::FileExists(dir + "\\" + name)) {
      out << Utf8(name) << ": should have been removed\n";
      ++problems;
    }
  if (!why.empty() || problems) {
    out << deltaFile << ": " << (why.empty() ? std::to_string(problems) + " problem(s)" : why) << "\n";
    return kExitProblems;
  }
  out << "applied " << deltaFile << ": " << r.Files << " files built or removed, " << m.Files.size()
      << " files checked against the manifest in " << dir << "\n";
  return kExitOk;
}

// --- keys and signed offers ----------------------------------------------------------

// A small text file (a key, a configuration) in one piece; false with a message when it
// cannot be read or is larger than limit.
bool ReadSmallFile(const std::string& name, int64_t limit, std::string& text, std::ostream& err) {
  if (!platform::FileExists(name)) {
    err << "vtzip: " << name << ": no such file\n";
    return false;
  }
  base::TFileStream file(name, platform::fmOpenRead | platform::fmShareDenyWrite);
  if (file.Size() > limit) {
    err << "vtzip: " << name << ": larger than " << limit << " bytes\n";
    return false;
  }
  text.resize(static_cast<size_t>(file.Size()));
  if (!text.empty()) file.ReadBuffer(text.data(), static_cast<int32_t>(text.size()));
  return true;
}

void WriteFile(const std::string& name, const std::string& text) {
  base::TFileStream file(name, base::fmCreate);
  if (!text.empty()) file.WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
}

constexpr int64_t kKeyFileLimit = 4096;

// The private key file holds the base64 of the 32-byte seed followed by its 32-byte
// public key: a public key file given by mistake, or a damaged file, is recognised.
bool ReadPrivateKey(const std::string& name, std::string& seed, std::ostream& err) {
  std::string text, bytes, derived;
  if (!ReadSmallFile(name, kKeyFileLimit, text, err)) return false;
  if (!base::Base64Decode(base::Trim(text), bytes) || bytes.size() != 64 ||
      !crypto::Ed25519PublicKey(bytes.substr(0, 32), derived) || derived != bytes.substr(32)) {
    err << "vtzip: " << name << ": not a private key made by vtzip keygen\n";
    return false;
  }
  seed = bytes.substr(0, 32);
  return true;
}

int Keygen(const TCommandLine& c, std::ostream& out, std::ostream& err) {
  const std::string& privateFile = c.Positional[1];
  const std::string& publicFile = c.Positional[2];
  for (const std::string& name : {privateFile, publicFile})
    if (platform::FileExists(name)) {
      err << "vtzip: " << name << ": exists; not overwritten\n";
      return kExitProblems;
    }
  std::string seed, publicKey, error;
  if (!crypto::Ed25519Generate(seed, publicKey, error)) {
    err << "vtzip: no key pair: " << error << "\n";
    return kExitProblems;
  }
  WriteFile(privateFile, "");
  // Only its owner may read the private key, where the file system has owners.
  std::error_code ec;
  fs::permissions(FsPath(privateFile), fs::perms::owner_read | fs::perms::owner_write, ec);
  WriteFile(privateFile, base::Base64Encode(seed + publicKey) + "\n");
  std::string publicText = base::Base64Encode(publicKey);
  WriteFile(publicFile, publicText + "\n");
  out << "private key: " << privateFile << "\npublic key:  " << publicFile << "\nUpdatePublicKey=" << publicText
      << "\n";
  return kExitOk;
}

int Sign(const TCommandLine& c, std::ostream& out, std::ostream& err) {
  const std::string& configFile = c.Positional[1];
  const std::string& packageFile = c.Positional[2];
  auto usage = [&](const std::string& why) {
    err << "vtzip: " << why << "\n\n" << kUsage;
    return kExitUsage;
  };
  offer::TOfferValues values;
  if (c.Key.empty()) return usage("sign needs --key <private key file>");
  if (!offer::ParseCount(c.Serial, values.Serial)) return usage("sign needs --serial with a number of 1 to 18 digits");
  int64_t days = 30;
  if (!c.ExpiresDays.empty()) {
    std::string_view d = c.ExpiresDays;
    bool negative = !d.empty() && d[0] == '-';
    if (negative) d.remove_prefix(1);
    if (!offer::ParseCount(d, days) || days > 36500) return usage("--expires-days needs a number of days up to 36500");
    if (negative) days = -days;
  }
  values.ExpiresDay = offer::TodayUtc() + days;
  if (!c.Rollout.empty() && !offer::ParseRolloutPercent(c.Rollout, values.RolloutPercent))
    return usage("--rollout needs a percentage from 0 to 100");
  if (!c.HealthySeconds.empty() && !offer::ParseHealthySeconds(c.HealthySeconds, values.HealthySeconds))
    return usage("--healthy-seconds needs a number of seconds from 1 to 3600");
  std::string seed, text, error, signedText;
  if (!ReadPrivateKey(c.Key, seed, err)) return kExitProblems;
  if (!ReadSmallFile(configFile, offer::kMaxConfigSize, text, err)) return kExitProblems;
  if (!crypto::Sha256File(packageFile, values.PackageSha256, values.PackageSize, error)) {
    err << "vtzip: " << packageFile << ": " << error << "\n";
    return kExitProblems;
  }
  for (const std::string& pair : c.Deltas) {
    offer::TDeltaOffer d;
    size_t eq = pair.find('=');
    d.From = base::Trim(pair.substr(0, eq));
    std::string file = pair.substr(eq + 1);
    std::string packagePath;
    if (d.From.empty() || file.empty()) return usage("--delta needs BASEVERSION=FILE, not \"" + pair + "\"");
    package::TDeltaManifest manifest;
    std::string why = package::ReadDeltaManifest(file, manifest);
    if (!why.empty()) {
      err << "vtzip: " << file << ": " << why << "\n";
      return kExitProblems;
    }
    if (!crypto::Sha256File(file, d.Sha256, d.Size, error)) {
      err << "vtzip: " << file << ": " << error << "\n";
      return kExitProblems;
    }
    if (!offer::FindIniValue(text, "System", "PackagePath", packagePath) ||
        packagePath.rfind('/') == std::string::npos) {
      err << "vtzip: " << configFile << ": --delta needs a PackagePath URL in [System]\n";
      return kExitProblems;
    }
    std::string name = Shown(FsPath(file).filename());
    d.Path = packagePath.substr(0, packagePath.rfind('/') + 1) + name;
    values.Deltas.push_back(std::move(d));
  }
  if (!offer::SignConfig(text, values, seed, signedText, error)) {
    err << "vtzip: " << configFile << ": " << error << "\n";
    return kExitProblems;
  }
  if (static_cast<int64_t>(signedText.size()) > offer::kMaxConfigSize) {
    err << "vtzip: " << configFile << ": signed, it would exceed the launcher's " << offer::kMaxConfigSize
        << " bytes; nothing written\n";
    return kExitProblems;
  }
  WriteFile(configFile, signedText);
  out << "signed " << configFile << ": Serial " << values.Serial << ", Expires "
      << offer::FormatUtcDate(values.ExpiresDay) << ", package " << values.PackageSize << " bytes, SHA-256 "
      << crypto::ToHex(values.PackageSha256);
  if (values.RolloutPercent != offer::kFullRollout) out << ", rollout " << values.RolloutPercent << "%";
  if (values.HealthySeconds != offer::kDefaultHealthySeconds)
    out << ", healthy after " << values.HealthySeconds << " s";
  out << "\n";
  for (const offer::TDeltaOffer& d : values.Deltas)
    out << "  delta from " << d.From << ": " << d.Path << ", " << d.Size << " bytes\n";
  return kExitOk;
}

int VerifyConfig(const TCommandLine& c, std::ostream& out, std::ostream& err) {
  const std::string& configFile = c.Positional[1];
  std::string keyText, problem;
  if (!ReadSmallFile(c.Positional[2], kKeyFileLimit, keyText, err)) return kExitProblems;
  for (char& ch : keyText) ch = ch == '\r' || ch == '\n' ? ',' : ch;
  std::vector<std::string> keys;
  if (!offer::ParsePublicKeys(keyText, keys, problem) || keys.empty()) {
    err << "vtzip: " << c.Positional[2] << ": " << (problem.empty() ? "holds no public key" : problem) << "\n";
    return kExitProblems;
  }
  offer::TOfferValues values;
  // Serials can only be judged by a launcher that remembers the last one it accepted.
  std::string why = offer::CheckOfferFile(configFile, keys, 0, offer::TodayUtc(), values);
  if (!why.empty()) {
    out << configFile << ": refused: " << why << "\n";
    return kExitProblems;
  }
  out << configFile << ": signature OK, Serial " << values.Serial << ", Expires "
      << offer::FormatUtcDate(values.ExpiresDay) << ", package " << values.PackageSize << " bytes\n";
  if (c.Positional.size() > 3) {
    why = offer::CheckPackageFile(c.Positional[3], values);
    if (!why.empty()) {
      out << c.Positional[3] << ": refused: " << why << "\n";
      return kExitProblems;
    }
    out << c.Positional[3] << ": size and SHA-256 OK\n";
  }
  return kExitOk;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  TCommandLine c = Parse(args);
  if (c.Help) {
    out << kUsage;
    return kExitOk;
  }
  auto usage = [&](const std::string& why) {
    err << "vtzip: " << why << "\n\n" << kUsage;
    return kExitUsage;
  };
  if (!c.Error.empty()) return usage(c.Error);
  if (c.Positional.empty()) return usage("no command given");
  const std::string& command = c.Positional[0];
  struct TCommand {
    const char* Name;
    size_t Arguments;
    int (*Handler)(const TCommandLine&, std::ostream&, std::ostream&);
  };
  static const TCommand kCommands[] = {{"pack", 2, Pack},
                                       {"list", 1, List},
                                       {"extract", 2, Extract},
                                       {"verify", 1, Verify},
                                       {"keygen", 2, Keygen},
                                       {"sign", 2, Sign},
                                       {"verify-config", 3, VerifyConfig},
                                       {"delta", 3, Delta},
                                       {"delta-apply", 3, DeltaApply}};
  for (const TCommand& cmd : kCommands) {
    if (command != cmd.Name) continue;
    // verify-config takes its package optionally.
    size_t given = c.Positional.size() - 1;
    if (given != cmd.Arguments && !(command == "verify-config" && given == 2))
      return usage(base::Format("%s takes %d argument(s)", cmd.Name, static_cast<int>(cmd.Arguments)));
    if (c.SignOptionGiven && command != "sign")
      return usage("--key, --serial, --expires-days, --delta, --rollout and --healthy-seconds belong to sign");
    if (c.LevelGiven && command != "pack" && command != "delta") return usage("--level belongs to pack and delta");
    if (c.Verbose && command != "extract") return usage("--verbose belongs to extract");
    try {
      return cmd.Handler(c, out, err);
    } catch (const std::exception& e) {
      err << "vtzip: " << Utf8(e.what()) << "\n";
      return kExitProblems;
    }
  }
  return usage("unknown command \"" + command + "\"");
}

}  // namespace vtzip
