#include "package/BinaryDiff.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "base/Exceptions.h"
#include "base/ZLibStream.h"
#include "package/BlockStream.h"
#include "package/PackageWriter.h"

namespace package {
namespace {

// --- varints -------------------------------------------------------------------------

void PutVarint(std::string& out, uint64_t v) {
  while (v >= 0x80) {
    out += static_cast<char>((v & 0x7F) | 0x80);
    v >>= 7;
  }
  out += static_cast<char>(v);
}

uint64_t Zigzag(int64_t v) { return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63); }
int64_t Unzigzag(uint64_t v) { return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1); }

// Reads one varint of at most 9 bytes from [p, end); false when it is cut off or longer.
bool GetVarint(const uint8_t*& p, const uint8_t* end, uint64_t& v) {
  v = 0;
  for (int shift = 0; shift < 63; shift += 7) {
    if (p == end) return false;
    uint8_t b = *p++;
    v |= static_cast<uint64_t>(b & 0x7F) << shift;
    if (!(b & 0x80)) return true;
  }
  return false;
}

// --- the writer's chunks -------------------------------------------------------------

struct TControl {
  int64_t Copy = 0;
  bool Adjusted = false;
  int64_t Insert = 0;
  int64_t Offset = 0;  // relative to the end of the previous copy
};

// Collects controls, additions and inserts and writes them as chunks within the bounds
// the reader enforces.
class TChunkWriter {
 public:
  explicit TChunkWriter(base::TStream& out) : FOut(out) {}

  // A copy of len bytes from base[pos...] for target[0...]. Runs of kExactRun equal bytes
  // or more become copies of their own, so that long stretches do not fill the additions
  // with zeros (deflate packs at most 258 of them into one code).
  void Copy(int64_t pos, int64_t len, const uint8_t* base, const uint8_t* target, TDiffStats& stats) {
    int64_t start = 0, run = 0;
    for (int64_t k = 0; k < len; ++k) {
      if (base[pos + k] == target[k]) {
        ++run;
        continue;
      }
      if (run >= kExactRun) {
        Piece(pos, start, k - run, base, target, true, stats);
        Piece(pos, k - run, k, base, target, false, stats);
        start = k;
      }
      run = 0;
    }
    if (run == len - start) {
      Piece(pos, start, len, base, target, false, stats);
    } else if (run >= kExactRun) {
      Piece(pos, start, len - run, base, target, true, stats);
      Piece(pos, len - run, len, base, target, false, stats);
    } else {
      Piece(pos, start, len, base, target, true, stats);
    }
  }

  void Insert(const uint8_t* data, int64_t len, TDiffStats& stats) {
    stats.Inserted += len;
    while (len > 0) {
      if (FInserts.size() >= static_cast<size_t>(kMaxDiffChunkData)) Flush();
      if (FControls.empty() || FControls.size() >= kMaxControls) {
        if (FControls.size() >= kMaxControls) Flush();
        FControls.push_back({});
      }
      int64_t piece = std::min<int64_t>(len, kMaxDiffChunkData - static_cast<int64_t>(FInserts.size()));
      FInserts.append(reinterpret_cast<const char*>(data), static_cast<size_t>(piece));
      FControls.back().Insert += piece;
      data += piece;
      len -= piece;
    }
  }

  int64_t ControlCount() const { return FControlCount; }

  void Flush() {
    if (FControls.empty()) return;
    std::string control;
    for (const TControl& c : FControls) {
      PutVarint(control, static_cast<uint64_t>(c.Copy) * 2 + (c.Adjusted ? 1 : 0));
      PutVarint(control, static_cast<uint64_t>(c.Insert));
      if (c.Copy) PutVarint(control, Zigzag(c.Offset));
    }
    std::string head;
    PutVarint(head, control.size());
    PutVarint(head, FAdditions.size());
    PutVarint(head, FInserts.size());
    for (const std::string* s : {&head, &control, &FAdditions, &FInserts})
      if (!s->empty()) FOut.WriteBuffer(s->data(), static_cast<int32_t>(s->size()));
    FControlCount += static_cast<int64_t>(FControls.size());
    FControls.clear();
    FAdditions.clear();
    FInserts.clear();
  }

