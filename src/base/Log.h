// WriteLog: the one entry for diagnostic lines of the launcher's road. The line goes to
// the installed sink (the launcher installs one that hands it, as UTF-16, to the
// product's logging library); without a sink it goes to the debug output. Logging never
// fails and never changes what the caller does.
#pragma once

#include <string>

#include "base/Object.h"

namespace base {

using TLogSink = TClosure<const std::string& /*line*/>;

// Installs the sink (an empty closure restores the debug output). Thread-safe.
void SetLogSink(TLogSink sink);
// Writes one line (8-bit text in the system code page).
void WriteLog(const std::string& line);

}  // namespace base
