#include "textconv/TextConv.h"

#include <filesystem>
#include <memory>

#include "base/Exceptions.h"
#include "base/Strings.h"
#include "platform/TextCodec.h"
#include "text/TextStreams.h"
#include "text/WideFileStream.h"

namespace textconv {
namespace {

const char kUsageText[] =
    "usage: textconv IN OUT [--from CP|auto] [--to CP] [--bom]\n"
    "  CP: a Windows code page number (65001 UTF-8, 1200 UTF-16LE, 12000 UTF-32LE, 1251, 932, ...)\n"
    "  --from auto (default): a byte order mark decides, else the system code page\n"
    "  --to (default 65001); --bom writes the UTF-8 byte order mark\n";

// Arguments come as the platform gives them: UTF-8 bytes natively, the system code page
// on Windows (where std::filesystem names are UTF-16).
[[maybe_unused]] std::u16string WideArg(const std::string& arg, char) { return base::Utf8ToWide(arg); }
[[maybe_unused]] std::u16string WideArg(const std::string& arg, wchar_t) { return base::AnsiToWide(arg); }
std::u16string WideArg(const std::string& arg) { return WideArg(arg, std::filesystem::path::value_type()); }

bool ParseCodePage(const std::string& s, uint16_t& cp) {
  int32_t v;
  if (s.empty() || s[0] < '0' || s[0] > '9' || !base::TryStrToInt(s, v) || v < 0 || v > 65535) return false;
  cp = static_cast<uint16_t>(v);
  return true;
}

bool IsUnicode(uint16_t cp) {
  return cp == text::kCodePageUtf8 || cp == text::kCodePageUtf16 || cp == text::kCodePageUtf32;
}

// A code page the host cannot convert, found before any file is touched.
bool Convertible(uint16_t cp) { return IsUnicode(cp) || cp == 0 || platform::TextDecoder(cp).Error() == 0; }

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> files;
  uint16_t from = 0, to = text::kCodePageUtf8;
  bool bom = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      out << kUsageText;
      return kOk;
    }
    if (a == "--bom") {
      bom = true;
    } else if (a == "--from" || a == "--to") {
      if (i + 1 >= args.size()) {
        err << "textconv: " << a << " needs a code page\n" << kUsageText;
        return kUsage;
      }
      const std::string& v = args[++i];
      uint16_t cp;
      if (a == "--from" && v == "auto") {
        from = 0;
      } else if (!ParseCodePage(v, cp) || (a == "--to" && cp == 0)) {
        err << "textconv: " << a << ": not a code page number: " << v << "\n";
        return kUsage;
      } else {
        (a == "--from" ? from : to) = cp;
      }
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      err << "textconv: unknown option " << a << "\n" << kUsageText;
      return kUsage;
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) {
    err << kUsageText;
    return kUsage;
  }
  for (uint16_t cp : {from, to}) {
    if (!Convertible(cp)) {
      err << "textconv: code page " << cp << " cannot be converted on this system\n";
      return kCannotConvert;
    }
  }

  std::unique_ptr<text::TWideFileStream> inFile;
  try {
    inFile =
        std::make_unique<text::TWideFileStream>(WideArg(files[0]), platform::fmOpenRead | platform::fmShareDenyWrite);
  } catch (const base::Exception& e) {
    err << "textconv: " << e.Message() << "\n";
    return kCannotRead;
  }
  std::unique_ptr<text::TWideFileStream> outFile;
  try {
    outFile = std::make_unique<text::TWideFileStream>(WideArg(files[1]), text::fmCreateWide);
  } catch (const base::Exception& e) {
    err << "textconv: " << e.Message() << "\n";
    return kCannotWrite;
  }
  try {
    text::TRkTextStream reader(inFile.get(), from, 0, text::rkaRead);
    text::TRkTextStream writer(outFile.get(), to, bom ? text::rkfUtf8Mark : 0, text::rkaWrite);
    std::u16string buf(32768, u'\0');
    for (;;) {
      int32_t n = reader.Read(buf.data(), static_cast<int32_t>(buf.size() * 2));
      if (n <= 0) break;
      n &= ~1;  // an odd last byte of a UTF-16 file is no character
      if (n && writer.Write(buf.data(), n) != n) {
        err << "textconv: " << files[1] << ": write failed\n";
        return kCannotWrite;
      }
    }
  } catch (const text::ERkTextStream& e) {
    err << "textconv: " << e.Message() << "\n";
    return kCannotConvert;
  } catch (const base::Exception& e) {
    err << "textconv: " << e.Message() << "\n";
    return kCannotWrite;
  }
  return kOk;
}

}  // namespace textconv
