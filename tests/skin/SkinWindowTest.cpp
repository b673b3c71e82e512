// Windows only, on an X display: the skin unit's start-up and shutdown (atom, pixels per
// inch, the animator thread's message window, the hint window class), animator
// notifications that arrive through the GUI thread's message loop, and the skinned hint
// window's placement, animation rules and title-bar rules.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "base/Thread.h"
#include "platform/Clock.h"
#include "platform/Thread.h"
#include "skin/SkinAnimator.h"
#include "skin/SkinHintWindow.h"
#include "skin/SkinSupport.h"
#include "ui/Application.h"

using namespace skin;

namespace {

// Dispatches this thread's messages until pred holds or ms pass; true when pred held.
template <class P>
bool PumpUntil(P pred, uint32_t ms) {
  uint32_t start = platform::TickCount();
  while (!pred()) {
    if (platform::TickCount() - start > ms) return false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    platform::SleepMs(5);
  }
  return true;
}

class TFrameAnimator : public TSkinAnimator {
 public:
  ~TFrameAnimator() override { Stop(); }
  void Step() override { Changed = true; }
};

struct TSeen {
  std::atomic<int> Calls{0};
  std::atomic<bool> OffMainThread{false};
};
void Seen(void* context, TSkinAnimator*) {
  auto* seen = static_cast<TSeen*>(context);
  if (!base::IsMainThread()) seen->OffMainThread = true;
  ++seen->Calls;
}

int ScreenDpi() {
  HDC dc = GetDC(nullptr);
  int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return dpi;
}

}  // namespace

TEST(SkinUnit, StartUpInstallsAndShutdownRemovesThePlatformParts) {
  ASSERT_EQ(GlobalFindAtomA("QZ_HOOK_WNDPROP"), 0);
  InitSkinEngineUnit();
  InitSkinEngineUnit();  // a second start-up adds nothing
  ASSERT_TRUE(SkinEngine());
  EXPECT_EQ(SkinEngine()->PixelsPerInch, ScreenDpi());
  EXPECT_NE(SkinHookAtom(), 0);
  EXPECT_EQ(GlobalFindAtomA("QZ_HOOK_WNDPROP"), SkinHookAtom());
  EXPECT_TRUE(FindWindowExA(HWND_MESSAGE, nullptr, "TSkinAnimatorWindow", nullptr));
  EXPECT_EQ(ui::Application().HintWindowClass(), &QZHintWindowClass);
  ui::Application().ActivateHint(POINT{100, 100}, "start-up");
  ASSERT_TRUE(ui::Application().HintWindow());
  EXPECT_STREQ(ui::Application().HintWindow()->ClassName(), "TQZHintWindow");

  DoneSkinEngineUnit();
  EXPECT_EQ(GlobalFindAtomA("QZ_HOOK_WNDPROP"), 0);
  EXPECT_FALSE(FindWindowExA(HWND_MESSAGE, nullptr, "TSkinAnimatorWindow", nullptr));
  EXPECT_EQ(ui::Application().HintWindowClass(), &ui::DefaultHintWindowClass);
  EXPECT_EQ(ui::Application().HintWindow(), nullptr);  // the skinned hint went with its unit
}

TEST(SkinUnit, AnimatorNotificationsArriveThroughTheMessageLoopOnly) {
  InitSkinEngineUnit();
  TSeen seenA, seenB;
  TFrameAnimator a, b;
  a.OnChange = {&Seen, &seenA};
  b.OnChange = {&Seen, &seenB};
  a.SetActive(true);
  b.SetActive(true);
  ASSERT_TRUE(SkinAnimatorThread());
  // Ticks go on, but without a message loop no handler runs anywhere.
  platform::SleepMs(200);
  EXPECT_EQ(seenA.Calls, 0);
  EXPECT_TRUE(SkinAnimatorThread()->List().Dirty);
  EXPECT_TRUE(PumpUntil([&] { return seenA.Calls >= 3 && seenB.Calls >= 3; }, 5000));
  EXPECT_FALSE(seenA.OffMainThread);
  EXPECT_FALSE(seenB.OffMainThread);

  // 2024 names one animator; the GUI thread runs that one's handler only.
  b.SetActive(false);
  PumpUntil([] { return false; }, 60);
  int aCalls = seenA.Calls, bCalls = seenB.Calls;
  a.SetActive(false);
  a.Changed = true;
  HWND window = FindWindowExA(HWND_MESSAGE, nullptr, "TSkinAnimatorWindow", nullptr);
  ASSERT_TRUE(window);
  a.SetActive(true);
  a.Changed = true;
  PostMessageA(window, WM_SKINANI_CHANGE, reinterpret_cast<WPARAM>(&a), 0);
  PostMessageA(window, WM_SKINANI_CHANGE, reinterpret_cast<WPARAM>(&b), 0);  // not registered: ignored
  EXPECT_TRUE(PumpUntil([&] { return seenA.Calls > aCalls; }, 2000));
  EXPECT_EQ(seenB.Calls, bCalls);

  // Shutdown stops the thread; messages still queued go with the window.
  DoneSkinEngineUnit();
  EXPECT_EQ(SkinAnimatorThread(), nullptr);
  aCalls = seenA.Calls;
  PumpUntil([] { return false; }, 60);
  EXPECT_EQ(seenA.Calls, aCalls);
}

