#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "PackageTestSupport.h"
#include "base/Stream.h"
#include "package/BinaryDiff.h"

using namespace packagetest;
using package::TDiffStatus;

namespace {

std::string Random(uint32_t seed, size_t n) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (char& c : s) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    c = static_cast<char>(x >> 24);
  }
  return s;
}

// count 4-byte edits spread over s by seed.
std::string Edited(std::string s, int count, uint32_t seed) {
  std::string noise = Random(seed, static_cast<size_t>(count) * 8);
  for (int i = 0; i < count; ++i) {
    size_t at = (static_cast<uint8_t>(noise[i * 8]) << 16 | static_cast<uint8_t>(noise[i * 8 + 1]) << 8 |
                 static_cast<uint8_t>(noise[i * 8 + 2])) %
                (s.size() - 4);
    s.replace(at, 4, noise.substr(i * 8 + 4, 4));
  }
  return s;
}

// s cut into blocks of size and laid out again in reverse order.
std::string Reversed(const std::string& s, size_t size) {
  std::string out;
  for (size_t end = s.size(); end > 0; end -= std::min(end, size))
    out += s.substr(end - std::min(end, size), std::min(end, size));
  return out;
}

std::string Diff(const std::string& base, const std::string& target) {
  base::TStringStream out;
  package::WriteBinaryDiff(base, target, out, 9);
  return out.DataString();
}

package::TPatchResult Apply(const std::string& diff, const std::string& base, int64_t newSize, std::string& result) {
  base::TStringStream diffStream(diff + "after the diff");  // bytes past diffSize are not read
  base::TStringStream baseStream(base);
  base::TStringStream out;
  package::TPatchResult r =
      package::ApplyBinaryDiff(diffStream, static_cast<int64_t>(diff.size()), baseStream, out, newSize);
  result = out.DataString();
  return r;
}

}  // namespace

// Every pair is rebuilt byte for byte; the bound says the matcher found what a release
// keeps (a failure there is a lost match, not a wrong result).
TEST(BinaryDiff, RoundTripsReleasesAndStaysSmallWhereTheyShareBytes) {
  const std::string r1 = Random(1, 1 << 20), r4 = Random(13, 4 << 20);
  const std::string big = Random(9, 24 << 20);  // over 8 MB: the base is indexed with a stride
  std::string inserted = r1, deleted = r1, zeros(1 << 20, '\0');
  inserted.insert(300000, Random(2, 10000));
  deleted.erase(500000, 20000);
  std::string bigNext = Edited(big, 300, 5);
  bigNext.insert(7 << 20, Random(6, 4096));
  bigNext.erase(15 << 20, 4096);
  struct TCase {
    const char* Name;
    std::string Base, Target;
    size_t MaxDiff;
  };
  const TCase cases[] = {
      {"both empty", "", "", 40},
      {"from nothing", "", Random(3, 5000), 5100},
      {"to nothing", Random(4, 5000), "", 40},
      {"shorter than a hash window", "abcdef", "abXdef", 60},
      {"identical", r1, r1, 120},
      {"scattered 4-byte edits", r1, Edited(r1, 100, 7), 2500},
      {"a block inserted", r1, inserted, 10000 + 200},
      {"a block deleted", r1, deleted, 200},
      {"blocks moved", r1, Reversed(r1, 65536), 600},
      {"zeros with edits", zeros, Edited(zeros, 50, 8), 900},
      // Thousands of controls: chunks end on the control bound as well as the byte bounds.
      {"thousands of scattered edits", r4, Edited(r4, 4000, 12), 4000 * 14},
      {"unrelated", Random(10, 100000), Random(11, 100000), 100000 + 600},
      {"24 MB with edits, an insert and a delete", big, bigNext, 4096 + 300 * 12 + 2000},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string diff = Diff(c.Base, c.Target), result;
    package::TPatchResult r = Apply(diff, c.Base, static_cast<int64_t>(c.Target.size()), result);
    ASSERT_EQ(r.Status, TDiffStatus::dsOk) << r.Problem;
    EXPECT_EQ(r.Size, static_cast<int64_t>(c.Target.size()));
    EXPECT_TRUE(result == c.Target);
    EXPECT_LE(diff.size(), c.MaxDiff);
  }
}

namespace {

std::string Varint(uint64_t v) {
  std::string s;
  while (v >= 0x80) {
    s += static_cast<char>((v & 0x7F) | 0x80);
    v >>= 7;
  }
  return s + static_cast<char>(v);
}

std::string Head(uint64_t baseSize, uint64_t newSize) {
  return std::string("ODIF\x01", 5) + Varint(baseSize) + Varint(newSize);
}

std::string Chunk(const std::string& control, const std::string& additions = {}, const std::string& inserts = {}) {
  return Varint(control.size()) + Varint(additions.size()) + Varint(inserts.size()) + control + additions + inserts;
}

// A control: copy length (with the additions flag), insert length, zigzag offset.
std::string Control(uint64_t copy, uint64_t insert, int64_t offset = 0, bool adjusted = false) {
  std::string s = Varint(copy * 2 + (adjusted ? 1 : 0)) + Varint(insert);
  if (copy) s += Varint((static_cast<uint64_t>(offset) << 1) ^ static_cast<uint64_t>(offset >> 63));
  return s;
}

}  // namespace

