#include "ui/HintWindow.h"

#include <exception>

#include "base/ExceptionHandler.h"
#include "base/Exceptions.h"

namespace ui {

namespace {

// Space between the border and the text, in pixels.
constexpr int32_t kTextPadding = 2;

HFONT CreateStatusFont() {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof(metrics);
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
    if (HFONT font = CreateFontIndirectA(&metrics.lfStatusFont)) return font;
  // Systems whose metrics record is shorter than ours: the usual hint font.
  return CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Tahoma");
}

// A screen-compatible context with the font selected, for measuring text.
class TMeasureDC {
 public:
  explicit TMeasureDC(HFONT font) : FDC(CreateCompatibleDC(nullptr)) {
    if (!FDC) base::RaiseLastOSError();
    FOld = SelectObject(FDC, font);
  }
  ~TMeasureDC() {
    SelectObject(FDC, FOld);
    DeleteDC(FDC);
  }
  TMeasureDC(const TMeasureDC&) = delete;
  TMeasureDC& operator=(const TMeasureDC&) = delete;
  HDC Handle() const { return FDC; }

 private:
  HDC FDC;
  HGDIOBJ FOld;
};

}  // namespace

std::unique_ptr<THintWindow> DefaultHintWindowClass() { return std::make_unique<THintWindow>(); }

THintWindow::THintWindow() : FFont(CreateStatusFont()) {}

THintWindow::~THintWindow() {
  if (FHandle) {
    SetWindowLongPtrA(FHandle, GWLP_USERDATA, 0);
    DestroyWindow(FHandle);
  }
  if (FFont) DeleteObject(FFont);
}

void THintWindow::CreateHandle() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  if (!GetClassInfoA(instance, ClassName(), &wc)) {
    // Saved bits: a hint that goes leaves the windows under it as they were, unpainted.
    wc.style = CS_SAVEBITS;
    wc.lpfnWndProc = &THintWindow::WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = ClassName();
    if (!RegisterClassA(&wc)) base::RaiseLastOSError();
  }
  HWND wnd = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, ClassName(), FCaption.c_str(), WS_POPUP | WS_BORDER,
                             FLeft, FTop, FWidth, FHeight, nullptr, nullptr, instance, this);
  if (!wnd) base::RaiseLastOSError();
}

HWND THintWindow::Handle() {
  if (!FHandle) CreateHandle();
  return FHandle;
}

bool THintWindow::Visible() const { return FHandle && IsWindowVisible(FHandle); }

void THintWindow::Hide() {
  if (FHandle) ShowWindow(FHandle, SW_HIDE);
}

void THintWindow::Invalidate() {
  if (FHandle) InvalidateRect(FHandle, nullptr, TRUE);
}

void THintWindow::SetCaption(const base::AnsiString& caption) {
  if (caption == FCaption) return;
  FCaption = caption;
  if (FHandle) SetWindowTextA(FHandle, caption.c_str());
  TextChanged();
}

void THintWindow::TextChanged() { Invalidate(); }

void THintWindow::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  FLeft = left;
  FTop = top;
  FWidth = width;
  FHeight = height;
  if (FHandle) SetWindowPos(FHandle, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

SIZE THintWindow::TextExtent(const base::AnsiString& text) const {
  TMeasureDC dc(FFont);
  SIZE size{};
  GetTextExtentPoint32A(dc.Handle(), text.c_str(), static_cast<int>(text.size()), &size);
  return size;
}

RECT THintWindow::CalcHintRect(int32_t maxWidth, const base::AnsiString& text) {
  TMeasureDC dc(FFont);
  RECT r{0, 0, maxWidth, 0};
  DrawTextA(dc.Handle(), text.c_str(), static_cast<int>(text.size()), &r,
            DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
  // The border and the padding on both sides.
  r.right += 2 * (1 + kTextPadding);
  r.bottom += 2 * (1 + kTextPadding);
  return r;
}

void THintWindow::ActivateHint(const RECT& rect, const base::AnsiString& text) {
  SetCaption(text);
  SetBounds(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  SetWindowPos(Handle(), HWND_TOPMOST, FLeft, FTop, FWidth, FHeight, SWP_NOACTIVATE | SWP_SHOWWINDOW);
  Invalidate();
}

bool THintWindow::IsHintMsg(const MSG& msg) {
  UINT m = msg.message;
  return (m >= WM_KEYFIRST && m <= WM_KEYLAST) || (m > WM_MOUSEMOVE && m <= WM_MOUSELAST) || m == WM_COMMAND ||
         m == WM_NCMOUSEMOVE;
}

void THintWindow::Paint(HDC dc, const RECT& client) {
  HBRUSH brush = GetSysColorBrush(COLOR_INFOBK);
  FillRect(dc, &client, brush);
  RECT text = client;
  InflateRect(&text, -kTextPadding, -kTextPadding);
  HGDIOBJ oldFont = SelectObject(dc, FFont);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
  DrawTextA(dc, FCaption.c_str(), static_cast<int>(FCaption.size()), &text, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, oldFont);
}

void THintWindow::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_NCHITTEST:
      // The mouse goes through to the window beneath.
      m.Result = HTTRANSPARENT;
      return;
    case WM_MOUSEACTIVATE: m.Result = MA_NOACTIVATE; return;
    case WM_ERASEBKGND: m.Result = 1; return;  // Paint fills the background
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(FHandle, &ps);
      RECT client{};
      GetClientRect(FHandle, &client);
      try {
        Paint(dc, client);
      } catch (...) {
        EndPaint(FHandle, &ps);
        throw;
      }
      EndPaint(FHandle, &ps);
      m.Result = 0;
      return;
    }
    default: m.Result = DefWindowProcA(FHandle, m.Msg, m.WParam, m.LParam);
  }
}

LRESULT CALLBACK THintWindow::WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
    auto* self = static_cast<THintWindow*>(cs->lpCreateParams);
    self->FHandle = wnd;
    SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<THintWindow*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
  if (!self) return DefWindowProcA(wnd, msg, wParam, lParam);
  TMessage m{msg, wParam, lParam, 0};
  try {
    self->WndProc(m);
  } catch (...) {
    base::HandleApplicationException(self, std::current_exception());
    m.Result = 0;
  }
  return m.Result;
}

}  // namespace ui
