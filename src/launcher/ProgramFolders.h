// The two folders the launcher works in. Both end in a backslash.
#pragma once

#include "base/Strings.h"

namespace launcher {

// Directory of the running executable (see ProgramDirFromModulePath).
base::WideString GetProgramDir();
// Common application data + "Norvale Orbelle" + "\", the folder created when missing
// (failures ignored). When the system folder is unknown the result is "\".
base::WideString GetCommonDataDir();

// Product data folder + "UpdateJournal.txt": the journal of an update that replaces
// program files (see package/StagedInstall.h).
base::AnsiString GetUpdateJournalPath();

}  // namespace launcher