// ---- the hint window's rules ----

TEST(HintRules, AnimationFollowsTimeTextAndSystemSettings) {
  const THintAnimationSettings slide{true, true, false}, fade{true, true, true}, off{true, false, false},
      none{false, true, true};
  EXPECT_EQ(HintAnimationFlags(251, 5, slide, 10, 50), static_cast<uint32_t>(AW_SLIDE | AW_VER_POSITIVE));
  EXPECT_EQ(HintAnimationFlags(250, 5, slide, 10, 50), 0u) << "re-shown within 250 ms";
  EXPECT_EQ(HintAnimationFlags(0, 5, fade, 10, 50), 0u);
  EXPECT_EQ(HintAnimationFlags(251, 99, fade, 10, 50), static_cast<uint32_t>(AW_SLIDE | AW_BLEND));
  EXPECT_EQ(HintAnimationFlags(251, 100, fade, 10, 50), 0u) << "100 characters never animate";
  EXPECT_EQ(HintAnimationFlags(100000, 1000, slide, 10, 50), 0u);
  EXPECT_EQ(HintAnimationFlags(1000, 5, off, 10, 50), 0u);
  EXPECT_EQ(HintAnimationFlags(1000, 5, none, 10, 50), 0u) << "no AnimateWindow on this system";
  // The slide goes away from the cursor: down from a cursor at or above the top, up
  // from one below it.
  EXPECT_EQ(HintAnimationFlags(1000, 5, slide, 50, 50), static_cast<uint32_t>(AW_SLIDE | AW_VER_POSITIVE));
  EXPECT_EQ(HintAnimationFlags(1000, 5, slide, 51, 50), static_cast<uint32_t>(AW_SLIDE | AW_VER_NEGATIVE));
}

TEST(HintRules, PlacementStaysOnTheDesktop) {
  const RECT desk{0, 0, 1280, 1024};
  auto at = [](const RECT& bounds, const RECT& desktop) {
    POINT p = ClampHintToDesktop(bounds, desktop);
    return std::to_string(p.x) + "," + std::to_string(p.y);
  };
  EXPECT_EQ(at({100, 100, 200, 120}, desk), "100,100");
  EXPECT_EQ(at({100, 1010, 200, 1034}, desk), "100,1000") << "bottom touches the desktop's bottom";
  EXPECT_EQ(at({100, 1000, 200, 1024}, desk), "100,1000") << "touching already";
  EXPECT_EQ(at({100, 1001, 200, 1025}, desk), "100,1000") << "one pixel below";
  EXPECT_EQ(at({1250, 100, 1350, 120}, desk), "1180,100");
  EXPECT_EQ(at({1250, 1020, 1350, 1040}, desk), "1180,1004") << "a corner moves both ways";
  EXPECT_EQ(at({-30, 100, 70, 120}, desk), "0,100");
  EXPECT_EQ(at({-30, 100, 1400, 120}, desk), "0,100") << "wider than the desktop: the left edge wins";
  EXPECT_EQ(at({10, 100, 110, 1200}, desk), "10,0") << "taller than the desktop: the top edge wins";
  // A second monitor left of and above the primary one: the desktop's edges are its
  // own, not its width and height counted from 0.
  const RECT two{-1920, -200, 1280, 1024};
  EXPECT_EQ(at({1250, 1010, 1350, 1034}, two), "1180,1000");
  EXPECT_EQ(at({-1950, -250, -1850, -230}, two), "-1920,-200");
  EXPECT_EQ(at({-500, 500, -400, 520}, two), "-500,500");
}

// ---- the hint window on the screen ----

namespace {

// The system's settings replaced by the test's.
class TTestHint : public TQZHintWindow {
 public:
  THintAnimationSettings Settings{true, true, false};
  bool FailSettings = false;

