#include "package/DeltaPackage.h"

#include <algorithm>
#include <exception>
#include <map>
#include <memory>
#include <set>

#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Stream.h"
#include "base/Strings.h"
#include "base/ZLibStream.h"
#include "crypto/Sha256.h"
#include "package/BinaryDiff.h"
#include "package/BlockStream.h"
#include "package/EntryName.h"
#include "package/PackageFile.h"
#include "package/PackageReader.h"
#include "package/PackageWriter.h"
#include "package/UpdateJournal.h"
#include "platform/Files.h"

namespace package {
namespace {

constexpr std::string_view kManifestHead = "OrbelleDelta|1";

std::string Fold(std::string s) {
  for (char& c : s) c = c == '/' ? '\\' : c;
  return base::UpperCase(s);
}

const char* HowText(TDeltaHow how) {
  switch (how) {
    case TDeltaHow::dhKeep: return "keep";
    case TDeltaHow::dhWhole: return "whole";
    case TDeltaHow::dhDiff: return "diff";
  }
  return "";
}

// A byte count: 1 to 18 decimal digits, nothing else.
bool ParseSize(std::string_view text, int64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  value = v;
  return true;
}

// Splits line at its first count bars: count fields, then the rest (the name).
bool SplitFields(std::string_view line, size_t count, std::vector<std::string_view>& fields) {
  fields.clear();
  for (size_t i = 0; i < count; ++i) {
    size_t bar = line.find('|');
    if (bar == std::string_view::npos) return false;
    fields.push_back(line.substr(0, bar));
    line.remove_prefix(bar + 1);
  }
  fields.push_back(line);
  return true;
}

// Writes what it is given to a file and hashes it on the way.
class THashingFile : public base::TStream {
 public:
  explicit THashingFile(const std::string& name) : FFile(name, base::fmCreate) {}
  int32_t Read(void*, int32_t) override { throw base::EReadError("Stream read error"); }
  int32_t Write(const void* buffer, int32_t count) override {
    int32_t n = FFile.Write(buffer, count);
    if (n > 0) {
      FHash.Add(buffer, static_cast<size_t>(n));
      FSize += n;
    }
    return n;
  }
  int64_t Seek(int64_t offset, base::TSeekOrigin origin) override {
    if (offset == 0 && origin == base::TSeekOrigin::soCurrent) return FSize;
    throw base::EWriteError("Stream write error");
  }
  int64_t Written() const { return FSize; }
  std::string Digest() { return FHash.Digest(); }
  bool Flush() { return platform::FileFlush(FFile.Handle()); }

