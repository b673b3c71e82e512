#include <windows.h>

#include <exception>

#include "base/Exceptions.h"
#include "launcher/Launcher.h"
#include "platform/Process.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // A fault in start-up (no window station, no window class) ends the launcher quietly
  // with a non-zero code instead of the runtime's abort.
  try {
    return launcher::RunLauncher();
  } catch (...) {
    platform::DebugOutput("OrbelleLauncher: " + base::ExceptionMessage(std::current_exception()));
    return 1;
  }
}