 private:
  static constexpr int64_t kExactRun = 512;

  // Bytes [from, to) of a copy, with additions or exact.
  void Piece(int64_t pos, int64_t from, int64_t to, const uint8_t* base, const uint8_t* target, bool adjusted,
             TDiffStats& stats) {
    int64_t len = to - from;
    if (len <= 0) return;
    pos += from;
    target += from;
    (adjusted ? stats.Adjusted : stats.Copied) += len;
    while (len > 0) {
      // A control and its additions always go into the same chunk.
      if (FControls.size() >= kMaxControls || (adjusted && FAdditions.size() >= static_cast<size_t>(kMaxDiffChunkData)))
        Flush();
      int64_t piece = len;
      if (adjusted) {
        piece = std::min<int64_t>(len, kMaxDiffChunkData - static_cast<int64_t>(FAdditions.size()));
        for (int64_t i = 0; i < piece; ++i) FAdditions += static_cast<char>(target[i] - base[pos + i]);
      }
      FControls.push_back({piece, adjusted, 0, pos - FCopyEnd});
      FCopyEnd = pos + piece;
      pos += piece;
      target += piece;
      len -= piece;
    }
  }

  // Each control takes at most 3 varints of 9 bytes: this many stay under kMaxDiffControl.
  static constexpr size_t kMaxControls = kMaxDiffControl / 27;

  base::TStream& FOut;
  std::vector<TControl> FControls;
  std::string FAdditions;
  std::string FInserts;
  int64_t FCopyEnd = 0;
  int64_t FControlCount = 0;
};

// --- the matcher ---------------------------------------------------------------------

constexpr int32_t kWindow = 16;        // bytes hashed per position
constexpr int32_t kMinPredicted = 12;  // a match where the last copy's shift predicts one
constexpr int32_t kGiveUp = 16;        // an approximate extension ends this far past its best
constexpr uint32_t kMultiplier = 0x01000193;
constexpr int32_t kMaxTableBits = 24;  // 64 MB of table at most
// Candidates tried per lookup, newest first: content that repeats (tables, padding, code
// the compiler emits many times) has many places a window occurs, and the right one is
// the one whose exact match runs longest. A match this long ends the search.
constexpr int32_t kMaxChain = 32;
constexpr int64_t kLongEnough = 4096;
// Candidates tried when an approximate copy meets a differing byte.
constexpr int32_t kMaxCheck = 8;

uint32_t PowerOfMultiplier() {
  uint32_t p = 1;
  for (int i = 0; i < kWindow; ++i) p *= kMultiplier;
  return p;
}

uint32_t HashWindow(const uint8_t* p) {
  uint32_t h = 0;
  for (int i = 0; i < kWindow; ++i) h = h * kMultiplier + p[i];
  return h;
}

class TMatcher {
 public:
  TMatcher(std::string_view base, std::string_view target)
      : FBase(reinterpret_cast<const uint8_t*>(base.data())),
        FBaseSize(static_cast<int64_t>(base.size())),
        FTarget(reinterpret_cast<const uint8_t*>(target.data())),
        FTargetSize(static_cast<int64_t>(target.size())) {}

  TDiffStats Run(TChunkWriter& writer);

