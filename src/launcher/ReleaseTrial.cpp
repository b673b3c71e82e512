#include "launcher/ReleaseTrial.h"

#include "base/Format.h"
#include "base/Log.h"
#include "launcher/ConfigRecord.h"
#include "launcher/UpdateRules.h"
#include "offer/SignedConfig.h"

namespace launcher {
namespace {

void Log(const std::string& message) { base::WriteLog("[Splash]==================== " + message); }

bool Write(const char* key, const std::string& value) {
  try {
    ConfigRecord().WriteConfigString("System", key, value);
    return true;
  } catch (const base::Exception& e) {
    Log(base::Format("%s Failed:= %s", key, e.Message()));
    return false;
  }
}

}  // namespace

TTrialRecord ReadTrialRecord() {
  TTrialRecord t;
  t.Vision = base::Trim(ConfigRecord().ReadConfigString("System", "TrialVision", ""));
  t.Previous = base::Trim(ConfigRecord().ReadConfigString("System", "TrialPreviousVision", ""));
  if (!offer::ParseHealthySeconds(base::Trim(ConfigRecord().ReadConfigString("System", "TrialSeconds", "")), t.Seconds))
    t.Seconds = offer::kDefaultHealthySeconds;
  return t;
}

bool WriteTrialRecord(const TTrialRecord& trial) {
  // The version last: a record without it is no trial.
  return Write("TrialPreviousVision", trial.Previous) && Write("TrialSeconds", std::to_string(trial.Seconds)) &&
         Write("TrialVision", trial.Vision);
}

void ClearTrialRecord() {
  if (ReadTrialRecord().Vision.empty()) return;
  Write("TrialVision", "");
  Write("TrialPreviousVision", "");
  Write("TrialSeconds", "");
}

void RecordRollback(const std::string& version, const std::string& previous) {
  std::string bad = ConfigRecord().ReadConfigString("System", "BadVisions", "");
  std::string more = AddBadVision(bad, version);
  if (more != bad) Write("BadVisions", more);
  if (!previous.empty()) Write("PackageVision", previous);
}

bool SettleTrial(const package::TRecoveryReport& recovery, const std::string& programDir,
                 const std::string& journalFile) {
  TTrialRecord trial = ReadTrialRecord();
  bool ours = !trial.Vision.empty() && trial.Vision == recovery.Version;
  switch (recovery.Outcome) {
    case package::TRecoveryOutcome::roRolledBack:
      if (ours) RecordRollback(trial.Vision, trial.Previous);
      break;
    case package::TRecoveryOutcome::roTrial:
      if (!ours) {
        // Without its record nobody can judge or roll back the release: it stays.
        package::CompleteInstall(programDir, journalFile);
        break;
      }
      if (IsBadVision(ConfigRecord().ReadConfigString("System", "BadVisions", ""), trial.Vision)) {
        // The rollback was decided and recorded (perhaps only in part); the launcher died
        // before it began.
        RecordRollback(trial.Vision, trial.Previous);
        if (package::RollBackInstall(programDir, journalFile).Outcome != package::TRecoveryOutcome::roRolledBack)
          return false;  // the journal stays for the next start; nothing is on trial now
        Log("UpdateRecovery:= rollback completed, the installed files are the old ones (" + trial.Vision + ")");
        break;
      }
      return true;
    case package::TRecoveryOutcome::roFailed: return false;  // the journal stays as it was, and so do the keys
    default: break;
  }
  // The trial has ended either way (passed, rolled back, or its journal is gone).
  ClearTrialRecord();
  return false;
}

}  // namespace launcher
