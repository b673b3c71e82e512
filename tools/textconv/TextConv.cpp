#include "textconv/TextConv.h"

#include <algorithm>
#include <memory>

#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Strings.h"
#include "cli/CommandLine.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/TextCodec.h"
#include "text/WideFileStream.h"

namespace textconv {
namespace {

const char kUsageText[] =
    "usage: textconv IN OUT [--from CP|auto] [--to CP] [--bom] [--replace]\n"
    "  CP: a Windows code page number (65001 UTF-8, 1200 UTF-16LE, 1201 UTF-16BE, 12000 UTF-32LE,\n"
    "      1251, 932, ...)\n"
    "  --from auto (default): a byte order mark decides; without one, valid UTF-8 is UTF-8,\n"
    "      UTF-16 is recognised by its zero bytes, anything else is the system code page\n"
    "  --to (default 65001); --bom writes the UTF-8 byte order mark\n"
    "  --replace: write replacement characters for what cannot be converted exactly and\n"
    "      report their count on standard error (without it such input is an error)\n"
    "exit codes: 0 converted exactly (or with --replace: \"textconv: N replacement characters\n"
    "  written\"); 1 not converted, OUT left untouched, for one of:\n"
    "    \"textconv: IN: byte offset N: KIND\" input not convertible exactly\n"
    "    \"textconv: Cannot open file ...\" IN unreadable\n"
    "    \"textconv: Cannot create file ...\" OUT not writable\n"
    "    \"textconv: code page CP cannot be converted on this system\"\n"
    "  2 wrong command line\n";

const cli::TOption kOptions[] = {{"--from", "a code page"}, {"--to", "a code page"}, {"--bom"}, {"--replace"}};

constexpr uint16_t kUtf8 = 65001, kUtf16 = 1200, kUtf16BE = 1201, kUtf32 = 12000;
constexpr char16_t kReplacement = 0xFFFD;

bool ParseCodePage(const std::string& s, uint16_t& cp) {
  int32_t v;
  if (s.empty() || s[0] < '0' || s[0] > '9' || !base::TryStrToInt(s, v) || v < 0 || v > 65535) return false;
  cp = static_cast<uint16_t>(v);
  return true;
}

bool IsUnicode(uint16_t cp) { return cp == kUtf8 || cp == kUtf16 || cp == kUtf16BE || cp == kUtf32; }

// A code page the host cannot convert, found before any file is touched.
bool Convertible(uint16_t cp) { return IsUnicode(cp) || cp == 0 || platform::TextDecoder(cp).Error() == 0; }

bool IsHigh(uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// What could not be converted exactly: the first place, and how many places in all.
struct TProblems {
  size_t Count = 0;
  size_t Offset = 0;
  std::string Kind;
  void Add(size_t offset, std::string kind) {
    if (Count++ == 0) {
      Offset = offset;
      Kind = std::move(kind);
    }
  }
};

// The decoded text, with the input offset of each unit (for messages about the target).
struct TDecoded {
  std::u16string Text;
  std::vector<uint32_t> From;
  void Put(char16_t c, size_t offset) {
    Text.push_back(c);
    From.push_back(static_cast<uint32_t>(offset));
  }
  void PutCodePoint(uint32_t c, size_t offset) {
    if (c < 0x10000) {
      Put(static_cast<char16_t>(c), offset);
    } else {
      c -= 0x10000;
      Put(static_cast<char16_t>(0xD800 + (c >> 10)), offset);
      Put(static_cast<char16_t>(0xDC00 + (c & 0x3FF)), offset);
    }
  }
};

// The length of a well-formed UTF-8 sequence at p (1..4), or 0 with the kind of fault.
size_t Utf8Sequence(const uint8_t* p, size_t n, uint32_t& value, const char*& fault) {
  uint8_t b = p[0];
  if (b < 0x80) {
    value = b;
    return 1;
  }
  size_t need = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
  if (need == 0) {
    fault = b >= 0x80 && b <= 0xBF ? "continuation byte without a lead byte" : "byte that starts no UTF-8 sequence";
    return 0;
  }
  uint32_t v = b & (0x7F >> need);
  for (size_t k = 1; k < need; ++k) {
    if (k >= n) {
      fault = "UTF-8 sequence cut off by the end of the input";
      return 0;
    }
    if ((p[k] & 0xC0) != 0x80) {
      fault = "UTF-8 sequence cut off by a byte that does not continue it";
      return 0;
    }
    v = (v << 6) | (p[k] & 0x3F);
  }
  if ((need == 3 && v < 0x800) || (need == 4 && v < 0x10000)) {
    fault = "overlong UTF-8 sequence";
    return 0;
  }
  if (v > 0x10FFFF) {
    fault = "UTF-8 sequence beyond U+10FFFF";
    return 0;
  }
  if (v >= 0xD800 && v <= 0xDFFF) {
    fault = "surrogate code point encoded in UTF-8";
    return 0;
  }
  value = v;
  return need;
}

bool IsValidUtf8(const std::string& bytes) {
  auto p = reinterpret_cast<const uint8_t*>(bytes.data());
  for (size_t i = 0; i < bytes.size();) {
    uint32_t v;
    const char* fault;
    size_t len = Utf8Sequence(p + i, bytes.size() - i, v, fault);
    if (!len) return false;
    i += len;
  }
  return true;
}

void DecodeUtf8(const std::string& bytes, size_t start, TDecoded& out, TProblems& problems) {
  auto p = reinterpret_cast<const uint8_t*>(bytes.data());
  for (size_t i = start; i < bytes.size();) {
    uint32_t v;
    const char* fault = "";
    size_t len = Utf8Sequence(p + i, bytes.size() - i, v, fault);
    if (len) {
      out.PutCodePoint(v, i);
      i += len;
      continue;
    }
    problems.Add(i, fault);
    out.Put(kReplacement, i);
    // Past the bytes that began a valid sequence and broke off, as one replacement.
    size_t skip = 1;
    while (i + skip < bytes.size() && skip < 4 && (p[i + skip] & 0xC0) == 0x80 && p[i] >= 0xC2 && p[i] <= 0xF4) ++skip;
    i += skip;
  }
}

void DecodeUtf16(const std::string& bytes, size_t start, bool bigEndian, TDecoded& out, TProblems& problems) {
  auto p = reinterpret_cast<const uint8_t*>(bytes.data());
  auto unit = [&](size_t i) -> uint32_t { return bigEndian ? p[i] << 8 | p[i + 1] : p[i + 1] << 8 | p[i]; };
  size_t end = start + (bytes.size() - start) / 2 * 2;
  for (size_t i = start; i < end; i += 2) {
    uint32_t u = unit(i);
    if (IsHigh(u) && i + 2 < end && IsLow(unit(i + 2))) {
      out.Put(static_cast<char16_t>(u), i);
      out.Put(static_cast<char16_t>(unit(i + 2)), i + 2);
      i += 2;
    } else if (IsHigh(u) || IsLow(u)) {
      problems.Add(
          i, IsHigh(u) ? "high surrogate without a low one after it" : "low surrogate without a high one before it");
      out.Put(kReplacement, i);
    } else {
      out.Put(static_cast<char16_t>(u), i);
    }
  }
  if (end != bytes.size()) {
    problems.Add(end, "odd trailing byte");
    out.Put(kReplacement, end);
  }
}

void DecodeUtf32(const std::string& bytes, size_t start, TDecoded& out, TProblems& problems) {
  auto p = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t end = start + (bytes.size() - start) / 4 * 4;
  for (size_t i = start; i < end; i += 4) {
    uint32_t v = static_cast<uint32_t>(p[i]) | p[i + 1] << 8 | p[i + 2] << 16 | static_cast<uint32_t>(p[i + 3]) << 24;
    if (v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) {
      problems.Add(i, v > 0x10FFFF ? "UTF-32 value beyond U+10FFFF" : "surrogate code point in UTF-32");
      out.Put(kReplacement, i);
    } else {
      out.PutCodePoint(v, i);
    }
  }
  if (end != bytes.size()) {
    problems.Add(end, "UTF-32 unit cut off by the end of the input");
    out.Put(kReplacement, end);
  }
}

// A system code page, in pieces: each problem is found where it starts.
void DecodeSystem(const std::string& bytes, size_t start, uint16_t cp, TDecoded& out, TProblems& problems) {
  platform::TextDecoder decoder(cp);
  decoder.SetExact(true);
  auto p = reinterpret_cast<const uint8_t*>(bytes.data());
  char16_t buf[4096];
  size_t i = start;
  while (i < bytes.size()) {
    platform::CodecStep step = decoder.Convert(p + i, bytes.size() - i, buf, 4096, true);
    // Units of a piece are credited to the piece's first byte, then to each byte after.
    for (size_t k = 0; k < step.OutUsed; ++k) out.Put(buf[k], i + std::min(k, step.InUsed ? step.InUsed - 1 : 0));
    i += step.InUsed;
    if (step.Error) throw base::Exception(base::Format("the system cannot convert code page %d", cp));
    if (step.Invalid) {
      problems.Add(i, base::Format("byte %s that is no character of code page %d", base::IntToHex(p[i], 2), cp));
      out.Put(kReplacement, i);
      ++i;
    } else if (step.InUsed == 0) {
      break;
    }
  }
}

void PutUnit(std::string& out, uint32_t u, bool bigEndian) {
  char a = static_cast<char>(u & 0xFF), b = static_cast<char>(u >> 8);
  out += bigEndian ? b : a;
  out += bigEndian ? a : b;
}

// The decoded text holds no lone surrogates (each became a replacement and a problem).
std::string Encode(const TDecoded& in, uint16_t cp, bool bom, TProblems& problems) {
  const std::u16string& t = in.Text;
  std::string out;
  out.reserve(t.size() * 2 + 4);
  if (cp == kUtf16 || cp == kUtf16BE) {
    PutUnit(out, 0xFEFF, cp == kUtf16BE);
    for (char16_t c : t) PutUnit(out, c, cp == kUtf16BE);
    return out;
  }
  if (cp == kUtf8 || cp == kUtf32) {
    if (cp == kUtf32) out.append("\xFF\xFE\x00\x00", 4);
    if (cp == kUtf8 && bom) out.append("\xEF\xBB\xBF");
    for (size_t i = 0; i < t.size(); ++i) {
      uint32_t c = t[i];
      if (IsHigh(c) && i + 1 < t.size() && IsLow(t[i + 1])) c = 0x10000 + ((c - 0xD800) << 10) + (t[++i] - 0xDC00u);
      if (cp == kUtf32) {
        for (int k = 0; k < 4; ++k) out += static_cast<char>((c >> (8 * k)) & 0xFF);
      } else if (c < 0x80) {
        out += static_cast<char>(c);
      } else {
        int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        out += static_cast<char>(((0xFF00 >> (tail + 1)) & 0xFF) | (c >> (6 * tail)));
        for (int k = tail - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
      }
    }
    return out;
  }
  platform::TextEncoder encoder(cp);
  encoder.SetExact(true);
  uint8_t buf[8192];
  size_t i = 0;
  while (i < t.size()) {
    platform::CodecStep step = encoder.Convert(t.data() + i, t.size() - i, buf, sizeof buf, true);
    out.append(reinterpret_cast<const char*>(buf), step.OutUsed);
    i += step.InUsed;
    if (step.Error) throw base::Exception(base::Format("the system cannot convert code page %d", cp));
    if (step.Invalid) {
      size_t len = IsHigh(t[i]) && i + 1 < t.size() && IsLow(t[i + 1]) ? 2 : 1;
      uint32_t c = len == 2 ? 0x10000 + ((t[i] - 0xD800u) << 10) + (t[i + 1] - 0xDC00u) : t[i];
      // A replacement the reading made is counted there already.
      if (c != kReplacement || !problems.Count)
        problems.Add(in.From[i],
                     base::Format("character U+%s that code page %d cannot hold", base::IntToHex(c, 4), cp));
      // The target's default character in its place.
      platform::TextEncoder fallback(cp);
      uint8_t q[16];
      char16_t mark = u'?';
      platform::CodecStep d = fallback.Convert(&mark, 1, q, sizeof q, true);
      out.append(reinterpret_cast<const char*>(q), d.OutUsed);
      i += len;
    } else if (step.InUsed == 0) {
      break;
    }
  }
  return out;
}

// UTF-16 without a mark shows in its zero bytes: ASCII characters have their zero in
// the high byte, which comes second in UTF-16LE and first in UTF-16BE.
uint16_t GuessUtf16(const std::string& bytes) {
  size_t pairs = std::min<size_t>(bytes.size() / 2, 4096);
  if (pairs == 0 || bytes.size() % 2) return 0;
  size_t zeroSecond = 0, zeroFirst = 0;
  for (size_t k = 0; k < pairs; ++k) {
    bool a = bytes[2 * k] == 0, b = bytes[2 * k + 1] == 0;
    if (b && !a) ++zeroSecond;
    if (a && !b) ++zeroFirst;
  }
  if (zeroSecond * 4 >= pairs && zeroFirst == 0) return kUtf16;
  if (zeroFirst * 4 >= pairs && zeroSecond == 0) return kUtf16BE;
  return 0;
}

// The code page of the input and where its text starts (after a mark).
uint16_t ChooseSource(const std::string& bytes, uint16_t from, size_t& start) {
  auto b = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
  start = 0;
  size_t n = bytes.size();
  if (n >= 4 && b(0) == 0xFF && b(1) == 0xFE && b(2) == 0 && b(3) == 0) {
    start = 4;
    return kUtf32;
  }
  if (n >= 2 && b(0) == 0xFF && b(1) == 0xFE) {
    start = 2;
    return kUtf16;
  }
  if (n >= 2 && b(0) == 0xFE && b(1) == 0xFF) {
    start = 2;
    return kUtf16BE;
  }
  if (n >= 3 && b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF) {
    start = 3;
    return kUtf8;
  }
  if (from != 0) return from;
  if (uint16_t wide = GuessUtf16(bytes); wide && bytes.find('\0') != std::string::npos) return wide;
  if (IsValidUtf8(bytes)) return kUtf8;
  return static_cast<uint16_t>(platform::AnsiCodePage());
}

}  // namespace

int Run(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err) {
  cli::TCommandLine<std::u16string> line = cli::ParseCommandLine(args, kOptions);
  if (cli::ShowHelp(line, kUsageText, out)) return cli::kExitOk;
  if (!line.Error.empty()) return cli::UsageError(err, "textconv", line.Error, kUsageText);
  if (line.Positional.size() != 2) return cli::UsageError(err, "textconv", "", kUsageText);
  uint16_t from = 0, to = kUtf8;
  bool bom = line.Has("--bom"), replace = line.Has("--replace");
  for (const auto& [name, value] : line.Given) {
    if (name != "--from" && name != "--to") continue;
    std::string v = cli::Utf8(value);
    uint16_t cp;
    if (name == "--from" && v == "auto") {
      from = 0;
    } else if (!ParseCodePage(v, cp) || (name == "--to" && cp == 0)) {
      err << "textconv: " << name << ": not a code page number: " << v << "\n";
      return cli::kExitUsage;
    } else {
      (name == "--from" ? from : to) = cp;
    }
  }
  const std::u16string& inName = line.Positional[0];
  const std::u16string& outName = line.Positional[1];
  for (uint16_t cp : {from, to}) {
    if (!Convertible(cp)) {
      err << "textconv: code page " << cp << " cannot be converted on this system\n";
      return cli::kExitFailed;
    }
  }

  std::string bytes;
  try {
    text::TWideFileStream inFile(inName, platform::fmOpenRead | platform::fmShareDenyWrite);
    char chunk[65536];
    for (int32_t got; (got = inFile.Read(chunk, sizeof chunk)) > 0;) bytes.append(chunk, static_cast<size_t>(got));
  } catch (const base::Exception& e) {
    err << "textconv: " << e.Message() << "\n";
    return cli::kExitFailed;
  }

  std::string converted;
  TProblems problems;
  try {
    size_t start = 0;
    uint16_t source = ChooseSource(bytes, from, start);
    TDecoded text;
    text.Text.reserve(bytes.size());
    text.From.reserve(bytes.size());
    if (source == kUtf8)
      DecodeUtf8(bytes, start, text, problems);
    else if (source == kUtf16 || source == kUtf16BE)
      DecodeUtf16(bytes, start, source == kUtf16BE, text, problems);
    else if (source == kUtf32)
      DecodeUtf32(bytes, start, text, problems);
    else
      DecodeSystem(bytes, start, source, text, problems);
    text.From.push_back(static_cast<uint32_t>(bytes.size()));
    converted = Encode(text, to, bom, problems);
  } catch (const base::Exception& e) {
    err << "textconv: " << e.Message() << "\n";
    return cli::kExitFailed;
  }
  if (problems.Count && !replace) {
    err << "textconv: " << cli::Utf8(inName) << ": byte offset " << problems.Offset << ": " << problems.Kind << "\n";
    if (problems.Count > 1) err << "textconv: " << problems.Count - 1 << " more such places\n";
    return cli::kExitFailed;
  }
  if (problems.Count) err << "textconv: " << problems.Count << " replacement characters written\n";

  try {
    text::TWideFileStream outFile(outName, text::fmCreateWide);
    try {
      outFile.WriteBuffer(converted.data(), static_cast<int32_t>(converted.size()));
    } catch (...) {
      platform::RemoveFile(outName);  // no part of a text left behind as if it were all
      throw;
    }
  } catch (const base::Exception& e) {
    err << "textconv: " << e.Message() << "\n";
    return cli::kExitFailed;
  }
  return cli::kExitOk;
}

}  // namespace textconv
