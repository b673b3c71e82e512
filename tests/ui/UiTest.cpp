// The window framework: message loop and Synchronize wake-up, dispatch by number,
// exceptions in handlers, pending messages, GDI bitmaps, message windows, hint windows.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "base/Exceptions.h"
#include "base/Thread.h"
#include "platform/Clock.h"
#include "platform/Thread.h"
#include "ui/Application.h"
#include "ui/Bitmap.h"
#include "ui/Form.h"
#include "ui/HintWindow.h"
#include "ui/MessageWindow.h"

using namespace ui;

namespace {

class TTestForm : public TForm {
 public:
  explicit TTestForm(TApplication& owner) : TForm(owner) {
    SetCaption("framework test");
    SetMessageHandler(3025, base::Method<&TTestForm::Count>(this));
  }
  const char* ClassName() const override { return "TFrameworkTestForm"; }
  void Count(TMessage& m) {
    ++Received;
    LastWParam = m.WParam;
    LastLParam = m.LParam;
    m.Result = 77;
  }
  int Received = 0;
  WPARAM LastWParam = 0;
  LPARAM LastLParam = 0;
};

// A worker that, after a pause, closes the main form through Synchronize.
class TCloser : public base::TThread {
 public:
  explicit TCloser(TForm* form) : TThread(true), FForm(form) {}
  uint32_t RanOnThread = 0;

 protected:
  void Execute() override {
    platform::SleepMs(100);
    Synchronize([this] {
      RanOnThread = platform::CurrentThreadId();
      FForm->Close();
    });
  }

 private:
  TForm* FForm;
};

bool gTimedOut = false;
void CALLBACK Watchdog(HWND, UINT, UINT_PTR, DWORD) {
  gTimedOut = true;
  PostQuitMessage(1);
}

}  // namespace

TEST(Application, RunWakesForSynchronizeAndEndsWhenTheMainFormCloses) {
  TApplication app;
  app.Initialize();
  auto* form = app.CreateForm<TTestForm>();
  EXPECT_EQ(app.MainForm(), form);
  std::unique_ptr<TCloser, base::TThreadDeleter> worker(new TCloser(form));
  worker->Start();
  // A watchdog ends a hung loop after 10 s so the test fails instead of hanging.
  gTimedOut = false;
  UINT_PTR watchdog = SetTimer(nullptr, 0, 10000, &Watchdog);
  uint32_t t0 = platform::TickCount();
  app.Run();
  KillTimer(nullptr, watchdog);
  EXPECT_FALSE(gTimedOut);
  EXPECT_LT(platform::TickCount() - t0, 5000u);
  EXPECT_EQ(worker->RanOnThread, platform::CurrentThreadId()) << "the call ran on the loop's thread";
  EXPECT_TRUE(app.Terminated());
  EXPECT_TRUE(form->Visible()) << "the main form stays until the application releases it";
}

TEST(Form, DispatchesByNumberAndFallsBackToTheDefault) {
  TApplication app;
  app.Initialize();
  auto* form = app.CreateForm<TTestForm>();
  EXPECT_EQ(SendMessageA(form->Handle(), 3025, 7, 9), 77);
  EXPECT_EQ(form->Received, 1);
  EXPECT_EQ(form->LastWParam, 7u);
  EXPECT_EQ(form->LastLParam, 9);
  char text[64] = {};
  EXPECT_EQ(SendMessageA(form->Handle(), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text)), 14);
  EXPECT_STREQ(text, "framework test");
  char cls[64] = {};
  GetClassNameA(form->Handle(), cls, sizeof cls);
  EXPECT_STREQ(cls, "TFrameworkTestForm");

  for (int i = 0; i < 3; ++i) PostMessageA(form->Handle(), 3025, i, 0);
  app.ProcessMessages();
  EXPECT_EQ(form->Received, 4);
  EXPECT_EQ(form->LastWParam, 2u);
  EXPECT_FALSE(app.Terminated());
}

