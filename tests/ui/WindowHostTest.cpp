// The window host under every framework window: binding from the first message on,
// letting go of a window destroyed from outside, class registration once per name,
// exceptions stopped at the window procedure, dispatch by number.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "ui/Application.h"
#include "ui/Form.h"
#include "ui/WindowHost.h"

using namespace ui;

namespace {

constexpr UINT kProbe = WM_APP + 1;

// A host that records what reaches it and throws on request.
class TProbeHost : public TWindowHost {
 public:
  void Create(const TWindowClass& windowClass = {"TWindowHostProbe"}) {
    TWindowParams params;
    params.Style = WS_POPUP;
    params.Width = params.Height = 10;
    CreateHostWindow(windowClass, params);
  }
  using TWindowHost::DestroyHostWindow;
  using TWindowHost::DetachHostWindow;

  std::vector<UINT> Seen;
  // The handle the host knew when WM_NCCREATE and WM_CREATE came.
  HWND AtNcCreate = nullptr, AtCreate = nullptr;
  UINT ThrowOn = 0;
  std::exception_ptr Thrown;
  std::vector<std::string> Caught;
  bool HandlerThrows = false;

 protected:
  void HostMessage(TMessage& m) override {
    Seen.push_back(m.Msg);
    if (m.Msg == WM_NCCREATE) AtNcCreate = HostHandle();
    if (m.Msg == WM_CREATE) AtCreate = HostHandle();
    if (m.Msg == ThrowOn && Thrown) std::rethrow_exception(Thrown);
    if (m.Msg == kProbe) {
      m.Result = 42;
      return;
    }
    DefaultHandler(m);
  }
  void HostException(const std::exception_ptr& e) override {
    Caught.push_back(base::ExceptionMessage(e));
    if (HandlerThrows) throw std::runtime_error("the handler failed too");
  }
};

bool Saw(const TProbeHost& host, UINT msg) {
  for (UINT m : host.Seen)
    if (m == msg) return true;
  return false;
}

}  // namespace

TEST(WindowHost, BoundFromTheFirstMessageUntilTheWindowGoes) {
  HWND wnd = nullptr;
  {
    TProbeHost host;
    host.Create();
    wnd = host.HostHandle();
    ASSERT_TRUE(IsWindow(wnd));
    EXPECT_EQ(host.Seen.front(), static_cast<UINT>(WM_NCCREATE)) << "nothing reaches the default procedure first";
    EXPECT_EQ(host.AtNcCreate, wnd);
    EXPECT_EQ(host.AtCreate, wnd);
    EXPECT_EQ(SendMessageA(wnd, kProbe, 0, 0), 42);
  }
  EXPECT_FALSE(IsWindow(wnd)) << "the host's end destroys its window";

  // A window destroyed from outside: the host lets go of it and does not destroy it again.
  TProbeHost host;
  host.Create();
  wnd = host.HostHandle();
  DestroyWindow(wnd);
  EXPECT_TRUE(Saw(host, WM_DESTROY));
  EXPECT_TRUE(Saw(host, WM_NCDESTROY)) << "the last message still reaches the host";
  EXPECT_EQ(host.HostHandle(), nullptr);
  host.Create();  // and it can make another
  EXPECT_TRUE(IsWindow(host.HostHandle()));

  // Detached: the window stays, its messages go to the default procedure.
  wnd = host.DetachHostWindow();
  host.Seen.clear();
  EXPECT_EQ(host.HostHandle(), nullptr);
  EXPECT_EQ(SendMessageA(wnd, kProbe, 0, 0), 0);
  DestroyWindow(wnd);
  EXPECT_TRUE(host.Seen.empty());
}

