#include "package/PackageWriter.h"

#include <limits>
#include <vector>

#include "base/Format.h"
#include "base/ZLibStream.h"
#include "package/EntryName.h"
#include "package/PackageIndex.h"
#include "platform/Files.h"

namespace package {
namespace {
constexpr int32_t kChunk = 65536;
}

TPackageWriter::TPackageWriter(const base::AnsiString& packageFile, int level, const char* magic)
    : FPackageFile(packageFile), FScratchFile(packageFile + ".blocks"), FLevel(level), FMagic(magic) {
  if (level < 0 || level > 9) throw EPackageError(base::Format("Compression level %d is not between 0 and 9", level));
  FBlocks = std::make_unique<base::TFileStream>(FScratchFile, base::fmCreate);
}

TPackageWriter::~TPackageWriter() {
  FBlocks.reset();
  platform::RemoveFile(FScratchFile);
  if (!FFinished) platform::RemoveFile(FPackageFile);
}

void TPackageWriter::AddFile(const base::AnsiString& name, base::TStream& content) {
  if (FFinished) throw EPackageError("The package is already finished");
  std::string why = CheckEntryName(name);
  if (!why.empty()) throw EPackageError(base::Format("Cannot pack \"%s\": %s", PrintableName(name), why));
  std::string line = FormatIndexLine(name, std::numeric_limits<int32_t>::max());
  if (FIndex.size() + line.size() > static_cast<size_t>(kMaxIndexLength))
    throw EPackageError(base::Format("Cannot pack \"%s\": the index would exceed %d bytes", name, kMaxIndexLength));

  int64_t start = FBlocks->Position();
  int64_t original = 0;
  try {
    base::TCompressionStream z(*FBlocks, FLevel);
    std::vector<uint8_t> buffer(kChunk);
    for (;;) {
      int32_t n = content.Read(buffer.data(), kChunk);
      if (n <= 0) break;
      z.WriteBuffer(buffer.data(), n);
      original += n;
    }
    z.Finish();
    if (FBlocks->Position() - start > std::numeric_limits<int32_t>::max())
      throw EPackageError(base::Format("Cannot pack \"%s\": its compressed block exceeds 2147483647 bytes", name));
  } catch (...) {
    FBlocks->SetSize(start);  // drop the partial block: the writer stays usable
    throw;
  }
  FIndex += FormatIndexLine(name, FBlocks->Position() - start);
  FOriginal += original;
  ++FCount;
}

void TPackageWriter::AddBlock(const base::AnsiString& name, std::string_view block, int64_t original) {
  if (FFinished) throw EPackageError("The package is already finished");
  std::string why = CheckEntryName(name);
  if (!why.empty()) throw EPackageError(base::Format("Cannot pack \"%s\": %s", PrintableName(name), why));
  if (block.empty() || block.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    throw EPackageError(base::Format("Cannot pack \"%s\": its block is empty or exceeds 2147483647 bytes", name));
  std::string line = FormatIndexLine(name, static_cast<int64_t>(block.size()));
  if (FIndex.size() + line.size() > static_cast<size_t>(kMaxIndexLength))
    throw EPackageError(base::Format("Cannot pack \"%s\": the index would exceed %d bytes", name, kMaxIndexLength));
  FBlocks->WriteBuffer(block.data(), static_cast<int32_t>(block.size()));
  FIndex += line;
  FOriginal += original;
  ++FCount;
}

void TPackageWriter::Finish() {
  if (FFinished) return;
  int64_t blocks = FBlocks->Position();
  base::TFileStream out(FPackageFile, base::fmCreate);
  uint32_t n = static_cast<uint32_t>(FIndex.size());
  const uint8_t header[kHeaderSize] = {kMagicLength,
                                       static_cast<uint8_t>(FMagic[0]),
                                       static_cast<uint8_t>(FMagic[1]),
                                       static_cast<uint8_t>(FMagic[2]),
                                       kFormatVersion,
                                       static_cast<uint8_t>(n),
                                       static_cast<uint8_t>(n >> 8),
                                       static_cast<uint8_t>(n >> 16),
                                       static_cast<uint8_t>(n >> 24)};
  out.WriteBuffer(header, kHeaderSize);
  out.WriteBuffer(FIndex.data(), static_cast<int32_t>(FIndex.size()));
  FBlocks->SetPosition(0);
  if (blocks > 0) out.CopyFrom(*FBlocks, blocks);
  FPackageSize = out.Position();
  FFinished = true;
}

}  // namespace package
