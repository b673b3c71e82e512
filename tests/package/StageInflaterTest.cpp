// Inflating package entries on several threads: outcomes come back in index order, the
// first faulty entry in index order is the one reported, and nothing is written once the
// inflater is gone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PackageTestSupport.h"
#include "package/StageInflater.h"
#include "platform/Files.h"
#include "platform/Thread.h"
#include "support/TempDir.h"

using namespace package;
using namespace packagetest;
using testsupport::TempDir;

namespace {

using TKind = TStageOutcome::TKind;

// A package of entries 0..count-1; entry i holds Content(i). The listed entries are
// corrupt; every tenth entry is large, so later entries are done before it on other
// threads.
struct TPackage {
  TempDir Dir;
  std::string File = Dir / "p.vtzip";
  std::string Stage = Dir / "stage";
  std::vector<TStageJob> Jobs;

  static std::string Content(int i) {
    if (i % 10 == 0) return std::string((i == 0 ? 6 : 2) << 20, 'x') + "end " + std::to_string(i);
    return "entry " + std::to_string(i) + std::string(static_cast<size_t>(i) * 300, 'e');
  }

  TPackage(int count, const std::vector<int>& corrupt) {
    platform::ForceDirectories(Stage);
    std::string index, blocks;
    int64_t offset = 0;
    for (int i = 0; i < count; ++i) {
      std::string block = Zlib(Content(i), i % 10 == 0 ? 0 : 6);
      for (int c : corrupt)
        if (c == i) block[1] = static_cast<char>(block[1] ^ 0x01);
      std::string name = "f" + std::to_string(i);
      index += Line(name, block) + "\r\n";
      Jobs.push_back({offset, static_cast<int64_t>(block.size()), Stage + "\\" + std::to_string(i) + ".new"});
      offset += static_cast<int64_t>(block.size());
      blocks += block;
    }
    std::string bytes = Package(index, blocks);
    int64_t dataStart = static_cast<int64_t>(bytes.size() - blocks.size());
    for (TStageJob& j : Jobs) j.Offset += dataStart;
    WriteBytes(File, bytes);
  }
};

}  // namespace

TEST(StageInflater, OutcomesInIndexOrderWhateverTheThreadCount) {
  for (uint32_t threads : {1u, 2u, 4u, 64u}) {
    SCOPED_TRACE(threads);
    TPackage p(24, {});
    TPackageFile package(p.File);
    TStageInflater inflater(package, p.Jobs, threads);
    EXPECT_EQ(inflater.Threads(), threads < 2 ? 0u : std::min<size_t>(threads, TStageInflater::kMaxThreads));
    for (int i = 0; i < 24; ++i) {
      TStageOutcome r = inflater.Take(static_cast<size_t>(i));
      ASSERT_EQ(r.Kind, TKind::skInflated) << i << " " << r.Error;
      EXPECT_TRUE(r.Inflate.Complete);
      EXPECT_EQ(r.Inflate.Size, static_cast<int64_t>(TPackage::Content(i).size()));
      EXPECT_EQ(ReadBytes(p.Jobs[static_cast<size_t>(i)].File), TPackage::Content(i));
    }
  }
}

TEST(StageInflater, FaultsAreReportedPerEntryAndNothingIsWrittenAfterTheInflaterIsGone) {
  TPackage p(40, {3, 7});
  // A staging file that cannot be created: its folder does not exist.
  p.Jobs[5].File = p.Stage + "\\missing\\5.new";
  std::vector<std::string> files;
  for (const TStageJob& j : p.Jobs) files.push_back(j.File);
  {
    TPackageFile package(p.File);
    TStageInflater inflater(package, p.Jobs, 4);
    // Entry 0 is still being inflated when the corrupt entries 3 and 7 have failed; each
    // outcome belongs to its own entry all the same.
    EXPECT_EQ(inflater.Take(0).Kind, TKind::skInflated);
    EXPECT_EQ(inflater.Take(1).Kind, TKind::skInflated);
    EXPECT_EQ(inflater.Take(3).Kind, TKind::skCorrupt);
    TStageOutcome failed = inflater.Take(5);
    EXPECT_EQ(failed.Kind, TKind::skFailed);
    EXPECT_FALSE(failed.Error.empty());
    EXPECT_EQ(inflater.Take(7).Kind, TKind::skCorrupt);
    inflater.Stop();
  }
  // Once it is gone no worker writes: the staging folder stays as it is.
  auto snapshot = [&] {
    std::vector<std::string> state;
    for (const std::string& f : ListTree(p.Stage))
      state.push_back(f + " " + std::to_string(ReadBytes(p.Stage + "\\" + f).size()));
    return state;
  };
  std::vector<std::string> before = snapshot();
  platform::SleepMs(300);
  EXPECT_EQ(snapshot(), before);
  EXPECT_FALSE(platform::FileExists(files[5]));
}

TEST(StageInflater, EveryEntryComesFromThePackageAsOpened) {
  // The workers read through the one open package: removing its name (where the system
  // allows that while it is open) changes nothing.
  TPackage p(6, {});
  const std::string bytes = ReadBytes(p.File);
  for (uint32_t threads : {1u, 3u}) {
    WriteBytes(p.File, bytes);
    TPackageFile package(p.File);
    platform::RemoveFile(p.File);
    TStageInflater inflater(package, p.Jobs, threads);
    for (size_t i = 0; i < p.Jobs.size(); ++i) EXPECT_EQ(inflater.Take(i).Kind, TKind::skInflated) << i;
  }
}