 private:
  base::TFileStream FFile;
  crypto::TSha256 FHash;
  int64_t FSize = 0;
};

std::string Deflate(std::string_view data, int level) {
  base::TStringStream out;
  base::TCompressionStream z(out, level);
  const char* p = data.data();
  size_t left = data.size();
  while (left > 0) {
    int32_t n = static_cast<int32_t>(std::min<size_t>(left, 1 << 24));
    z.WriteBuffer(p, n);
    p += n;
    left -= static_cast<size_t>(n);
  }
  z.Finish();
  return out.DataString();
}

// The delta's entries, once the manifest is read: the file (kept open) and its reader.
struct TOpenDelta {
  std::unique_ptr<base::TStream> File;
  std::unique_ptr<TPackageReader> Reader;
  TDeltaManifest Manifest;
};

// Reads the delta through its own handle on the open file (the one whose digest was checked).
std::string OpenDelta(const TPackageFile& delta, TOpenDelta& d) {
  d.File = delta.NewReader();
  TPackageLimits limits;
  limits.Strict = true;
  limits.MaxFiles = kMaxJournalEntries + 1;  // the manifest and one entry per file
  limits.Magic = kDeltaMagic;
  d.Reader = std::make_unique<TPackageReader>(*d.File, limits);
  if (d.Reader->Status() != TPackageStatus::psOk) return "not a delta package: " + d.Reader->Problem();
  const auto& entries = d.Reader->Entries();
  if (entries.empty() || entries[0].Name != kDeltaManifestName || entries[0].Problem != TLineProblem::lpNone)
    return "the delta package does not begin with its manifest";
  std::string text;
  try {
    TBlockStream block(*d.File, entries[0].Offset, entries[0].Size);
    base::TDecompressionStream z(block);
    text.resize(static_cast<size_t>(kMaxManifestSize) + 1);
    size_t got = 0;
    for (;;) {
      int32_t n = z.Read(text.data() + got, static_cast<int32_t>(text.size() - got));
      if (n <= 0) break;
      got += static_cast<size_t>(n);
      if (got == text.size()) return "the manifest is larger than 16 MB";
    }
    if (!z.Finished()) return "the manifest's compressed data ends early";
    text.resize(got);
  } catch (const base::EDecompressionError&) {
    return "the manifest's compressed data is corrupt";
  }
  std::string problem;
  if (!TDeltaManifest::Parse(text, d.Manifest, problem)) return "manifest: " + problem;
  // Then one entry per carried file, in manifest order, under its name.
  size_t next = 1;
  for (const TDeltaFile& f : d.Manifest.Files) {
    if (f.How == TDeltaHow::dhKeep) continue;
    if (next >= entries.size() || entries[next].Name != f.Name || entries[next].Problem != TLineProblem::lpNone)
      return "the entries do not match the manifest at " + PrintableName(f.Name);
    ++next;
  }
  if (next != entries.size()) return "the delta package has entries the manifest does not list";
  return {};
}

// Checks an installed file against a size and, when sha256 is given, its digest.
std::string CheckInstalled(const std::string& path, int64_t size, const std::string& sha256) {
  int64_t actual = platform::FileSize(path);
  if (actual < 0) return PrintableName(path) + " is missing";
  if (actual != size) return base::Format("%s has %d bytes, the delta expects %d", PrintableName(path), actual, size);
  if (sha256.empty()) return {};
  std::string digest, error;
  if (!crypto::Sha256File(path, digest, actual, error)) return PrintableName(path) + " cannot be read: " + error;
  if (digest != sha256 || actual != size)
    return PrintableName(path) + " is not the file the delta was made for (SHA-256 " + crypto::ToHex(digest) + ")";
  return {};
}

// Builds one carried file into staged and checks it against the manifest.
std::string BuildFile(TOpenDelta& d, const TPackageEntry& entry, const TDeltaFile& f, const std::string& baseFile,
                      const std::string& staged) {
  THashingFile out(staged);
  if (f.How == TDeltaHow::dhWhole) {
    try {
      TBlockStream block(*d.File, entry.Offset, entry.Size);
      base::TDecompressionStream z(block);
      std::vector<char> buffer(1 << 16);
      for (;;) {
        // Never more than the manifest's size (plus one byte to notice a longer file).
        int64_t room = f.Size + 1 - out.Written();
        int32_t n = z.Read(buffer.data(), static_cast<int32_t>(std::min<int64_t>(room, 1 << 16)));
        if (n <= 0) break;
        out.WriteBuffer(buffer.data(), n);
        if (out.Written() > f.Size) break;
      }
      if (out.Written() <= f.Size && !z.Finished()) return "its compressed data ends early";
    } catch (const base::EDecompressionError&) {
      return "its compressed data is corrupt";
    }
  } else {
    base::TFileStream base(baseFile, platform::fmOpenRead | platform::fmShareDenyWrite);
    d.File->SetPosition(entry.Offset);
    TPatchResult r = ApplyBinaryDiff(*d.File, entry.Size, base, out, f.Size);
    if (r.Status != TDiffStatus::dsOk) return r.Problem;
  }
  if (out.Written() != f.Size) return base::Format("it has %d bytes, the manifest says %d", out.Written(), f.Size);
  if (out.Digest() != f.Sha256) return "its SHA-256 is not the manifest's";
  // Through to the disk before the journal can plan its move: after a power cut a
  // committed journal must never name a file whose data is not there.
  if (!out.Flush()) return "the staged file cannot be written through to the disk";
  return {};
}

}  // namespace

// --- the manifest --------------------------------------------------------------------

std::string TDeltaManifest::Text() const {
  std::string s = std::string(kManifestHead) + "\r\n";
  for (const TDeltaBase& b : Bases)
    s += "Base|" + std::to_string(b.Size) + "|" + crypto::ToHex(b.Sha256) + "|" + b.Name + "\r\n";
  for (const TDeltaFile& f : Files)
    s += std::string("File|") + HowText(f.How) + "|" + std::to_string(f.Size) + "|" + crypto::ToHex(f.Sha256) + "|" +
         f.Name + "\r\n";
  for (const std::string& r : Removed) s += "Remove|" + r + "\r\n";
  return s;
}

bool TDeltaManifest::Parse(std::string_view text, TDeltaManifest& manifest, std::string& problem) {
  manifest = TDeltaManifest();
  TDeltaManifest m;
  std::set<std::string> files, removed;
  std::map<std::string, bool> bases;  // folded name -> used by a diff
  int32_t number = 0;
  bool head = false;
  auto fail = [&](const std::string& why) {
    problem = "line " + std::to_string(number) + ": " + why;
    return false;
  };
  auto name = [&](std::string_view n) {
    std::string why = CheckEntryName(n);
    return why.empty() ? std::string() : PrintableName(n) + ": " + why;
  };
  size_t start = 0;
  std::vector<std::string_view> f;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
    ++number;
    if (line.empty()) continue;
    if (!head) {
      if (line != kManifestHead) return fail("not a delta manifest of a known version");
      head = true;
      continue;
    }
    std::string why;
    if (line.substr(0, 5) == "Base|") {
      TDeltaBase b;
      if (!SplitFields(line.substr(5), 2, f)) return fail("a Base line needs size, SHA-256 and name");
      if (!ParseSize(f[0], b.Size)) return fail("the size is not a byte count");
      if (f[1].size() != 64 || !crypto::FromHex(f[1], b.Sha256)) return fail("the SHA-256 is not 64 hex digits");
      if (!(why = name(f[2])).empty()) return fail(why);
      b.Name = std::string(f[2]);
      if (!bases.emplace(Fold(b.Name), false).second) return fail("the base file is named twice");
      m.Bases.push_back(std::move(b));
    } else if (line.substr(0, 5) == "File|") {
      TDeltaFile file;
      if (!SplitFields(line.substr(5), 3, f)) return fail("a File line needs kind, size, SHA-256 and name");
      if (f[0] == "keep")
        file.How = TDeltaHow::dhKeep;
      else if (f[0] == "whole")
        file.How = TDeltaHow::dhWhole;
      else if (f[0] == "diff")
        file.How = TDeltaHow::dhDiff;
      else
        return fail("the kind is not keep, whole or diff");
      if (!ParseSize(f[1], file.Size)) return fail("the size is not a byte count");
      if (f[2].size() != 64 || !crypto::FromHex(f[2], file.Sha256)) return fail("the SHA-256 is not 64 hex digits");
      if (!(why = name(f[3])).empty()) return fail(why);
      file.Name = std::string(f[3]);
      if (Fold(file.Name) == Fold(kDeltaManifestName)) return fail("a file takes the manifest's name");
      if (!files.insert(Fold(file.Name)).second) return fail("the file is named twice");
      m.Files.push_back(std::move(file));
    } else if (line.substr(0, 7) == "Remove|") {
      std::string_view n = line.substr(7);
      if (!(why = name(n)).empty()) return fail(why);
      if (!removed.insert(Fold(std::string(n))).second) return fail("the removal is named twice");
      m.Removed.emplace_back(n);
    } else {
      return fail("not a Base, File or Remove line");
    }
  }
  if (!head) return fail("the manifest is empty");
  // Every diff has its base and every base its diff; nothing is both kept and removed.
  for (const TDeltaFile& file : m.Files) {
    std::string folded = Fold(file.Name);
    if (removed.count(folded)) {
      problem = PrintableName(file.Name) + " is both a file of the result and removed";
      return false;
    }
    auto it = bases.find(folded);
    if (file.How == TDeltaHow::dhDiff) {
      if (it == bases.end()) {
        problem = PrintableName(file.Name) + " is a diff without its Base line";
        return false;
      }
      it->second = true;
    }
  }
  for (const TDeltaBase& b : m.Bases)
    if (!bases[Fold(b.Name)]) {
      problem = PrintableName(b.Name) + " is a Base no diff reads";
      return false;
    }
  manifest = std::move(m);
  problem.clear();
  return true;
}

