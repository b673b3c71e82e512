// The trial of a freshly installed release, kept in Orbelle.ini [System] beside the
// update journal's "Trial" state: TrialVision (the version on trial), TrialPreviousVision
// (the one it replaced) and TrialSeconds (how long its main program must run to count as
// healthy). Versions that failed their start are listed in BadVisions (UpdateRules.h).
//
// The journal says what the files are; these keys say what to record about them. They
// are written before the journal enters its trial and cleared only after it has left
// it, and a rollback is recorded (BadVisions, PackageVision) before its first file moves,
// so a launcher killed at any point leaves the next start enough to settle both
// (SettleTrial). Main thread; every write failure is logged, never raised.
#pragma once

#include <cstdint>
#include <string>

#include "package/StagedInstall.h"

namespace launcher {

struct TTrialRecord {
  std::string Vision;    // empty: no release is on trial
  std::string Previous;  // the version to record again after a rollback
  int64_t Seconds = 10;
};

TTrialRecord ReadTrialRecord();
// False when Orbelle.ini cannot be written (the release then goes without a trial).
bool WriteTrialRecord(const TTrialRecord& trial);
void ClearTrialRecord();

// The release version failed its start: BadVisions gains it and PackageVision becomes
// previous again (when known).
void RecordRollback(const std::string& version, const std::string& previous);

// The start's side, after the journal's recovery: a rollback that a kill cut short is
// recorded, a trial whose rollback was decided is rolled back, a trial nobody can judge
// any more (its keys are gone) is completed, and keys of a trial that has ended are
// cleared. True when a release is still on trial: the main program's start judges it.
bool SettleTrial(const package::TRecoveryReport& recovery, const std::string& programDir,
                 const std::string& journalFile);

}  // namespace launcher
