// Delta packages: what turns one release's files into the next one's, for installations
// that hold the first. The container is the update package's (PackageIndex.h) under the
// magic "zsd", so neither kind is ever taken for the other. Its first entry is the
// manifest; then one entry per file the delta carries, in manifest order and under the
// file's name: the file itself as a zlib stream, or a binary diff (BinaryDiff.h) against
// the installed file of the same name, whichever was smaller.
//
// The manifest (8-bit text, CR LF lines; the name always last, since it ends the line):
//   OrbelleDelta|1
//   Base|<size>|<sha256 hex>|<name>          an installed file a diff reads
//   File|keep|<size>|<sha256 hex>|<name>     a file of the result the delta leaves alone
//   File|whole|<size>|<sha256 hex>|<name>    carried whole
//   File|diff|<size>|<sha256 hex>|<name>     carried as a diff against Base <name>
//   Remove|<name>                            an installed file the result no longer has
// Every file of the result has its File line. A delta is untrusted input: the parser
// refuses unsafe names, duplicates, values out of range and Base lines without their
// diff (and the reverse); the installer checks every Base file's size and SHA-256 before
// it reads it and every built file's size and SHA-256 before anything is committed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "package/StagedInstall.h"

namespace package {

constexpr const char* kDeltaManifestName = "~OrbelleDelta.manifest";
// Largest manifest read (about 150 bytes a file: room for 100,000 files).
constexpr int64_t kMaxManifestSize = 16 << 20;

enum class TDeltaHow { dhKeep, dhWhole, dhDiff };

struct TDeltaFile {
  TDeltaHow How = TDeltaHow::dhKeep;
  int64_t Size = 0;
  std::string Sha256;  // 32 bytes
  std::string Name;
};

struct TDeltaBase {
  int64_t Size = 0;
  std::string Sha256;
  std::string Name;
};

struct TDeltaManifest {
  std::vector<TDeltaBase> Bases;
  std::vector<TDeltaFile> Files;
  std::vector<std::string> Removed;

  std::string Text() const;
  // False, with problem naming the first faulty line, when text is not a sound manifest.
  static bool Parse(std::string_view text, TDeltaManifest& manifest, std::string& problem);
};

// --- the vendor's side ---------------------------------------------------------------

// One file of a release: its index name and a way to read all of it.
struct TReleaseFile {
  std::string Name;
  std::function<std::string()> Load;
};

struct TDeltaStats {
  int32_t Kept = 0, Whole = 0, Diffed = 0, Removed = 0;
  int64_t ResultBytes = 0;  // bytes of every file of the result
  int64_t DeltaBytes = 0;   // size of the delta package
};

// Writes the delta from base to target into deltaFile at level (0 to 9). Holds one file
// of each release in memory at a time. Raises EPackageError and the loaders' errors.
TDeltaStats WriteDeltaPackage(const std::vector<TReleaseFile>& base, const std::vector<TReleaseFile>& target,
                              const std::string& deltaFile, int level);

// --- the launcher's side -------------------------------------------------------------

// Reads and checks a delta package's manifest and entries; empty when sound, else why not.
std::string ReadDeltaManifest(const std::string& deltaFile, TDeltaManifest& manifest);

// Installs deltaFile over targetDir as one transaction, through the same staging folder
// and journal as InstallPackage: checks every Base file and every kept file's size,
// builds the carried files into the staging folder, checks each against its SHA-256,
// then commits (removals included). Any mismatch changes nothing installed; the report's
// Problems say why. Never raises.
TInstallReport InstallDelta(const std::string& targetDir, const std::string& deltaFile, const std::string& journalFile,
                            const std::string& version, const TInstallOptions& options = {});
// The same from a delta already open (the one whose size and digest were checked):
// nothing of it is read by name again.
TInstallReport InstallDelta(const std::string& targetDir, const TPackageFile& delta, const std::string& journalFile,
                            const std::string& version, const TInstallOptions& options = {});

}  // namespace package
