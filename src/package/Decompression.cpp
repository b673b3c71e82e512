#include "package/Decompression.h"

#include <exception>
#include <memory>

#include "base/Exceptions.h"
#include "base/Log.h"
#include "base/ZLibStream.h"
#include "package/BlockStream.h"
#include "package/EntryName.h"
#include "package/PackageReader.h"
#include "platform/Files.h"

namespace package {
namespace {

// The copy loop reads 16534 bytes (0x4096 read as decimal), not 16384, at a time: kept
// as the product has always read. The reads are gathered and written 16 at a time, so
// the file sees a few large writes instead of many small ones; the bytes are the same.
constexpr int32_t kCopyBufferSize = 16534;
constexpr int32_t kReadsPerWrite = 16;

const char kLogPrefix[] = "[Splash]==================== ";

class TExtraction {
 public:
  TExtraction(const base::AnsiString& targetDir, const base::AnsiString& packageFile, TExtractReport& report)
      : FTargetDir(targetDir), FPackageFile(packageFile), FReport(report) {}

  int32_t Run();

 private:
  void ExtractEntry(base::TStream& package, const TPackageEntry& entry);
  int32_t RefusePackage(const std::string& reason, int32_t result = 0);
  void Issue(TExtractIssue::TKind kind, const std::string& subject, const std::string& reason);

  base::AnsiString FTargetDir;
  base::AnsiString FPackageFile;
  TExtractReport& FReport;
};

// Whether two 8-bit paths name the same file as far as their text tells (separators
// and ASCII case folded): enough to stop an index line from overwriting the package
// that is being read.
bool SamePath(const std::string& a, const std::string& b) {
  auto fold = [](std::string s) {
    for (char& c : s) c = c == '/' ? '\\' : c;
    return base::UpperCase(s);
  };
  return fold(a) == fold(b);
}

void Log(const std::string& message) { base::WriteLog(kLogPrefix + message); }

// DecompressFile, also telling whether the zlib stream was complete.
int64_t InflateToFile(const base::AnsiString& target, base::TStream& block, TInflateResult& result) {
  platform::ForceDirectories(base::ExtractFilePath(target));  // a failure shows as the file-creation error next
  base::TFileStream file(target, base::fmCreate);
  result = InflateBlock(block, &file);
  return file.Size();
}

void TExtraction::Issue(TExtractIssue::TKind kind, const std::string& subject, const std::string& reason) {
  const char* word = kind == TExtractIssue::TKind::ikRefused  ? "Refused"
                     : kind == TExtractIssue::TKind::ikFailed ? "Failed"
                                                              : "Warning";
  // One line each: system messages in the reason may carry line breaks.
  std::string shown = PrintableName(subject), why = PrintableName(reason);
  Log(std::string("DirectoryDecompression ") + word + ":= " + shown + " (" + why + ")");
  FReport.Issues.push_back({kind, shown, why});
}

int32_t TExtraction::RefusePackage(const std::string& reason, int32_t result) {
  FReport.PackageRefused = true;
  Issue(TExtractIssue::TKind::ikRefused, FPackageFile, reason);
  return result;
}

int32_t TExtraction::Run() {
  if (!platform::FileExists(FPackageFile)) return RefusePackage("no such file");
  // An empty target would put every file at the root of the current drive.
  if (FTargetDir.empty()) return RefusePackage("no target directory");
  base::AnsiString dir = FTargetDir;
  if (dir.back() == '\\' || dir.back() == '/') dir.pop_back();
  FTargetDir = dir;

  std::unique_ptr<base::TFileStream> package;
  try {
    package = std::make_unique<base::TFileStream>(FPackageFile, platform::fmOpenRead | platform::fmShareDenyNone);
  } catch (const std::exception& e) {
    return RefusePackage(e.what());
  }
  TPackageReader reader(*package);
  if (reader.Status() != TPackageStatus::psOk) return RefusePackage(reader.Problem(), reader.HeaderResult());

  for (const TPackageEntry& entry : reader.Entries()) {
    ++FReport.Lines;
    ExtractEntry(*package, entry);
  }
  return FReport.Lines;
}

void TExtraction::ExtractEntry(base::TStream& package, const TPackageEntry& entry) {
  std::string why;
  if (entry.Problem != TLineProblem::lpNone)
    why = DescribeLineProblem(entry.Problem);
  else
    why = CheckEntryName(entry.Name);
  base::AnsiString target = FTargetDir + "\\" + entry.Name;
  if (why.empty() && SamePath(target, FPackageFile)) why = "names the package itself";
  if (!why.empty()) {
    ++FReport.Refused;
    Issue(TExtractIssue::TKind::ikRefused, entry.Name, why);
    return;
  }

  Log("DirectoryDecompression File:= " + target);
  try {
    TBlockStream block(package, entry.Offset, entry.Size);
    TInflateResult r;
    InflateToFile(target, block, r);
    FReport.Bytes += r.Size;
    if (!r.Complete) {
      ++FReport.Failed;
      Issue(TExtractIssue::TKind::ikFailed, target, "compressed data ends early; the file is incomplete");
      return;
    }
    ++FReport.Written;
    if (r.TrailingBytes > 0)
      Issue(TExtractIssue::TKind::ikWarning, target,
            std::to_string(r.TrailingBytes) + " bytes after the end of the compressed data ignored");
  } catch (const base::EDecompressionError&) {
    ++FReport.Failed;
    Issue(TExtractIssue::TKind::ikFailed, target, "corrupt compressed data");
  } catch (const std::exception& e) {
    ++FReport.Failed;
    Issue(TExtractIssue::TKind::ikFailed, target, e.what());
  }
}

}  // namespace

TInflateResult InflateBlock(base::TStream& block, base::TStream* dest) {
  TInflateResult r;
  base::TDecompressionStream z(block);
  constexpr int32_t kCapacity = kCopyBufferSize * kReadsPerWrite;
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kCapacity]);
  int32_t held = 0;
  auto flush = [&] {
    if (dest && held > 0) dest->WriteBuffer(buffer.get(), held);
    held = 0;
  };
  try {
    for (;;) {
      if (held > kCapacity - kCopyBufferSize) flush();
      int32_t n = z.Read(buffer.get() + held, kCopyBufferSize);
      if (n == 0) break;
      held += n;
      r.Size += n;
    }
  } catch (const base::EDecompressionError&) {
    flush();  // what was inflated before the fault stays in the file, as it always did
    throw;
  }
  flush();
  r.Complete = z.Finished();
  if (r.Complete) r.TrailingBytes = z.PendingInput() + (block.Size() - block.Position());
  return r;
}

int64_t DecompressFile(const base::AnsiString& target, base::TStream* block) {
  if (!block) return -1;
  TInflateResult result;
  return InflateToFile(target, *block, result);
}

int32_t DirectoryDecompression(const base::AnsiString& targetDir, const base::AnsiString& packageFile,
                               TExtractReport* report) {
  TExtractReport local;
  TExtractReport& r = report ? *report : local;
  r = TExtractReport();
  try {
    return TExtraction(targetDir, packageFile, r).Run();
  } catch (...) {
    // Out of memory and the like: whatever it is, the launcher goes on to the main program.
    try {
      Log("DirectoryDecompression Failed:= " + PrintableName(packageFile) + " (" +
          base::ExceptionMessage(std::current_exception()) + ")");
    } catch (...) {
    }
    return r.Lines;
  }
}

}  // namespace package
