// TSplash: the launcher's only window and the application's main form. A borderless
// layered window showing Skin\splash.png with the launcher's version and a notice drawn
// on it. Its create handler starts the launcher's work; once the main program has been
// started and has ended the form closes, which ends the message loop. Main thread only.
#pragma once

#include <windows.h>

#include "base/Strings.h"
#include "ui/Bitmap.h"
#include "ui/Form.h"

namespace launcher {

// Sent by the main program to the handle on its command line: hides the splash.
constexpr uint32_t WM_HIDESPLASH = 3025;

class TSplash : public ui::TForm {
 public:
  explicit TSplash(ui::TApplication& owner);
  ~TSplash() override;
  const char* ClassName() const override { return "TSplash"; }

  // Starts the main program (path = program directory + AppExeName) with "1 " and this
  // window's handle, waits for it while keeping the messages flowing, then closes the
  // form. True when the program was started and waited for to its end.
  bool RunMainProcess(const base::AnsiString& path);

  // The text row chosen by DefLanguage (for tests of the setting).
  const base::AnsiString& DefLanguage() const { return FDefLanguage; }
  bool HasLayeredContent() const { return FLayeredContent; }

 protected:
  void SkinFormCreate(base::TObject* sender);
  void SkinFormDestroy(base::TObject* sender);
  void DrawVersionText(ui::TBitmap& bitmap);
  void ShowLayeredBitmap(ui::TBitmap& bitmap, POINT point);

 private:
  // Where the update check goes; until then the main program is started once the
  // message loop runs, the way a finished check would start it.
  void StartWorkflow();
  void WMHideSplash(ui::TMessage& message);
  void WMStartMainProcess(ui::TMessage& message);
  void LoadSplashPicture();

  base::AnsiString FCurrVision;
  base::AnsiString FMainProcess;
  HMODULE FHoistgateLib = nullptr;
  FARPROC FCreateProcessWithExplorer = nullptr;
  base::AnsiString FDefLanguage;
  bool FLayeredContent = false;
};

}  // namespace launcher