 protected:
  THintAnimationSettings AnimationSettings() override {
    if (FailSettings) throw std::runtime_error("settings unavailable");
    return Settings;
  }
};

RECT WindowRect(HWND wnd) {
  RECT r{};
  GetWindowRect(wnd, &r);
  return r;
}

// Sets one of the system's tooltip flags for this session and puts it back afterwards.
class TSystemFlag {
 public:
  TSystemFlag(UINT get, UINT set, bool value) : FSet(set) {
    SystemParametersInfoA(get, 0, &FOld, 0);
    SystemParametersInfoA(set, 0, reinterpret_cast<void*>(static_cast<intptr_t>(value)), 0);
  }
  ~TSystemFlag() { SystemParametersInfoA(FSet, 0, reinterpret_cast<void*>(static_cast<intptr_t>(FOld)), 0); }

 private:
  UINT FSet;
  BOOL FOld = FALSE;
};

}  // namespace

TEST(QZHintWindow, ReshowWithin250MsAndLongTextsShowWithoutAnimation) {
  TTestHint hint;
  SetCursorPos(5, 5);
  hint.ActivateHint(RECT{100, 100, 200, 120}, "first");
  EXPECT_EQ(hint.LastAnimation(), static_cast<uint32_t>(AW_SLIDE | AW_VER_POSITIVE)) << "a first hint animates";
  EXPECT_TRUE(hint.Visible());
  hint.Hide();
  hint.ActivateHint(RECT{100, 100, 200, 120}, "again at once");
  EXPECT_EQ(hint.LastAnimation(), 0u);
  hint.Hide();
  platform::SleepMs(300);
  hint.ActivateHint(RECT{100, 100, 200, 120}, std::string(99, 'x'));
  EXPECT_NE(hint.LastAnimation(), 0u);
  hint.Hide();
  platform::SleepMs(300);
  hint.ActivateHint(RECT{100, 100, 200, 120}, std::string(100, 'x'));
  EXPECT_EQ(hint.LastAnimation(), 0u);
  EXPECT_TRUE(hint.Visible());
  hint.Hide();
  platform::SleepMs(300);
  hint.Settings.Fade = true;
  hint.ActivateHint(RECT{100, 100, 200, 120}, "fades");
  EXPECT_EQ(hint.LastAnimation(), static_cast<uint32_t>(AW_SLIDE | AW_BLEND));
  hint.Hide();
  platform::SleepMs(300);
  hint.Settings.Fade = false;
  SetCursorPos(150, 400);  // below the hint: it slides up, away from the cursor
  hint.ActivateHint(RECT{100, 100, 200, 120}, "slides up");
  EXPECT_EQ(hint.LastAnimation(), static_cast<uint32_t>(AW_SLIDE | AW_VER_NEGATIVE));
}

