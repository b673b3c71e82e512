// Parses the same 32 MiB document, in UTF-8 and in UTF-16, into a tree with the product's
// parser, pugixml and libxml2, and through expat (which builds no tree), and reports
// MB/s, the ratios to pugixml, expat and libxml2, and the heap held by each tree per
// input byte.
// The best of a few runs counts.
#include <expat.h>
#include <libxml/parser.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "base/Stream.h"
#include "xml/XMLDocument.h"
#include "xml/XMLNodeArena.h"

namespace {

size_t gTargetSize = 32u << 20;  // of the generated document
constexpr int kRuns = 3;

// A skin-like document: nested items with attributes, text with references, comments.
std::string MakeDocument() {
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<skins>\n";
  unsigned seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  for (int n = 0; s.size() < gTargetSize - 4096; ++n) {
    s += "  <skin name=\"skin" + std::to_string(n) + "\" version=\"" + std::to_string(next() % 10) + "\">\n";
    s += "    <!-- generated skin " + std::to_string(n) + " -->\n    <items>\n";
    for (int i = 0; i < 8; ++i) {
      s += "      <item name=\"button" + std::to_string(i) + "\" image=\"img/b" + std::to_string(next() % 100) +
           ".png\" rect=\"" + std::to_string(next() % 640) + "," + std::to_string(next() % 480) + ",80,24\">\n";
      s += "        <state name=\"hover\" colour=\"#FF" + std::to_string(1000 + next() % 9000) + "\"/>\n";
      s += "        <caption font=\"Tahoma\" size=\"8\">Caption &amp; title " + std::to_string(next()) +
           " caf\xC3\xA9</caption>\n      </item>\n";
    }
    s += "    </items>\n  </skin>\n";
  }
  s += "</skins>\n";
  return s;
}

std::string ToUtf16(const std::string& utf8) {
  std::u16string wide = base::Utf8ToWide(utf8);
  // The declaration names UTF-16 so that every parser takes the mark at its word.
  const std::u16string from = u"encoding=\"UTF-8\"";
  wide.replace(wide.find(from), from.size(), u"encoding=\"UTF-16\"");
  std::string bytes = "\xFF\xFE";
  for (char16_t c : wide) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

// Blocks the heap serves from the system directly (hblkhd) count too, and so do the
// product's node blocks that it maps past the heap.
size_t HeapInUse() {
  struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd + xml::MappedArenaBytes();
}

// CPU time of the process: on a machine that other jobs share, it moves much less than
// the wall clock does.
double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// Minor page faults of the process so far: each is a page of fresh memory the kernel
// had to map and clear.
long PageFaults() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

struct TResult {
  double Seconds = 1e30;
  double CpuSeconds = 1e30;
  double BytesPerInput = 0;
  long Faults = 0;  // of the fastest run
};

// Runs parse kRuns times; parse returns a holder that keeps its tree alive until reset.
TResult Measure(const std::string& data, const std::function<std::function<void()>(const std::string&)>& parse) {
  TResult r;
  for (int i = 0; i < kRuns; ++i) {
    size_t before = HeapInUse();
    auto start = std::chrono::steady_clock::now();
    double cpuStart = CpuSeconds();
    long faultsStart = PageFaults();
    std::function<void()> release = parse(data);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.CpuSeconds = std::min(r.CpuSeconds, CpuSeconds() - cpuStart);
    long faults = PageFaults() - faultsStart;
    size_t held = HeapInUse() - before;
    release();
    if (seconds < r.Seconds) r.Faults = faults;
    r.Seconds = std::min(r.Seconds, seconds);
    r.BytesPerInput = static_cast<double>(held) / static_cast<double>(data.size());
  }
  return r;
}

// The stream over the input is made before the clock starts, as the peers get the bytes.
std::function<void()> ParseOrbelle(base::TStream& stream, uint16_t codePage, bool strict = false) {
  stream.SetPosition(0);
  auto* doc = new xml::TXMLDocument(true);
  doc->SetStrict(strict);
  if (!doc->Load(&stream, codePage)) std::fprintf(stderr, "orbelle: %s\n", doc->ParseError().Message().c_str());
  return [doc] { delete doc; };
}

std::function<void()> ParsePugi(const std::string& data) {
  auto* doc = new pugi::xml_document;
  pugi::xml_parse_result r = doc->load_buffer(data.data(), data.size());
  if (!r) std::fprintf(stderr, "pugixml: %s\n", r.description());
  return [doc] { delete doc; };
}

std::function<void()> ParseExpat(const std::string& data) {
  XML_Parser p = XML_ParserCreate(nullptr);
  size_t count = 0;
  XML_SetUserData(p, &count);
  XML_SetElementHandler(
      p, [](void* c, const XML_Char*, const XML_Char**) { ++*static_cast<size_t*>(c); }, [](void*, const XML_Char*) {});
  XML_SetCharacterDataHandler(p, [](void*, const XML_Char*, int) {});
  if (XML_Parse(p, data.data(), static_cast<int>(data.size()), 1) != XML_STATUS_OK)
    std::fprintf(stderr, "expat: %s\n", XML_ErrorString(XML_GetErrorCode(p)));
  return [p] { XML_ParserFree(p); };
}

std::function<void()> ParseLibxml2(const std::string& data) {
  xmlDocPtr doc = xmlReadMemory(data.data(), static_cast<int>(data.size()), "bench.xml", nullptr, XML_PARSE_HUGE);
  if (!doc) std::fprintf(stderr, "libxml2: parse failed\n");
  return [doc] { xmlFreeDoc(doc); };
}

}  // namespace

// "xml_bench orbelle [MiB]" parses with the product only, optionally a smaller document
// (for a profiler).
int main(int argc, char** argv) {
  const bool onlyOurs = argc > 1 && std::strcmp(argv[1], "orbelle") == 0;
  if (onlyOurs && argc > 2) gTargetSize = std::clamp<size_t>(std::strtoul(argv[2], nullptr, 10), 1, 1024) << 20;
  xmlInitParser();
  std::string utf8 = MakeDocument();
  std::string utf16 = ToUtf16(utf8);
  for (const auto& [label, data, codePage] :
       {std::tuple{"UTF-8", &utf8, uint16_t{65001}}, std::tuple{"UTF-16", &utf16, uint16_t{1200}}}) {
    double mb = static_cast<double>(data->size()) / (1 << 20);
    base::TStringStream stream(*data);
    TResult ours = Measure(*data, [&, cp = codePage](const std::string&) { return ParseOrbelle(stream, cp); });
    TResult strict = Measure(*data, [&, cp = codePage](const std::string&) { return ParseOrbelle(stream, cp, true); });
    if (onlyOurs) {
      std::printf("%s: orbelle %.1f MB/s, %.1f ms, %ld page faults; strict %.1f ms (%.2f of lenient)\n", label,
                  mb / ours.Seconds, ours.Seconds * 1000, ours.Faults, strict.Seconds * 1000,
                  strict.Seconds / ours.Seconds);
      continue;
    }
    TResult pugi = Measure(*data, ParsePugi);
    TResult expat = Measure(*data, ParseExpat);
    TResult libxml = Measure(*data, ParseLibxml2);
    std::printf("%s, %.1f MiB (best of %d):\n", label, mb, kRuns);
    for (const auto& [name, r] : {std::pair{"orbelle", ours}, std::pair{"strict", strict}, std::pair{"pugixml", pugi},
                                  std::pair{"expat", expat}, std::pair{"libxml2", libxml}})
      std::printf("  %-8s %8.1f MB/s  %7.1f ms  cpu %7.1f ms  tree %5.2f bytes per input byte  %6ld page faults\n",
                  name, mb / r.Seconds, r.Seconds * 1000, r.CpuSeconds * 1000, r.BytesPerInput, r.Faults);
    std::printf(
        "  orbelle / expat = %.2f, orbelle / libxml2 = %.2f, orbelle / pugixml = %.2f (time; goal: at most 1 "
        "against pugixml)\n",
        ours.Seconds / expat.Seconds, ours.Seconds / libxml.Seconds, ours.Seconds / pugi.Seconds);
    std::printf("  cpu time: orbelle / expat = %.2f, orbelle / libxml2 = %.2f, orbelle / pugixml = %.2f\n",
                ours.CpuSeconds / expat.CpuSeconds, ours.CpuSeconds / libxml.CpuSeconds,
                ours.CpuSeconds / pugi.CpuSeconds);
    std::printf("  tree: %.2f bytes per input byte (goal for UTF-8: at most 6)\n", ours.BytesPerInput);
    std::printf("  strict / lenient = %.2f (time; goal: at most 1.10)\n", strict.Seconds / ours.Seconds);
  }
  xmlCleanupParser();
  return 0;
}
