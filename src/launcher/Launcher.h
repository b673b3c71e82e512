// The launcher's program entry: start the log, set up the process-wide values, keep a
// second launcher from doing any work, otherwise run the splash form until it closes.
#pragma once

namespace launcher {

// Returns the process exit code.
int RunLauncher();

// Looks for the running main program's window ("TMainForm", "Norvale Orbelle"): restores
// it when minimised, otherwise sends it 3497 (1, 0) and brings it to the foreground.
// False when no such window exists.
bool ActivateRunningMainWindow();

// Finishes or undoes an update whose launcher died half-way (from the update journal in
// the product data folder) and records the version of one that was completed. Logs
// which. Needs the log and the configuration record.
void RecoverUpdate();

}  // namespace launcher