 private:
  void Index();
  uint32_t Bucket(uint32_t h) const { return (h * 0x9E3779B1u) >> (32 - FBits); }
  // Exact length of the match of target[t...] at base[b...].
  int64_t Forward(int64_t t, int64_t b) const {
    int64_t n = std::min(FTargetSize - t, FBaseSize - b), k = 0;
    while (k < n && FTarget[t + k] == FBase[b + k]) ++k;
    return k;
  }
  // How far a copy of target[t...] from base[b...] pays with additions: the length where
  // equal bytes minus differing bytes peaks. It ends early at a differing byte after which
  // another place of the base matches much longer than this one (a similar copy of
  // repeated content is being followed, not the one the target was made from).
  int64_t Approximate(int64_t t, int64_t b) const {
    int64_t n = std::min(FTargetSize - t, FBaseSize - b), score = 0, best = 0, bestLength = 0;
    for (int64_t k = 0; k < n; ++k) {
      bool equal = FTarget[t + k] == FBase[b + k];
      if (!equal && BetterElsewhere(t + k + 1, b + k + 1)) break;
      score += equal ? 1 : -1;
      if (score > best) {
        best = score;
        bestLength = k + 1;
      } else if (score < best - kGiveUp) {
        break;
      }
    }
    return bestLength;
  }
  // True when some indexed place matches target[t...] (at one of the next stride
  // positions) at least twice as long as base[b...] does, and by kWindow bytes more.
  bool BetterElsewhere(int64_t t, int64_t b) const {
    if (FTable.empty() || t >= FTargetSize || b >= FBaseSize) return false;
    int64_t here = Forward(t, b);
    if (here >= kLongEnough) return false;
    for (int64_t j = 0; j < FStride && t + j + kWindow <= FTargetSize; ++j) {
      uint32_t entry = FTable[Bucket(HashWindow(FTarget + t + j))];
      for (int32_t n = 0; entry != 0 && n < kMaxCheck; ++n) {
        int64_t c = entry - 1;
        entry = FChain[static_cast<size_t>(c / FStride)];
        if (c == b + j) continue;
        if (Forward(t + j, c) > 2 * here + kWindow) return true;
      }
    }
    return false;
  }

  const uint8_t* FBase;
  int64_t FBaseSize;
  const uint8_t* FTarget;
  int64_t FTargetSize;
  int FBits = 0;
  int64_t FStride = 1;
  std::vector<uint32_t> FTable;  // newest base position + 1 of each bucket, 0 when empty
  std::vector<uint32_t> FChain;  // per indexed position: the previous one of its bucket + 1
};

void TMatcher::Index() {
  if (FBaseSize < kWindow) return;
  int64_t positions = FBaseSize - kWindow + 1;
  // Every position of a base up to 8 MB, fewer of a larger one so the table stays bounded;
  // a match of kWindow + stride - 1 bytes or more is always found.
  int64_t stride = FStride = std::max<int64_t>(1, (positions + (int64_t(1) << 23) - 1) >> 23);
  FBits = 10;
  while (FBits < kMaxTableBits && (int64_t(1) << FBits) < 2 * (positions / stride)) ++FBits;
  FTable.assign(size_t(1) << FBits, 0);
  FChain.assign(static_cast<size_t>(positions / stride + 1), 0);
  uint32_t power = PowerOfMultiplier();
  uint32_t h = HashWindow(FBase);
  for (int64_t p = 0;; ++p) {
    if (p % stride == 0) {
      uint32_t& head = FTable[Bucket(h)];
      FChain[static_cast<size_t>(p / stride)] = head;
      head = static_cast<uint32_t>(p + 1);
    }
    if (p + kWindow >= FBaseSize) break;
    h = h * kMultiplier + FBase[p + kWindow] - power * FBase[p];
  }
}

TDiffStats TMatcher::Run(TChunkWriter& writer) {
  TDiffStats stats;
  Index();
  uint32_t power = PowerOfMultiplier();
  int64_t pending = 0;  // first target byte not yet covered
  int64_t shift = 0;    // base position minus target position of the last copy
  int64_t t = 0;
  bool hashValid = false;
  uint32_t h = 0;
  while (t + kWindow <= FTargetSize) {
    if (!hashValid) {
      h = HashWindow(FTarget + t);
      hashValid = true;
    }
    int64_t bestBase = -1, bestLength = 0;
    int64_t predicted = t + shift;
    if (predicted >= 0 && predicted < FBaseSize) {
      int64_t k = Forward(t, predicted);
      if (k >= kMinPredicted) bestBase = predicted, bestLength = k;
    }
    if (!FTable.empty() && bestLength < kLongEnough) {
      uint32_t entry = FTable[Bucket(h)];
      for (int32_t n = 0; entry != 0 && n < kMaxChain; ++n) {
        int64_t b = entry - 1;
        entry = FChain[static_cast<size_t>(b / FStride)];
        if (b == predicted) continue;
        int64_t k = Forward(t, b);
        if (k >= kWindow && k > bestLength) {
          bestBase = b, bestLength = k;
          if (k >= kLongEnough) break;
        }
      }
    }
    if (bestBase < 0) {
      if (t + kWindow < FTargetSize) h = h * kMultiplier + FTarget[t + kWindow] - power * FTarget[t];
      ++t;
      continue;
    }
    // Grow the match backwards over bytes not yet covered, then forwards with additions.
    int64_t back = 0;
    while (t - back > pending && bestBase - back > 0 && FTarget[t - back - 1] == FBase[bestBase - back - 1]) ++back;
    int64_t start = t - back, from = bestBase - back, length = back + bestLength;
    length += Approximate(start + length, from + length);
    if (start > pending) writer.Insert(FTarget + pending, start - pending, stats);
    writer.Copy(from, length, FBase, FTarget + start, stats);
    shift = from - start;
    t = pending = start + length;
    hashValid = false;
  }
  if (pending < FTargetSize) writer.Insert(FTarget + pending, FTargetSize - pending, stats);
  return stats;
}