// --- writing -------------------------------------------------------------------------

TDeltaStats WriteDeltaPackage(const std::vector<TReleaseFile>& base, const std::vector<TReleaseFile>& target,
                              const std::string& deltaFile, int level) {
  TDeltaStats stats;
  std::map<std::string, const TReleaseFile*> baseByName;
  for (const TReleaseFile& b : base) baseByName[Fold(b.Name)] = &b;  // a later duplicate wins, as installs do
  std::map<std::string, const TReleaseFile*> targetByName;
  for (const TReleaseFile& t : target) targetByName[Fold(t.Name)] = &t;

  TDeltaManifest manifest;
  // Blocks go to a scratch package first: the manifest, which leads, is known only at the end.
  std::string scratch = deltaFile + ".entries";
  {
    TPackageWriter entries(scratch, level, kDeltaMagic);
    for (const auto& [folded, t] : targetByName) {
      std::string content = t->Load();
      TDeltaFile file;
      file.Name = t->Name;
      file.Size = static_cast<int64_t>(content.size());
      file.Sha256 = crypto::Sha256(content);
      stats.ResultBytes += file.Size;
      auto b = baseByName.find(folded);
      std::string baseContent;
      if (b != baseByName.end()) baseContent = b->second->Load();
      if (b != baseByName.end() && baseContent == content) {
        file.How = TDeltaHow::dhKeep;
        ++stats.Kept;
      } else {
        std::string block = Deflate(content, level);
        file.How = TDeltaHow::dhWhole;
        if (b != baseByName.end() && !baseContent.empty() && static_cast<int64_t>(content.size()) <= kMaxDiffFileSize &&
            static_cast<int64_t>(baseContent.size()) <= kMaxDiffFileSize) {
          base::TStringStream diff;
          WriteBinaryDiff(baseContent, content, diff, level);
          if (diff.DataString().size() < block.size()) {
            block = diff.DataString();
            file.How = TDeltaHow::dhDiff;
            manifest.Bases.push_back(
                {static_cast<int64_t>(baseContent.size()), crypto::Sha256(baseContent), b->second->Name});
          }
        }
        (file.How == TDeltaHow::dhDiff ? stats.Diffed : stats.Whole)++;
        entries.AddBlock(file.Name, block, file.Size);
      }
      manifest.Files.push_back(std::move(file));
    }
    entries.Finish();
  }
  for (const auto& [folded, b] : baseByName)
    if (!targetByName.count(folded)) {
      manifest.Removed.push_back(b->Name);
      ++stats.Removed;
    }

  // The delta: the manifest, then the scratch package's blocks as they are.
  try {
    base::TFileStream scratchFile(scratch, platform::fmOpenRead | platform::fmShareDenyWrite);
    TPackageLimits limits;
    limits.Magic = kDeltaMagic;
    TPackageReader reader(scratchFile, limits);
    if (reader.Status() != TPackageStatus::psOk) throw EPackageError("the scratch package cannot be read back");
    TPackageWriter writer(deltaFile, level, kDeltaMagic);
    std::string text = manifest.Text();
    writer.AddBlock(kDeltaManifestName, Deflate(text, 9), static_cast<int64_t>(text.size()));
    for (const TPackageEntry& e : reader.Entries()) {
      std::string block(static_cast<size_t>(e.Size), '\0');
      scratchFile.SetPosition(e.Offset);
      scratchFile.ReadBuffer(block.data(), static_cast<int32_t>(e.Size));
      writer.AddBlock(e.Name, block, 0);
    }
    writer.Finish();
    stats.DeltaBytes = writer.PackageBytes();
  } catch (...) {
    platform::RemoveFile(scratch);
    throw;
  }
  platform::RemoveFile(scratch);
  return stats;
}

