// The two folders the launcher works in. Both end in a backslash.
#pragma once

#include "base/Strings.h"

namespace launcher {

// Directory of the running executable (see ProgramDirFromModulePath).
base::WideString GetProgramDir();
// Common application data + "Norvale Orbelle" + "\", the folder created when missing
// (failures ignored). When the system folder is unknown the result is "\".
base::WideString GetCommonDataDir();

// Program directory + package::kJournalFileName: the journal of an update that replaces
// program files (see package/StagedInstall.h). It lives beside what it moves, where only
// those who may change the program files can write.
base::AnsiString GetUpdateJournalPath();
// Product data folder + "UpdateJournal.txt", where earlier launchers kept the journal. Any
// user may create files there, so what is found there is never trusted as a journal of
// this program folder (package::RecoverForeignJournal).
base::AnsiString GetLegacyUpdateJournalPath();

}  // namespace launcher