TEST(WindowHost, ExceptionsStopAtTheWindowProcedure) {
  struct TRow {
    const char* Name;
    std::exception_ptr Thrown;
    bool HandlerThrows;
    const char* Caught;
  };
  const TRow rows[] = {
      {"product exception", std::make_exception_ptr(base::Exception("handler failed")), false, "handler failed"},
      {"standard exception", std::make_exception_ptr(std::runtime_error("runtime")), false, "runtime"},
      {"not an exception class", std::make_exception_ptr(7), false, nullptr},
      {"exception handler throws too", std::make_exception_ptr(base::Exception("first")), true, "first"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    TProbeHost host;
    host.Create();
    host.ThrowOn = kProbe;
    host.Thrown = row.Thrown;
    host.HandlerThrows = row.HandlerThrows;
    EXPECT_EQ(SendMessageA(host.HostHandle(), kProbe, 0, 0), 0) << "a failed message answers 0";
    ASSERT_EQ(host.Caught.size(), 1u);
    if (row.Caught) {
      EXPECT_EQ(host.Caught[0], row.Caught);
    }
    // Posted messages fail inside DispatchMessage the same way.
    PostMessageA(host.HostHandle(), kProbe, 0, 0);
    MSG msg;
    while (PeekMessageA(&msg, host.HostHandle(), 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    EXPECT_EQ(host.Caught.size(), 2u);
    host.ThrowOn = 0;
    EXPECT_EQ(SendMessageA(host.HostHandle(), kProbe, 0, 0), 42) << "the window works on";
  }
}

TEST(WindowHost, AFailedCreationLeavesNoWindow) {
  TProbeHost host;
  host.ThrowOn = WM_NCCREATE;
  host.Thrown = std::make_exception_ptr(base::Exception("no"));
  EXPECT_THROW(host.Create(), base::Exception);
  EXPECT_EQ(host.HostHandle(), nullptr);
  EXPECT_EQ(host.Caught, std::vector<std::string>{"no"});
}

TEST(WindowHost, TheClassIsRegisteredOnceWithTheFirstDescription) {
  TProbeHost first, second;
  first.Create({"TWindowHostOnce", CS_SAVEBITS, IDC_ARROW});
  second.Create({"TWindowHostOnce", CS_DBLCLKS, nullptr});
  for (HWND wnd : {first.HostHandle(), second.HostHandle()}) {
    EXPECT_EQ(GetClassLongPtrA(wnd, GCL_STYLE), static_cast<ULONG_PTR>(CS_SAVEBITS));
    EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrA(wnd, GCLP_HCURSOR)), LoadCursorA(nullptr, IDC_ARROW));
  }
  EXPECT_EQ(SendMessageA(second.HostHandle(), kProbe, 0, 0), 42);
}

TEST(MessageHandlers, RouteByNumberReplaceAndRemove) {
  std::string calls;
  const TMessageEvent a{[](void* c, TMessage& m) { *static_cast<std::string*>(c) += 'a', m.Result = 1; }, &calls};
  const TMessageEvent b{[](void* c, TMessage& m) { *static_cast<std::string*>(c) += 'b', m.Result = 2; }, &calls};
  TMessageHandlers handlers;
  // Each step sets one route (an empty handler removes it), then 100 and 200 are sent;
  // -1: no handler took the message.
  struct TStep {
    const char* Name;
    uint32_t Msg;
    TMessageEvent Handler;
    const char* Calls;
    LRESULT Result100, Result200;
  };
  const TStep steps[] = {
      {"none yet", 300, {}, "", -1, -1},
      {"one route", 100, a, "a", 1, -1},
      {"a second number", 200, b, "ab", 1, 2},
      {"replaced", 100, b, "bb", 2, 2},
      {"removed by an empty handler", 200, {}, "b", 2, -1},
  };
  for (const TStep& step : steps) {
    SCOPED_TRACE(step.Name);
    handlers.Set(step.Msg, step.Handler);
    calls.clear();
    TMessage m100{100, 0, 0, -1}, m200{200, 0, 0, -1};
    EXPECT_EQ(handlers.Dispatch(m100), step.Result100 != -1);
    EXPECT_EQ(handlers.Dispatch(m200), step.Result200 != -1);
    EXPECT_EQ(calls, step.Calls);
    EXPECT_EQ(m100.Result, step.Result100);
    EXPECT_EQ(m200.Result, step.Result200);
  }
}

TEST(Form, AWindowDestroyedFromOutsideIsMadeAgainOnDemand) {
  TApplication app;
  app.Initialize();
  std::vector<std::string> seen;
  app.OnException = {[](void* ctx, base::TObject*, const std::exception_ptr& e) {
                       static_cast<std::vector<std::string>*>(ctx)->push_back(base::ExceptionMessage(e));
                       throw base::Exception("the application's handler failed");
                     },
                     &seen};
  auto* form = app.CreateForm<TForm>();
  HWND first = form->Handle();
  DestroyWindow(first);
  EXPECT_FALSE(form->HandleAllocated());
  EXPECT_FALSE(form->Visible());
  HWND second = form->Handle();
  EXPECT_TRUE(IsWindow(second));
  EXPECT_EQ(GetWindow(second, GW_OWNER), app.Handle());
  // A handler fails and so does the application's exception handler: neither reaches
  // the system.
  form->SetMessageHandler(kProbe, {[](void*, TMessage&) { throw base::Exception("form handler"); }, nullptr});
  EXPECT_EQ(SendMessageA(second, kProbe, 0, 0), 0);
  EXPECT_EQ(seen, std::vector<std::string>{"form handler"});
}