// The reader on streams written by hand: the format as documented, and every bound.
TEST(BinaryDiff, ReaderChecksEveryLengthAndPositionOfAnUntrustedDiff) {
  const std::string base = "0123456789abcdef0123456789ABCDEF0123456789abcdef0123456789ABCDEF";  // 64 bytes
  std::string corrupt = Zlib(Head(64, 10) + Chunk(Control(10, 0)));
  corrupt[corrupt.size() - 1] ^= 0x40;  // the checksum
  std::string cut = Zlib(Head(64, 10) + Chunk(Control(10, 0)));
  cut.resize(cut.size() - 4);  // without its checksum
  struct TCase {
    const char* Name;
    std::string Diff;  // zlib stream
    int64_t NewSize;
    TDiffStatus Status;
    std::string Result;  // dsOk only
  };
  const TCase cases[] = {
      {"a copy", Zlib(Head(64, 10) + Chunk(Control(10, 0))), 10, TDiffStatus::dsOk, "0123456789"},
      {"copies relative to the last end, additions, inserts",
       Zlib(Head(64, 7) + Chunk(Control(2, 3, 16, true) + Control(2, 0, -4), std::string("\x01\x00", 2), "xyz")), 7,
       TDiffStatus::dsOk, "11xyzef"},
      {"two chunks", Zlib(Head(64, 4) + Chunk(Control(0, 2), "", "ab") + Chunk(Control(2, 0, 62))), 4,
       TDiffStatus::dsOk, "abEF"},
      {"another magic", Zlib("ODIX\x01" + Varint(64) + Varint(10) + Chunk(Control(10, 0))), 10,
       TDiffStatus::dsBadHeader, ""},
      {"another version", Zlib(std::string("ODIF\x02", 5) + Varint(64) + Varint(10) + Chunk(Control(10, 0))), 10,
       TDiffStatus::dsBadHeader, ""},
      {"another base size", Zlib(Head(63, 10) + Chunk(Control(10, 0))), 10, TDiffStatus::dsWrongBase, ""},
      {"another new size", Zlib(Head(64, 11) + Chunk(Control(10, 0))), 10, TDiffStatus::dsWrongSize, ""},
      {"a control without progress", Zlib(Head(64, 10) + Chunk(Control(0, 0) + Control(10, 0))), 10,
       TDiffStatus::dsBadControl, ""},
      {"a copy past the new size", Zlib(Head(64, 10) + Chunk(Control(11, 0))), 10, TDiffStatus::dsBadControl, ""},
      {"a copy past the base's end", Zlib(Head(64, 10) + Chunk(Control(10, 0, 60))), 10, TDiffStatus::dsBadCopy, ""},
      {"a copy before the base's start", Zlib(Head(64, 10) + Chunk(Control(10, 0, -1))), 10, TDiffStatus::dsBadCopy,
       ""},
      {"a huge offset", Zlib(Head(64, 10) + Chunk(Control(10, 0, INT64_MAX / 2))), 10, TDiffStatus::dsBadCopy, ""},
      {"an insert past the chunk's bytes", Zlib(Head(64, 5) + Chunk(Control(0, 5), "", "abc")), 5,
       TDiffStatus::dsBadChunk, ""},
      {"additions past the chunk's bytes", Zlib(Head(64, 5) + Chunk(Control(5, 0, 0, true), "ab")), 5,
       TDiffStatus::dsBadChunk, ""},
      {"chunk bytes left over", Zlib(Head(64, 2) + Chunk(Control(0, 2), "", "abc")), 2, TDiffStatus::dsBadChunk, ""},
      {"an empty control section", Zlib(Head(64, 2) + Varint(0) + Varint(0) + Varint(2) + "ab"), 2,
       TDiffStatus::dsBadChunk, ""},
      {"a control section over its bound", Zlib(Head(64, 2) + Varint(65537) + Varint(0) + Varint(0)), 2,
       TDiffStatus::dsBadChunk, ""},
      {"inserts over their bound", Zlib(Head(64, 2) + Varint(2) + Varint(0) + Varint((1 << 20) + 1)), 2,
       TDiffStatus::dsBadChunk, ""},
      {"a varint of ten bytes", Zlib(Head(64, 2) + Chunk(std::string(9, '\x80') + "\x01" + Varint(0))), 2,
       TDiffStatus::dsBadControl, ""},
      {"a stream that stops after its header", Zlib(Head(64, 10)), 10, TDiffStatus::dsTruncated, ""},
      {"a chunk cut short", Zlib(Head(64, 10) + Varint(3) + Varint(0) + Varint(0) + "\x14"), 10,
       TDiffStatus::dsTruncated, ""},
      {"bytes after the new file", Zlib(Head(64, 10) + Chunk(Control(10, 0)) + Chunk(Control(0, 1), "", "x")), 10,
       TDiffStatus::dsTrailing, ""},
      {"a zlib stream without its checksum", cut, 10, TDiffStatus::dsTruncated, ""},
      {"corrupt zlib data", corrupt, 10, TDiffStatus::dsCorrupt, ""},
      {"not zlib at all", "ODIF", 10, TDiffStatus::dsCorrupt, ""},
      {"a negative new size", Zlib(Head(64, 10) + Chunk(Control(10, 0))), -1, TDiffStatus::dsWrongSize, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string result;
    package::TPatchResult r = Apply(c.Diff, base, c.NewSize, result);
    EXPECT_EQ(r.Status, c.Status) << r.Problem;
    EXPECT_EQ(r.Problem, package::DescribeDiffStatus(c.Status));
    if (c.Status == TDiffStatus::dsOk) {
      EXPECT_EQ(result, c.Result);
    }
  }
}
