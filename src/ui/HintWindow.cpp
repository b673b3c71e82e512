#include "ui/HintWindow.h"

#include <exception>

#include "base/ExceptionHandler.h"
#include "base/Exceptions.h"

namespace ui {

namespace {

// Space between the border and the text, in pixels.
constexpr int32_t kTextPadding = 2;

TOwnedFont CreateStatusFont() {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof(metrics);
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
    if (HFONT font = CreateFontIndirectA(&metrics.lfStatusFont)) return TOwnedFont(font);
  // Systems whose metrics record is shorter than ours: the usual hint font.
  return TOwnedFont(CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Tahoma"));
}

// A screen-compatible context with the font selected, for measuring text.
class TMeasureDC {
 public:
  explicit TMeasureDC(HFONT font) : FDC(CreateCompatibleDC(nullptr)), FFont(CheckDC(FDC.Get()), font) {}
  HDC Handle() const { return FDC.Get(); }

 private:
  static HDC CheckDC(HDC dc) {
    if (!dc) base::RaiseLastOSError();
    return dc;
  }
  TOwnedDC FDC;
  TSelectObject FFont;
};

}  // namespace

std::unique_ptr<THintWindow> DefaultHintWindowClass() { return std::make_unique<THintWindow>(); }

THintWindow::THintWindow() : FFont(CreateStatusFont()) {}

// The window goes before the font it draws with.
THintWindow::~THintWindow() { DestroyHostWindow(); }

void THintWindow::CreateHandle() {
  TWindowParams params;
  params.ExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
  params.Style = WS_POPUP | WS_BORDER;
  params.Caption = FCaption.c_str();
  params.Left = FLeft;
  params.Top = FTop;
  params.Width = FWidth;
  params.Height = FHeight;
  // Saved bits: a hint that goes leaves the windows under it as they were, unpainted.
  CreateHostWindow({ClassName(), CS_SAVEBITS, IDC_ARROW}, params);
}

HWND THintWindow::Handle() {
  if (!HandleAllocated()) CreateHandle();
  return HostHandle();
}

bool THintWindow::Visible() const { return HandleAllocated() && IsWindowVisible(HostHandle()); }

void THintWindow::Hide() {
  if (HandleAllocated()) ShowWindow(HostHandle(), SW_HIDE);
}

void THintWindow::Invalidate() {
  if (HandleAllocated()) InvalidateRect(HostHandle(), nullptr, TRUE);
}

void THintWindow::SetCaption(const base::AnsiString& caption) {
  if (caption == FCaption) return;
  FCaption = caption;
  if (HandleAllocated()) SetWindowTextA(HostHandle(), caption.c_str());
  TextChanged();
}

void THintWindow::TextChanged() { Invalidate(); }

void THintWindow::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  FLeft = left;
  FTop = top;
  FWidth = width;
  FHeight = height;
  if (HandleAllocated()) SetWindowPos(HostHandle(), nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

SIZE THintWindow::TextExtent(const base::AnsiString& text) const {
  TMeasureDC dc(FFont.Get());
  SIZE size{};
  GetTextExtentPoint32A(dc.Handle(), text.c_str(), static_cast<int>(text.size()), &size);
  return size;
}

RECT THintWindow::CalcHintRect(int32_t maxWidth, const base::AnsiString& text) {
  TMeasureDC dc(FFont.Get());
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
  TSelectObject font(dc, FFont.Get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
  DrawTextA(dc, FCaption.c_str(), static_cast<int>(FCaption.size()), &text, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
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
      HWND wnd = HostHandle();
      HDC dc = BeginPaint(wnd, &ps);
      RECT client{};
      GetClientRect(wnd, &client);
      try {
        Paint(dc, client);
      } catch (...) {
        EndPaint(wnd, &ps);
        throw;
      }
      EndPaint(wnd, &ps);
      m.Result = 0;
      return;
    }
    default: DefaultHandler(m);
  }
}

void THintWindow::HostException(const std::exception_ptr& e) { base::HandleApplicationException(this, e); }

}  // namespace ui