TEST(Form, ExceptionInAHandlerGoesToTheApplication) {
  TApplication app;
  app.Initialize();
  std::string seen;
  app.OnException = {[](void* ctx, base::TObject*, const std::exception_ptr& e) {
                       *static_cast<std::string*>(ctx) = base::ExceptionMessage(e);
                     },
                     &seen};
  auto* form = app.CreateForm<TTestForm>();
  form->SetMessageHandler(3026, {[](void*, TMessage&) { throw base::Exception("boom"); }, nullptr});
  EXPECT_EQ(SendMessageA(form->Handle(), 3026, 0, 0), 0);
  EXPECT_EQ(seen, "boom");
}

TEST(Form, CreateAndDestroyEventsAndCentredShow) {
  static int created, destroyed;
  created = destroyed = 0;
  struct TEventForm : TForm {
    explicit TEventForm(TApplication& a) : TForm(a) {
      BorderStyle = TFormBorderStyle::bsNone;
      ClientWidth = 200;
      ClientHeight = 100;
      Position = TPosition::poScreenCenter;
      OnCreate = {[](void*, base::TObject*) { ++created; }, nullptr};
      OnDestroy = {[](void*, base::TObject*) { ++destroyed; }, nullptr};
    }
  };
  {
    TApplication app;
    app.Initialize();
    auto* form = app.CreateForm<TEventForm>();
    EXPECT_EQ(created, 1);
    form->Show();
    RECT r{};
    GetWindowRect(form->Handle(), &r);
    EXPECT_EQ(r.right - r.left, 200);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 200) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 100) / 2);
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);
}

TEST(Application, ReleaseFormsForExitLeavesTheWindowsCutOffFromTheReleasedForms) {
  static int destroyed;
  destroyed = 0;
  struct TExitForm : TTestForm {
    explicit TExitForm(TApplication& a) : TTestForm(a) {
      OnDestroy = {[](void*, base::TObject*) { ++destroyed; }, nullptr};
    }
  };
  TApplication app;
  app.Initialize();
  auto* form = app.CreateForm<TExitForm>();
  form->Show();
  HWND wnd = form->Handle();
  HWND appWnd = app.Handle();
  app.ReleaseFormsForExit();
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(app.MainForm(), nullptr);
  EXPECT_EQ(app.Handle(), nullptr);
  // Left as they were, for the end of the process to take.
  EXPECT_TRUE(IsWindow(wnd));
  EXPECT_TRUE(IsWindowVisible(wnd));
  EXPECT_TRUE(IsWindow(appWnd));
  // Messages that still come reach the default procedure, not the released objects.
  EXPECT_EQ(SendMessageA(wnd, 3025, 7, 9), 0);
  EXPECT_EQ(SendMessageA(appWnd, WM_NULL, 0, 0), 0);
  PostMessageA(wnd, 3025, 1, 2);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  DestroyWindow(appWnd);  // takes the form's window, which it owns
  EXPECT_FALSE(IsWindow(wnd));
}

TEST(Bitmap, DibSectionCanvasAndOwnership) {
  TBitmap bitmap;
  EXPECT_TRUE(bitmap.Empty());
  bitmap.SetSize32(4, 3);
  EXPECT_EQ(bitmap.Width(), 4);
  EXPECT_EQ(bitmap.Height(), 3);
  const uint8_t* px = bitmap.Bits();
  ASSERT_NE(px, nullptr);
  EXPECT_EQ(px[0] | px[1] | px[2] | px[3], 0);
  bitmap.Canvas().FillRect(RECT{1, 1, 3, 2}, 0x0000FF);  // red, as 0x00BBGGRR
  GdiFlush();
  const uint8_t* p = px + (1 * 4 + 1) * 4;
  EXPECT_EQ(p[2], 255);
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(px[2], 0) << "outside the rectangle";
  HBITMAP h = bitmap.ReleaseHandle();
  EXPECT_TRUE(bitmap.Empty());
  EXPECT_NE(GetObjectType(h), 0u);
  DeleteObject(h);
}

