#include "launcher/SplashForm.h"

#include "base/Format.h"
#include "base/Log.h"
#include "imaging/GdiplusObjects.h"
#include "launcher/ConfigRecord.h"
#include "launcher/LaunchRules.h"
#include "ui/Application.h"

namespace launcher {
namespace {
// Posted to itself by the create handler; runs once the message loop shows the form.
constexpr uint32_t WM_STARTMAINPROCESS = WM_USER + 0x101;
}  // namespace

TSplash::TSplash(ui::TApplication& owner) : TForm(owner) {
  // The form's design.
  BorderStyle = ui::TFormBorderStyle::bsNone;
  ClientWidth = 523;
  ClientHeight = 298;
  Color = ui::clBtnFace;
  Font.Name = "Tahoma";
  Font.Height = -11;
  Position = ui::TPosition::poScreenCenter;
  ShowHint = true;
  SetCaption("Tessaly Lumora");
  OnCreate = base::Method<&TSplash::SkinFormCreate>(this);
  OnDestroy = base::Method<&TSplash::SkinFormDestroy>(this);
  SetMessageHandler(WM_HIDESPLASH, base::Method<&TSplash::WMHideSplash>(this));
  SetMessageHandler(WM_STARTMAINPROCESS, base::Method<&TSplash::WMStartMainProcess>(this));

  FHoistgateLib = LoadLibraryA("Hoistgate.dll");
  if (FHoistgateLib) FCreateProcessWithExplorer = GetProcAddress(FHoistgateLib, "CreateProcessWithExplorer");

  // Creates the window handle.
  LONG exStyle = GetWindowLongA(Handle(), GWL_EXSTYLE);
  SetWindowLongA(Handle(), GWL_EXSTYLE, exStyle | WS_EX_LAYERED);

  LoadSplashPicture();
}

TSplash::~TSplash() {
  if (FHoistgateLib) FreeLibrary(FHoistgateLib);
}

void TSplash::LoadSplashPicture() {
  ui::TBitmap bitmap;
  // Any failure leaves the layered window without content, so it stays invisible; the
  // launcher's work goes on regardless.
  try {
    FDefLanguage = ConfigRecord().ReadConfigString("System", "DefLanguage", "ENG");
    base::WideString path = base::ExtractFilePath(Owner().ExeName()) + u"Skin\\splash.png";
    DWORD attributes = GetFileAttributesW(reinterpret_cast<const WCHAR*>(path.c_str()));
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      imaging::TGPBitmap picture(path, false);
      bitmap.SetHandle(picture.GetHBITMAP(0x00000000));
      DrawVersionText(bitmap);
      RECT r{};
      GetWindowRect(Handle(), &r);
      ShowLayeredBitmap(bitmap, POINT{r.left, r.top});
    }
  } catch (...) {
  }
}

void TSplash::DrawVersionText(ui::TBitmap& bitmap) {
  imaging::TGPGraphics graphics(bitmap.Canvas().Handle());
  const TSplashText& row = SplashTextTable[SelectSplashTextRow(FDefLanguage)];
  base::AnsiString version = base::Format(row.VersionFormat, GetFileVersionString(Owner().ExeName()));
  graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
  imaging::TGPFontFamily family(base::AnsiToWide(Font.Name));
  imaging::TGPFont font(family, 8.5f, Gdiplus::FontStyleRegular, Gdiplus::UnitPoint);
  imaging::TGPSolidBrush white(0xFFFFFFFF);
  graphics.DrawString(base::AnsiToWide(version), font, Gdiplus::RectF(260, 190, 0, 0), nullptr, white);
  imaging::TGPSolidBrush black(0xFF000000);
  graphics.DrawString(base::AnsiToWide(row.Notice), font, Gdiplus::RectF(30, 245, 0, 0), nullptr, black);
}

void TSplash::ShowLayeredBitmap(ui::TBitmap& bitmap, POINT point) {
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  SIZE size{bitmap.Width(), bitmap.Height()};
  POINT source{0, 0};
  HDC screen = GetDC(nullptr);
  BOOL ok =
      UpdateLayeredWindow(Handle(), screen, &point, &size, bitmap.Canvas().Handle(), &source, 0, &blend, ULW_ALPHA);
  ReleaseDC(nullptr, screen);
  FLayeredContent = ok != FALSE;
}

void TSplash::SkinFormCreate(base::TObject*) {
  base::WriteLog("[Splash]==================== Start");
  FCurrVision = ConfigRecord().ReadConfigString("System", "PackageVision", "0.0.0.0");
  FMainProcess = ConfigRecord().ReadConfigString("System", "AppExeName", "");
  StartWorkflow();
}

void TSplash::SkinFormDestroy(base::TObject*) {
  if (FHoistgateLib) FreeLibrary(FHoistgateLib);
  FHoistgateLib = nullptr;
  FCreateProcessWithExplorer = nullptr;
}

void TSplash::StartWorkflow() { PostMessageA(Handle(), WM_STARTMAINPROCESS, 0, 0); }

void TSplash::WMStartMainProcess(ui::TMessage&) {
  RunMainProcess(base::WideToAnsi(base::ExtractFilePath(Owner().ExeName())) + FMainProcess);
}

void TSplash::WMHideSplash(ui::TMessage&) { Hide(); }

}  // namespace launcher