// --- the reader ----------------------------------------------------------------------

// The inflated diff, read in exact amounts.
class TDiffInput {
 public:
  TDiffInput(base::TStream& diff, int64_t diffSize)
      : FBlock(diff, diff.Position(), diffSize), FInflate(FBlock, base::TZStreamFormat::zsfZLib) {}
  // Fills n bytes; false when the stream ends first.
  bool Read(void* buffer, size_t n) {
    auto* p = static_cast<uint8_t*>(buffer);
    while (n > 0) {
      int32_t got = FInflate.Read(p, static_cast<int32_t>(std::min<size_t>(n, 1 << 30)));
      if (got <= 0) return false;
      p += got;
      n -= static_cast<size_t>(got);
    }
    return true;
  }
  bool ReadVarint(uint64_t& v) {
    v = 0;
    for (int shift = 0; shift < 63; shift += 7) {
      uint8_t b;
      if (!Read(&b, 1)) return false;
      v |= static_cast<uint64_t>(b & 0x7F) << shift;
      if (!(b & 0x80)) return true;
    }
    return false;
  }
  // After the last expected byte: the stream must end there, with its checksum.
  TDiffStatus End() {
    uint8_t b;
    if (FInflate.Read(&b, 1) != 0) return TDiffStatus::dsTrailing;
    return FInflate.Finished() ? TDiffStatus::dsOk : TDiffStatus::dsTruncated;
  }

 private:
  TBlockStream FBlock;
  base::TDecompressionStream FInflate;
};

// The base file read by position through one window, since copies mostly run forward.
class TBaseWindow {
 public:
  TBaseWindow(base::TStream& base, int64_t size)
      : FBase(base), FSize(size), FBuffer(static_cast<size_t>(std::clamp<int64_t>(size, 1, kWindowSize))) {}
  bool Read(int64_t pos, uint8_t* out, int64_t n) {
    while (n > 0) {
      if (pos < FStart || pos >= FStart + FLength) {
        int32_t want = static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(FBuffer.size()), FSize - pos));
        if (FBase.Seek(pos, base::TSeekOrigin::soBeginning) != pos) return false;
        int32_t got = 0;
        while (got < want) {
          int32_t r = FBase.Read(FBuffer.data() + got, want - got);
          if (r <= 0) return false;
          got += r;
        }
        FStart = pos;
        FLength = got;
      }
      int64_t k = std::min(n, FStart + FLength - pos);
      std::memcpy(out, FBuffer.data() + (pos - FStart), static_cast<size_t>(k));
      out += k;
      pos += k;
      n -= k;
    }
    return true;
  }

 private:
  static constexpr int32_t kWindowSize = 1 << 20;
  base::TStream& FBase;
  int64_t FSize;
  std::vector<uint8_t> FBuffer;
  int64_t FStart = 0;
  int64_t FLength = 0;
};

// Collects output and writes it in large pieces.
class TOutput {
 public:
  TOutput(base::TStream& out, int64_t total) : FOut(out) {
    FBuffer.reserve(static_cast<size_t>(std::clamp<int64_t>(total, 0, kSize)));
  }
  uint8_t* Room(int64_t n) {
    if (static_cast<int64_t>(FBuffer.size()) + n > kSize) Flush();
    size_t at = FBuffer.size();
    FBuffer.resize(at + static_cast<size_t>(n));
    return FBuffer.data() + at;
  }
  void Flush() {
    if (!FBuffer.empty()) FOut.WriteBuffer(FBuffer.data(), static_cast<int32_t>(FBuffer.size()));
    FBuffer.clear();
  }

