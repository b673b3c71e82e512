#include "launcher/ConfigRecord.h"

#include <windows.h>

#include <vector>

#include "base/Format.h"
#include "launcher/LaunchRules.h"

namespace launcher {
namespace {
std::unique_ptr<TConfigRecord> gConfig;
const WCHAR* W(const base::WideString& s) { return reinterpret_cast<const WCHAR*>(s.c_str()); }
}  // namespace

base::AnsiString TConfigRecord::ReadConfigString(const base::AnsiString& section, const base::AnsiString& key,
                                                 const base::AnsiString& defaultValue) const {
  char buffer[2048];
  DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer, sizeof buffer,
                                     base::WideToAnsi(FFileName).c_str());
  return base::AnsiString(buffer, n);
}

void TConfigRecord::WriteConfigString(const base::AnsiString& section, const base::AnsiString& key,
                                      const base::AnsiString& value) const {
  base::AnsiString file = base::WideToAnsi(FFileName);
  if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()))
    throw EIniFileException(base::Format("Unable to write to %s", file));
}

void TConfigRecord::FlushConfig() const {
  if (!FFileName.empty()) WritePrivateProfileStringW(nullptr, nullptr, nullptr, W(FFileName));
}

void SetConfigRecord(std::unique_ptr<TConfigRecord> record) { gConfig = std::move(record); }

TConfigRecord& ConfigRecord() {
  // Before start-up set one, reads fall back to their defaults through an unnamed file.
  if (!gConfig) gConfig = std::make_unique<TConfigRecord>(base::WideString());
  return *gConfig;
}

void ReleaseConfigRecord() {
  if (gConfig) gConfig->FlushConfig();
  gConfig.reset();
}

base::AnsiString GetFileVersionString(const base::WideString& fileName) {
  DWORD ms = 0, ls = 0;
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(W(fileName), &handle);
  if (size != 0) {
    std::vector<char> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    if (GetFileVersionInfoW(W(fileName), 0, size, block.data()) &&
        VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &len) && info &&
        len >= sizeof(VS_FIXEDFILEINFO)) {
      ms = info->dwFileVersionMS;
      ls = info->dwFileVersionLS;
    }
  }
  return FormatFileVersion(ms, ls);
}

}  // namespace launcher
