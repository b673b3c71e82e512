// TSplash::RunMainProcess: the end of every path of the launcher's work, and the judge of
// a release on trial.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include "base/Format.h"
#include "base/Log.h"
#include "launcher/ProgramFolders.h"
#include "launcher/SplashForm.h"
#include "package/StagedInstall.h"
#include "ui/Application.h"

namespace launcher {
namespace {

void Log(const base::AnsiString& message) { base::WriteLog("[Splash]==================== " + message); }

}  // namespace

bool TSplash::RunMainProcess(const base::AnsiString& path) {
  EndProgress();  // the update's work is over: the main program sees no stale bar
  // Without a program name the path is the program folder, which the shell would open in
  // a file window; a folder is no main program either. A release on trial stays on
  // trial: this says nothing about it.
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (base::Trim(FMainProcess).empty() ||
      (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))) {
    Log(base::Format("AppExeName Invalid,No MainProcess:= %s", FMainProcess));
    Close();
    return false;
  }
  TMainRun run = StartMainProcess(path, FTrial);
  if (FTrial && run.Health == TStartHealth::shFailed) {
    RollBack(run);
    // The previous version, once; it is not judged.
    run = StartMainProcess(path, false);
  }
  Close();
  return run.Waited;
}

TSplash::TMainRun TSplash::StartMainProcess(const base::AnsiString& path, bool judge) {
  Log(base::Format("APath:= %s", path));
  // The text says "Runas" but the start has no verb and so no elevation.
  Log("Runas:= ShellExecuteEx");
  base::AnsiString parameters = "1 " + base::IntToStr(static_cast<int64_t>(reinterpret_cast<uintptr_t>(Handle())));
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.hwnd = nullptr;
  info.lpVerb = nullptr;
  info.lpFile = path.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = "";
  info.nShow = SW_SHOW;
  uint32_t started = GetTickCount();
  ShellExecuteExA(&info);
  TMainRun run;
  run.Started = info.hProcess != nullptr;
  if (run.Started) {
    Log("Runas:= ShellExecuteEx Successed");  // sic
    // No time limit: the launcher lives exactly as long as the main program, which is
    // what keeps the single-instance mutex held while the product runs.
    DWORD wait;
    while ((wait = WaitForSingleObject(info.hProcess, 100)) == WAIT_TIMEOUT) {
      Owner().ProcessMessages();
      if (judge &&
          JudgeStart(true, false, 0, GetTickCount() - started, FTrialRecord.Seconds) == TStartHealth::shHealthy) {
        PassTrial();  // still running after its time: the backups go while it runs on
        judge = false;
      }
    }
    run.Waited = wait == WAIT_OBJECT_0;
    DWORD code = 0;
    if (run.Waited && GetExitCodeProcess(info.hProcess, &code)) run.ExitCode = code;
    CloseHandle(info.hProcess);
  }
  run.ElapsedMs = GetTickCount() - started;
  if (judge) {
    // A wait that failed tells nothing about the release: it stays on trial.
    run.Health = run.Started && !run.Waited
                     ? TStartHealth::shPending
                     : JudgeStart(run.Started, true, run.ExitCode, run.ElapsedMs, FTrialRecord.Seconds);
    if (run.Health == TStartHealth::shHealthy) PassTrial();
  }
  return run;
}

void TSplash::PassTrial() {
  FTrial = false;
  package::CompleteInstall(ExeDir(), GetUpdateJournalPath());
  ClearTrialRecord();
}

void TSplash::RollBack(const TMainRun& run) {
  FTrial = false;
  const TTrialRecord& t = FTrialRecord;
  Log(run.Started ? base::Format("Update Rollback:= %s ended with code %d after %d ms, back to %s", t.Vision,
                                 static_cast<int64_t>(run.ExitCode), static_cast<int64_t>(run.ElapsedMs), t.Previous)
                  : base::Format("Update Rollback:= %s could not be started, back to %s", t.Vision, t.Previous));
  // Recorded before the first file moves: a start after a kill finds the decision.
  RecordRollback(t.Vision, t.Previous);
  package::TRecoveryReport r = package::RollBackInstall(ExeDir(), GetUpdateJournalPath(),
                                                        TestPauseBeforeSecondMove("ORBELLE_TEST_ROLLBACK_PAUSE_MS"));
  // A rollback that could not finish stays in the journal for the next start, which
  // finishes it before anything else; the previous main program starts regardless.
  if (r.Outcome == package::TRecoveryOutcome::roRolledBack) ClearTrialRecord();
  FCurrVision = t.Previous;
}

}  // namespace launcher