 private:
  static constexpr int64_t kSize = 1 << 20;
  base::TStream& FOut;
  std::vector<uint8_t> FBuffer;
};

class TPatcher {
 public:
  TPatcher(base::TStream& diff, int64_t diffSize, base::TStream& base, base::TStream& out, int64_t newSize)
      : FInput(diff, diffSize), FBaseSize(base.Size()), FBase(base, FBaseSize), FOut(out, newSize), FNewSize(newSize) {}

  TDiffStatus Run();
  int64_t Written() const { return FWritten; }

 private:
  TDiffStatus Header();
  TDiffStatus Chunk();

  TDiffInput FInput;
  int64_t FBaseSize;
  TBaseWindow FBase;
  TOutput FOut;
  int64_t FNewSize;
  int64_t FWritten = 0;
  int64_t FCopyEnd = 0;
  std::vector<uint8_t> FControl, FAdditions, FInserts;
};

TDiffStatus TPatcher::Header() {
  uint8_t head[5];
  if (!FInput.Read(head, sizeof head)) return TDiffStatus::dsBadHeader;
  if (std::memcmp(head, kDiffMagic, 4) != 0 || head[4] != kDiffVersion) return TDiffStatus::dsBadHeader;
  uint64_t baseSize, newSize;
  if (!FInput.ReadVarint(baseSize) || !FInput.ReadVarint(newSize)) return TDiffStatus::dsBadHeader;
  if (baseSize != static_cast<uint64_t>(FBaseSize)) return TDiffStatus::dsWrongBase;
  if (newSize != static_cast<uint64_t>(FNewSize)) return TDiffStatus::dsWrongSize;
  return TDiffStatus::dsOk;
}

TDiffStatus TPatcher::Chunk() {
  uint64_t controlLength, additionLength, insertLength;
  if (!FInput.ReadVarint(controlLength) || !FInput.ReadVarint(additionLength) || !FInput.ReadVarint(insertLength))
    return TDiffStatus::dsTruncated;
  if (controlLength == 0 || controlLength > kMaxDiffControl || additionLength > kMaxDiffChunkData ||
      insertLength > kMaxDiffChunkData)
    return TDiffStatus::dsBadChunk;
  FControl.resize(controlLength);
  FAdditions.resize(additionLength);
  FInserts.resize(insertLength);
  if (!FInput.Read(FControl.data(), FControl.size()) || !FInput.Read(FAdditions.data(), FAdditions.size()) ||
      !FInput.Read(FInserts.data(), FInserts.size()))
    return TDiffStatus::dsTruncated;
  const uint8_t* p = FControl.data();
  const uint8_t* end = p + FControl.size();
  const uint8_t* addition = FAdditions.data();
  const uint8_t* insert = FInserts.data();
  while (p < end) {
    uint64_t copyWord, insertWord, offsetWord = 0;
    if (!GetVarint(p, end, copyWord) || !GetVarint(p, end, insertWord)) return TDiffStatus::dsBadControl;
    uint64_t copy = copyWord >> 1;
    bool adjusted = copyWord & 1;
    if (copy != 0 && !GetVarint(p, end, offsetWord)) return TDiffStatus::dsBadControl;
    uint64_t left = static_cast<uint64_t>(FNewSize - FWritten);
    if (copy + insertWord == 0 || copy > left || insertWord > left - copy) return TDiffStatus::dsBadControl;
    if (adjusted && copy > static_cast<uint64_t>(FAdditions.data() + FAdditions.size() - addition))
      return TDiffStatus::dsBadChunk;
    if (insertWord > static_cast<uint64_t>(FInserts.data() + FInserts.size() - insert)) return TDiffStatus::dsBadChunk;
    if (copy != 0) {
      // The position is relative to the previous copy's end; both stay inside the base.
      int64_t delta = Unzigzag(offsetWord);
      if (delta < -FCopyEnd || delta > FBaseSize - FCopyEnd) return TDiffStatus::dsBadCopy;
      int64_t pos = FCopyEnd + delta;
      if (static_cast<int64_t>(copy) > FBaseSize - pos) return TDiffStatus::dsBadCopy;
      int64_t n = static_cast<int64_t>(copy);
      while (n > 0) {
        int64_t piece = std::min<int64_t>(n, 1 << 20);
        uint8_t* dest = FOut.Room(piece);
        if (!FBase.Read(pos, dest, piece)) return TDiffStatus::dsBaseChanged;
        if (adjusted) {
          for (int64_t i = 0; i < piece; ++i) dest[i] = static_cast<uint8_t>(dest[i] + addition[i]);
          addition += piece;
        }
        pos += piece;
        n -= piece;
      }
      FCopyEnd = pos;
      FWritten += static_cast<int64_t>(copy);
    }
    int64_t n = static_cast<int64_t>(insertWord);
    while (n > 0) {
      int64_t piece = std::min<int64_t>(n, 1 << 20);
      std::memcpy(FOut.Room(piece), insert, static_cast<size_t>(piece));
      insert += piece;
      n -= piece;
    }
    FWritten += static_cast<int64_t>(insertWord);
  }
  if (addition != FAdditions.data() + FAdditions.size() || insert != FInserts.data() + FInserts.size())
    return TDiffStatus::dsBadChunk;
  return TDiffStatus::dsOk;
}

