#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>

#include "PackageTestSupport.h"
#include "base/Exceptions.h"
#include "base/Stream.h"
#include "base/ZLibStream.h"

using namespace base;
using packagetest::Zlib;

namespace {

// Text and noise, so that both stored and compressed deflate blocks occur.
std::string Mixed(size_t size) {
  std::string s;
  uint32_t x = 12345;
  while (s.size() < size) {
    x = x * 1103515245 + 12345;
    if ((x >> 16) % 3 == 0) {
      for (int i = 0; i < 300 && s.size() < size; ++i) s += static_cast<char>(x >> (i % 24));
    } else {
      s += "The quick brown fox jumps over the lazy dog. ";
    }
  }
  s.resize(size);
  return s;
}

std::string ReadAll(TStream& s, int32_t chunk) {
  std::string out, buf(static_cast<size_t>(chunk), '\0');
  for (;;) {
    int32_t n = s.Read(buf.data(), chunk);
    if (n == 0) return out;
    out.append(buf.data(), static_cast<size_t>(n));
  }
}

std::string Deflate(const std::string& data, int level, TZStreamFormat format) {
  TStringStream out;
  TCompressionStream z(out, level, format);
  z.WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  z.Finish();
  return out.DataString();
}

// Raw deflate with fixed Huffman codes only: their 7-bit end-of-block code is what zlib
// can hold back with no input left.
std::string RawFixedHuffman(const std::string& data, int level) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_FIXED);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace

TEST(ZLibStream, RoundTripsAtBufferBoundariesInAnyChunking) {
  for (size_t size : {0u, 1u, 16533u, 16534u, 16535u, 65536u, 65537u, 1u << 20}) {
    std::string data = Mixed(size);
    for (int level : {0, 1, 9}) {
      std::string packed = Deflate(data, level, TZStreamFormat::zsfZLib);
      for (int32_t chunk : {1000, 16534, 200000}) {
        if (size > 70000 && chunk == 1000) continue;
        TStringStream src(packed);
        TDecompressionStream z(src);
        EXPECT_EQ(ReadAll(z, chunk), data) << size << " level " << level << " chunk " << chunk;
        EXPECT_TRUE(z.Finished());
        EXPECT_EQ(z.Position(), static_cast<int64_t>(size));
        char c;
        EXPECT_EQ(z.Read(&c, 1), 0);  // after the end: nothing, no error
      }
    }
  }
}

TEST(ZLibStream, CompressionMatchesZlibByteForByte) {
  // A reader that only knows zlib must accept what we write, and "hello" is the same
  // thirteen bytes in every zlib: header 78 9C, deflate data, Adler-32 06 2C 02 15.
  EXPECT_EQ(Deflate("hello", 6, TZStreamFormat::zsfZLib),
            std::string("\x78\x9C\xCB\x48\xCD\xC9\xC9\x07\x00\x06\x2C\x02\x15", 13));
  std::string data = Mixed(300000);
  // Stored (level 0) blocks follow the output buffer sizes, so only compressed levels compare.
  for (int level : {1, 6, 9}) EXPECT_TRUE(Deflate(data, level, TZStreamFormat::zsfZLib) == Zlib(data, level)) << level;
}

TEST(ZLibStream, IncompleteStreamReadsShortWithoutError) {
  std::string data = Mixed(100000);
  std::string packed = Zlib(data);
  for (size_t cut : {size_t{0}, size_t{1}, size_t{2}, packed.size() / 2, packed.size() - 4, packed.size() - 1}) {
    TStringStream src(packed.substr(0, cut));
    TDecompressionStream z(src);
    std::string got;
    ASSERT_NO_THROW(got = ReadAll(z, 16534)) << cut;
    EXPECT_FALSE(z.Finished());
    EXPECT_LE(got.size(), data.size());
    EXPECT_EQ(got, data.substr(0, got.size()));
  }
}

TEST(ZLibStream, RawDeflateHandsOutHeldBackOutputAfterTheSourceIsDry) {
  // Without a trailer, zlib can have taken every input byte while output is still owed
  // to a small reader (the rest of a match copy); reads must go on producing it.
  uint32_t x = 1;
  for (int pattern = 0; pattern < 90; ++pattern) {
    std::string data(10 + static_cast<size_t>(pattern) * 7919 % 19000, '\0');
    for (size_t i = 0; i < data.size(); ++i) {
      x = x * 1103515245 + 12345;
      uint32_t k = (x >> 16) % 4;
      data[i] = k == 0 ? static_cast<char>(x >> 8) : k == 1 ? 'a' : "abcab"[i % 5];
    }
    std::string packed = RawFixedHuffman(data, 1 + pattern % 9);
    for (int32_t chunk : {1, 2, 4, 8, 16, 32, 64}) {
      TStringStream src(packed);
      TDecompressionStream z(src, TZStreamFormat::zsfRaw);
      ASSERT_EQ(ReadAll(z, chunk).size(), data.size()) << "pattern " << pattern << " chunk " << chunk;
      EXPECT_TRUE(z.Finished());
    }
  }
}