// --- installing ----------------------------------------------------------------------

std::string ReadDeltaManifest(const std::string& deltaFile, TDeltaManifest& manifest) {
  TOpenDelta d;
  std::string problem;
  try {
    if (!platform::FileExists(deltaFile)) return "no such file";
    TPackageFile file(deltaFile);
    problem = OpenDelta(file, d);
  } catch (const std::exception& e) {
    problem = e.what();
  }
  manifest = d.Manifest;
  return problem;
}

TInstallReport InstallDelta(const std::string& targetDir, const std::string& deltaFile, const std::string& journalFile,
                            const std::string& version, const TInstallOptions& options) {
  std::unique_ptr<TPackageFile> file;
  try {
    if (platform::FileExists(deltaFile)) file = std::make_unique<TPackageFile>(deltaFile);
  } catch (const std::exception&) {
  }
  if (!file) {
    TInstallReport report;
    report.Problems.push_back("DeltaUpdate Refused:= " + PrintableName(deltaFile) + " (no such file or unreadable)");
    return report;
  }
  return InstallDelta(targetDir, *file, journalFile, version, options);
}

TInstallReport InstallDelta(const std::string& targetDir, const TPackageFile& delta, const std::string& journalFile,
                            const std::string& version, const TInstallOptions& options) {
  TInstallReport report;
  const std::string& deltaFile = delta.FileName();
  auto refuse = [&](const std::string& why) {
    report.Problems.push_back("DeltaUpdate Refused:= " + PrintableName(deltaFile) + " (" + why + ")");
    return report;
  };
  try {
    std::string dir = targetDir;
    if (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
    TOpenDelta d;
    std::string problem = OpenDelta(delta, d);
    if (!problem.empty()) return refuse(problem);
    // Every file the delta reads is the one it was made for; every file it leaves alone
    // is there with its size (hashing the whole installation would cost more than the
    // delta saves; a kept file that differs is the user's, as with a full package).
    std::map<std::string, std::string> baseFiles;
    for (const TDeltaBase& b : d.Manifest.Bases) {
      std::string path = dir + "\\" + b.Name;
      if (!(problem = CheckInstalled(path, b.Size, b.Sha256)).empty()) return refuse(problem);
      baseFiles[Fold(b.Name)] = path;
    }
    std::vector<std::string> names;
    std::vector<const TDeltaFile*> built;
    for (const TDeltaFile& f : d.Manifest.Files) {
      if (f.How == TDeltaHow::dhKeep) {
        if (!(problem = CheckInstalled(dir + "\\" + f.Name, f.Size, {})).empty()) return refuse(problem);
        continue;
      }
      names.push_back(f.Name);
      built.push_back(&f);
    }
    TStageBuild build = [&](const std::vector<std::string>& staged) -> std::string {
      const auto& entries = d.Reader->Entries();
      for (size_t i = 0; i < built.size(); ++i) {
        const TDeltaFile& f = *built[i];
        std::string why;
        try {
          why = BuildFile(d, entries[i + 1], f, f.How == TDeltaHow::dhDiff ? baseFiles[Fold(f.Name)] : std::string(),
                          staged[i]);
        } catch (const std::exception& e) {
          why = e.what();
        }
        if (!why.empty()) return "DeltaUpdate Failed:= " + PrintableName(f.Name) + " (" + why + ")";
      }
      return {};
    };
    TInstallReport r = InstallBuilt(dir, names, d.Manifest.Removed, build, journalFile, version, options);
    for (const TDeltaFile* f : built) r.Bytes += f->Size;
    return r;
  } catch (...) {
    return refuse(base::ExceptionMessage(std::current_exception()));
  }
}

}  // namespace package