TDiffStatus TPatcher::Run() {
  TDiffStatus s = Header();
  // Every chunk writes at least one byte (each control makes progress), so this ends.
  while (s == TDiffStatus::dsOk && FWritten < FNewSize) s = Chunk();
  FOut.Flush();
  if (s == TDiffStatus::dsOk) s = FInput.End();
  return s;
}

}  // namespace

TDiffStats WriteBinaryDiff(std::string_view base, std::string_view target, base::TStream& out, int level) {
  if (static_cast<int64_t>(base.size()) > kMaxDiffFileSize || static_cast<int64_t>(target.size()) > kMaxDiffFileSize)
    throw EPackageError("a file larger than 2047 MB cannot be diffed");
  base::TCompressionStream z(out, level);
  std::string head(kDiffMagic, 4);
  head += static_cast<char>(kDiffVersion);
  PutVarint(head, base.size());
  PutVarint(head, target.size());
  z.WriteBuffer(head.data(), static_cast<int32_t>(head.size()));
  TChunkWriter writer(z);
  TDiffStats stats = TMatcher(base, target).Run(writer);
  writer.Flush();
  z.Finish();
  stats.Controls = writer.ControlCount();
  return stats;
}

TPatchResult ApplyBinaryDiff(base::TStream& diff, int64_t diffSize, base::TStream& base, base::TStream& out,
                             int64_t newSize) {
  TPatchResult r;
  if (newSize < 0) {
    r.Status = TDiffStatus::dsWrongSize;
  } else {
    try {
      TPatcher patcher(diff, diffSize, base, out, newSize);
      r.Status = patcher.Run();
      r.Size = patcher.Written();
    } catch (const base::EDecompressionError&) {
      r.Status = TDiffStatus::dsCorrupt;
    }
  }
  if (r.Status != TDiffStatus::dsOk) r.Problem = DescribeDiffStatus(r.Status);
  return r;
}

const char* DescribeDiffStatus(TDiffStatus status) {
  switch (status) {
    case TDiffStatus::dsOk: return "";
    case TDiffStatus::dsBadHeader: return "not a binary diff of a known version";
    case TDiffStatus::dsWrongBase: return "the diff was made against a base file of another size";
    case TDiffStatus::dsWrongSize: return "the diff makes a file of another size than the manifest says";
    case TDiffStatus::dsBadChunk: return "a chunk of the diff is malformed";
    case TDiffStatus::dsBadControl: return "a control of the diff is malformed";
    case TDiffStatus::dsBadCopy: return "the diff copies from outside the base file";
    case TDiffStatus::dsTruncated: return "the diff ends early";
    case TDiffStatus::dsTrailing: return "the diff goes on after the file is complete";
    case TDiffStatus::dsCorrupt: return "corrupt compressed data in the diff";
    case TDiffStatus::dsBaseChanged: return "the base file cannot be read";
  }
  return "unknown diff status";
}

}  // namespace package