TEST(QZHintWindow, ShowsTopmostUnactivatedAndMovesUpToTheDesktopBottom) {
  TTestHint hint;
  RECT desk = DesktopRect();
  ASSERT_GT(desk.bottom - desk.top, 100);
  hint.ActivateHint(RECT{200, desk.bottom - 10, 320, desk.bottom + 10}, "near the bottom");
  HWND wnd = hint.Handle();
  RECT r = WindowRect(wnd);
  EXPECT_EQ(r.bottom, desk.bottom);
  EXPECT_EQ(r.bottom - r.top, 24) << "the rectangle is taken 4 pixels taller";
  EXPECT_EQ(r.left, 200);
  EXPECT_EQ(r.right - r.left, 120);
  EXPECT_TRUE(IsWindowVisible(wnd));
  EXPECT_TRUE(GetWindowLongA(wnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_NE(GetForegroundWindow(), wnd);
  EXPECT_NE(GetActiveWindow(), wnd);
  EXPECT_EQ(GetWindow(wnd, GW_OWNER), nullptr);

  hint.ActivateHint(RECT{desk.right - 50, 300, desk.right + 50, 320}, "near the right edge");
  r = WindowRect(wnd);
  EXPECT_EQ(r.right, desk.right);
  EXPECT_EQ(r.top, 300);
}

TEST(QZHintWindow, SizesByItsTextOnlyOutsideActivateHint) {
  TTestHint hint;
  hint.SetCaption("a caption");
  SIZE text = hint.TextExtent("a caption");
  ASSERT_GT(text.cx, 0);
  EXPECT_EQ(hint.Width(), text.cx + 6);
  EXPECT_EQ(hint.Height(), text.cy + 4);
  hint.ActivateHint(RECT{50, 60, 450, 90}, "another, much shorter");
  EXPECT_EQ(hint.Width(), 400);
  EXPECT_EQ(hint.Height(), 34);
  EXPECT_FALSE(hint.Activating());
}

TEST(QZHintWindow, AFailureWhileShowingStillRecordsTheTime) {
  TTestHint hint;
  hint.FailSettings = true;
  uint32_t before = GetTickCount();
  EXPECT_THROW(hint.ActivateHint(RECT{10, 10, 60, 30}, "fails"), std::runtime_error);
  EXPECT_FALSE(hint.Activating());
  EXPECT_LT(hint.LastShown() - before, 1000u) << "taken after the failure";
  // The failed show counts as shown: an immediate retry does not animate.
  hint.FailSettings = false;
  hint.ActivateHint(RECT{10, 10, 60, 30}, "works");
  EXPECT_EQ(hint.LastAnimation(), 0u);
  hint.SetCaption("resizes again");
  EXPECT_EQ(hint.Width(), hint.TextExtent("resizes again").cx + 6);
}

TEST(QZHintWindow, SystemTooltipSettingsAreRead) {
  {
    TSystemFlag animation(SPI_GETTOOLTIPANIMATION, SPI_SETTOOLTIPANIMATION, true);
    TSystemFlag fade(SPI_GETTOOLTIPFADE, SPI_SETTOOLTIPFADE, true);
    THintAnimationSettings s = SystemHintAnimationSettings();
    EXPECT_TRUE(s.CanAnimate);
    EXPECT_TRUE(s.Animation);
    EXPECT_TRUE(s.Fade);
    TQZHintWindow hint;
    hint.ActivateHint(RECT{10, 10, 60, 30}, "system");
    EXPECT_EQ(hint.LastAnimation(), static_cast<uint32_t>(AW_SLIDE | AW_BLEND));
  }
  {
    TSystemFlag animation(SPI_GETTOOLTIPANIMATION, SPI_SETTOOLTIPANIMATION, false);
    TSystemFlag fade(SPI_GETTOOLTIPFADE, SPI_SETTOOLTIPFADE, true);
    EXPECT_FALSE(SystemHintAnimationSettings().Animation);
    TQZHintWindow hint;
    hint.ActivateHint(RECT{10, 10, 60, 30}, "system");
    EXPECT_EQ(hint.LastAnimation(), 0u);
  }
}

namespace {

class TTitleBarForm : public ui::TForm {
 public:
  explicit TTitleBarForm(ui::TApplication& owner) : TForm(owner) {
    SetCaption("title bar");
    // Clicks on the frame are taken here: the default handling would start moving the
    // window and wait for the button to go up.
    SetMessageHandler(WM_NCLBUTTONDOWN, base::Method<&TTitleBarForm::Clicked>(this));
  }
  const char* ClassName() const override { return "TTitleBarTestForm"; }
  void Clicked(ui::TMessage& m) {
    ++Clicks;
    m.Result = 0;
  }
  int Clicks = 0;
};

MSG Msg(UINT message) {
  MSG m{};
  m.message = message;
  return m;
}

}  // namespace

TEST(QZHintWindow, TitleBarMovesKeepTheHintAndClicksEndIt) {
  TQZHintWindow skinned;
  ui::THintWindow plain;
  EXPECT_FALSE(skinned.IsHintMsg(Msg(WM_NCMOUSEMOVE)));
  EXPECT_TRUE(plain.IsHintMsg(Msg(WM_NCMOUSEMOVE))) << "the framework's own hint goes on any frame move";
  for (UINT m = WM_NCLBUTTONDOWN; m <= 172; ++m) EXPECT_TRUE(skinned.IsHintMsg(Msg(m))) << m;
  EXPECT_FALSE(skinned.IsHintMsg(Msg(WM_MOUSEMOVE)));
  EXPECT_FALSE(skinned.IsHintMsg(Msg(WM_PAINT)));
  EXPECT_TRUE(skinned.IsHintMsg(Msg(WM_LBUTTONDOWN)));
  EXPECT_TRUE(skinned.IsHintMsg(Msg(WM_KEYDOWN)));

  // Through the application's message loop.
  InitSkinEngineUnit();
  ui::TApplication& app = ui::Application();
  app.Initialize();
  auto* form = app.CreateForm<TTitleBarForm>();
  HWND wnd = form->Handle();
  form->Show();
  app.ActivateHint(POINT{300, 300}, "over the title bar");
  ui::THintWindow* hint = app.HintWindow();
  ASSERT_TRUE(hint);
  ASSERT_TRUE(hint->Visible());
  PostMessageA(wnd, WM_NCMOUSEMOVE, HTCAPTION, MAKELPARAM(310, 310));
  PostMessageA(wnd, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  app.ProcessMessages();
  EXPECT_TRUE(hint->Visible()) << "moving over the title bar keeps the hint";
  PostMessageA(wnd, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(310, 310));
  app.ProcessMessages();
  EXPECT_EQ(form->Clicks, 1);
  EXPECT_FALSE(hint->Visible()) << "a click on the title bar ends it";

  app.ActivateHint(POINT{300, 300}, "a key ends it");
  PostMessageA(wnd, WM_KEYDOWN, 'A', 0);
  app.ProcessMessages();
  EXPECT_FALSE(hint->Visible());
  form->Hide();
  DoneSkinEngineUnit();
}
