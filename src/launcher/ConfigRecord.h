// TConfigRecord: one INI file read and written through the system's private-profile
// functions, without any cache of its own, so a value written through one record is
// read back through any other record of the same file. Reads never fail (defaults);
// a failed write raises. Main thread.
#pragma once

#include <memory>

#include "base/Exceptions.h"
#include "base/Strings.h"

namespace launcher {

class EIniFileException : public base::Exception {
 public:
  using Exception::Exception;
};

class TConfigRecord {
 public:
  explicit TConfigRecord(base::WideString fileName) : FFileName(std::move(fileName)) {}
  const base::WideString& FileName() const { return FFileName; }

  // The value, cut at 2047 characters; the default when file, section or key is missing.
  base::AnsiString ReadConfigString(const base::AnsiString& section, const base::AnsiString& key,
                                    const base::AnsiString& defaultValue) const;
  // Raises EIniFileException "Unable to write to %s" (the file name) on failure.
  void WriteConfigString(const base::AnsiString& section, const base::AnsiString& key,
                         const base::AnsiString& value) const;
  // Makes the system write its cached copy of the file to disk.
  void FlushConfig() const;

 private:
  base::WideString FFileName;
};

// The process-wide record for Orbelle.ini: set once at start-up, flushed and released
// at the end of the process.
void SetConfigRecord(std::unique_ptr<TConfigRecord> record);
TConfigRecord& ConfigRecord();
void ReleaseConfigRecord();

// "%d.%d.%d" of the file version of an executable; "0.0.0" without a version resource.
base::AnsiString GetFileVersionString(const base::WideString& fileName);

}  // namespace launcher