TEST(MessageWindow, PostsFromAWorkerRunOnTheCreatingThreadAndFailuresGoToTheApplication) {
  TApplication app;
  app.Initialize();
  std::string seen;
  app.OnException = {[](void* ctx, base::TObject*, const std::exception_ptr& e) {
                       *static_cast<std::string*>(ctx) = base::ExceptionMessage(e);
                     },
                     &seen};
  struct TRan {
    std::atomic<uint32_t> Thread{0};
    std::atomic<WPARAM> WParam{0};
  } ran;
  TMessageWindow window("TMessageWindowTest");
  EXPECT_EQ(GetParent(window.Handle()), nullptr);
  window.SetMessageHandler(2024, {[](void* ctx, TMessage& m) {
                                    auto* r = static_cast<TRan*>(ctx);
                                    r->Thread = platform::CurrentThreadId();
                                    r->WParam = m.WParam;
                                    m.Result = 5;
                                  },
                                  &ran});
  window.SetMessageHandler(2025, {[](void*, TMessage&) { throw base::Exception("handler failed"); }, nullptr});
  std::atomic<bool> posted{false};
  std::thread worker([&] { posted = window.Post(2024, 42, 0) && window.Post(2025, 0, 0); });
  worker.join();
  EXPECT_TRUE(posted);
  EXPECT_EQ(ran.Thread, 0u) << "nothing runs before the creating thread's loop";
  app.ProcessMessages();
  EXPECT_EQ(ran.Thread, platform::CurrentThreadId());
  EXPECT_EQ(ran.WParam, 42u);
  EXPECT_EQ(seen, "handler failed");
  EXPECT_EQ(SendMessageA(window.Handle(), 2024, 7, 0), 5);
  EXPECT_EQ(SendMessageA(window.Handle(), 3000, 0, 0), 0) << "no handler: the default procedure";
}

TEST(HintWindow, TheApplicationMakesShowsAndReplacesItsHintWindow) {
  static int made;
  made = 0;
  struct TCountedHint : THintWindow {
    TCountedHint() { ++made; }
    const char* ClassName() const override { return "TCountedHintWindow"; }
  };
  TApplication app;
  app.ActivateHint(POINT{100, 200}, "a framework hint");
  THintWindow* hint = app.HintWindow();
  ASSERT_TRUE(hint);
  EXPECT_STREQ(hint->ClassName(), "THintWindow");
  ASSERT_TRUE(hint->Visible());
  RECT r{};
  GetWindowRect(hint->Handle(), &r);
  RECT need = hint->CalcHintRect(GetSystemMetrics(SM_CXSCREEN), "a framework hint");
  EXPECT_EQ(r.left, 100);
  EXPECT_GT(r.top, 200) << "below the point";
  EXPECT_EQ(r.right - r.left, need.right);
  EXPECT_EQ(r.bottom - r.top, need.bottom);
  EXPECT_GT(need.right, hint->TextExtent("a framework hint").cx);
  EXPECT_TRUE(GetWindowLongA(hint->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_NE(GetForegroundWindow(), hint->Handle());
  app.ActivateHint(POINT{100, 200}, "");
  EXPECT_FALSE(hint->Visible()) << "an empty text hides the hint";

  app.SetHintWindowClass([]() -> std::unique_ptr<THintWindow> { return std::make_unique<TCountedHint>(); });
  EXPECT_EQ(app.HintWindow(), nullptr) << "the old class's window is released";
  EXPECT_EQ(made, 0) << "made on demand";
  app.ActivateHint(POINT{10, 10}, "one");
  app.ActivateHint(POINT{10, 10}, "two");
  EXPECT_EQ(made, 1);
  EXPECT_EQ(app.HintWindow()->Caption(), "two");
  app.SetHintWindowClass(nullptr);
  EXPECT_EQ(app.HintWindowClass(), &DefaultHintWindowClass);
}