TEST(ZLibStream, CorruptDataPresetDictionaryAndTrailingBytes) {
  std::string data = Mixed(50000);
  std::string packed = Zlib(data);

  std::string bad = packed;
  bad[bad.size() / 2] ^= 0x55;
  bad[bad.size() / 2 + 1] ^= 0x55;
  bad[bad.size() - 1] ^= 0x01;  // and the checksum, should the flips decode
  {
    TStringStream src(bad);
    TDecompressionStream z(src);
    try {
      ReadAll(z, 4096);
      FAIL() << "corrupt data inflated";
    } catch (const EDecompressionError& e) {
      EXPECT_EQ(e.Message(), "Error");
    }
  }
  {
    // Header 78 BB: FDICT set. zlib asks for a dictionary; that must not spin.
    TStringStream src(std::string("\x78\xBB\x00\x00\x00\x01\x03\x00\x00\x00\x00\x01", 12));
    TDecompressionStream z(src);
    char buf[64];
    EXPECT_THROW(z.Read(buf, sizeof buf), EDecompressionError);
  }
  {
    TStringStream src(packed + "GARBAGE");
    TDecompressionStream z(src);
    EXPECT_EQ(ReadAll(z, 16534), data);
    EXPECT_TRUE(z.Finished());
    EXPECT_EQ(z.PendingInput(), 7);
  }
}

TEST(ZLibStream, WriteAndSeekRules) {
  std::string data = Mixed(20000);
  std::string prefix = "PREFIX";
  TStringStream src(prefix + Zlib(data));
  src.SetPosition(static_cast<int64_t>(prefix.size()));
  TDecompressionStream z(src);

  try {
    z.Write("x", 1);
    FAIL() << "write accepted";
  } catch (const EDecompressionError& e) {
    EXPECT_EQ(e.Message(), "Invalid stream operation");
  }
  EXPECT_THROW(z.Seek(0, TSeekOrigin::soEnd), EDecompressionError);
  EXPECT_THROW(z.Size(), EDecompressionError);

  EXPECT_EQ(z.Seek(5000, TSeekOrigin::soCurrent), 5000);  // forward: inflate and discard
  char buf[100];
  z.ReadBuffer(buf, 100);
  EXPECT_EQ(std::string(buf, 100), data.substr(5000, 100));
  EXPECT_EQ(z.Seek(9000, TSeekOrigin::soBeginning), 9000);
  EXPECT_EQ(z.Seek(9000, TSeekOrigin::soBeginning), 9000);  // staying put is a move of 0
  EXPECT_THROW(z.Seek(8999, TSeekOrigin::soBeginning), EDecompressionError);
  EXPECT_THROW(z.Seek(-1, TSeekOrigin::soCurrent), EDecompressionError);

  // Someone else moves the shared source: reading continues where inflate left it.
  src.SetPosition(0);
  z.ReadBuffer(buf, 100);
  EXPECT_EQ(std::string(buf, 100), data.substr(9000, 100));

  // Back to the start of the compressed data, which is not the start of the source.
  EXPECT_EQ(z.Seek(0, TSeekOrigin::soBeginning), 0);
  EXPECT_EQ(ReadAll(z, 3000), data);
  EXPECT_EQ(z.Seek(0, TSeekOrigin::soBeginning), 0);
  EXPECT_THROW(z.Seek(20001, TSeekOrigin::soBeginning), EReadError);  // past the end
}

TEST(ZLibStream, GzipRawAndAutomaticFormats) {
  std::string data = Mixed(70000);
  for (TZStreamFormat f : {TZStreamFormat::zsfGZip, TZStreamFormat::zsfRaw, TZStreamFormat::zsfZLib}) {
    std::string packed = Deflate(data, 6, f);
    TStringStream src(packed);
    TDecompressionStream z(src, f);
    EXPECT_EQ(ReadAll(z, 8192), data);
    if (f != TZStreamFormat::zsfRaw) {
      TStringStream again(packed);
      TDecompressionStream a(again, TZStreamFormat::zsfAuto);
      EXPECT_EQ(ReadAll(a, 8192), data);
    }
  }
  EXPECT_EQ(Deflate("", 6, TZStreamFormat::zsfGZip).substr(0, 2), "\x1F\x8B");
}

TEST(ZLibStream, CompressionStreamRules) {
  TStringStream out;
  EXPECT_THROW(TCompressionStream(out, 10), EZCompressionError);
  TCompressionStream z(out, 6);
  z.WriteBuffer("abc", 3);
  z.WriteBuffer("def", 3);
  EXPECT_EQ(z.Position(), 6);
  EXPECT_THROW(z.Seek(0, TSeekOrigin::soBeginning), EZCompressionError);
  char c;
  try {
    z.Read(&c, 1);
    FAIL() << "read accepted";
  } catch (const EZCompressionError& e) {
    EXPECT_EQ(e.Message(), "Invalid stream operation");
  }
  z.Finish();
  z.Finish();  // once is enough; again does nothing
  EXPECT_EQ(z.CompressedSize(), static_cast<int64_t>(out.DataString().size()));
  EXPECT_THROW(z.Write("g", 1), EZCompressionError);
  TStringStream src(out.DataString());
  TDecompressionStream d(src);
  EXPECT_EQ(ReadAll(d, 100), "abcdef");
}
