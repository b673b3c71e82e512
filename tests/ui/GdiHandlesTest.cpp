// Owning GDI handles and the selection guard: every kind released with its own call,
// moves hand the handle over once, and the drawing tools release the object of their old
// settings exactly when a setting really changes.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "ui/Brush.h"
#include "ui/Font.h"
#include "ui/GdiHandles.h"
#include "ui/Pen.h"

using namespace ui;

namespace {

// Whether a handle still names a live GDI object (0: deleted).
DWORD TypeOf(HGDIOBJ handle) { return GetObjectType(handle); }

template <class TOwned, class THandle>
void ExpectReleasedAtTheEnd(THandle handle, DWORD type) {
  ASSERT_NE(handle, nullptr);
  {
    TOwned owned(handle);
    EXPECT_EQ(TypeOf(handle), type);
    // Moved twice: only the last holder releases it.
    TOwned moved(std::move(owned));
    EXPECT_FALSE(owned);
    TOwned assigned;
    assigned = std::move(moved);
    EXPECT_EQ(assigned.Get(), handle);
    EXPECT_EQ(TypeOf(handle), type);
  }
  EXPECT_EQ(TypeOf(handle), 0u);
}

}  // namespace

TEST(GdiHandles, EachKindIsReleasedByItsOwnCall) {
  SCOPED_TRACE("memory DC");
  ExpectReleasedAtTheEnd<TOwnedDC>(CreateCompatibleDC(nullptr), static_cast<DWORD>(OBJ_MEMDC));
  SCOPED_TRACE("bitmap");
  ExpectReleasedAtTheEnd<TOwnedBitmap>(CreateBitmap(4, 4, 1, 32, nullptr), static_cast<DWORD>(OBJ_BITMAP));
  SCOPED_TRACE("region");
  ExpectReleasedAtTheEnd<TOwnedRegion>(CreateRectRgn(0, 0, 5, 5), static_cast<DWORD>(OBJ_REGION));
  SCOPED_TRACE("brush");
  ExpectReleasedAtTheEnd<TOwnedBrush>(CreateSolidBrush(RGB(1, 2, 3)), static_cast<DWORD>(OBJ_BRUSH));
  SCOPED_TRACE("pen");
  ExpectReleasedAtTheEnd<TOwnedPen>(CreatePen(PS_DOT, 1, RGB(1, 2, 3)), static_cast<DWORD>(OBJ_PEN));
  SCOPED_TRACE("font");
  ExpectReleasedAtTheEnd<TOwnedFont>(
      CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Tahoma"),
      static_cast<DWORD>(OBJ_FONT));
  SCOPED_TRACE("palette");
  LOGPALETTE palette{0x300, 1, {{1, 2, 3, 0}}};
  ExpectReleasedAtTheEnd<TOwnedPalette>(CreatePalette(&palette), static_cast<DWORD>(OBJ_PAL));
}

TEST(GdiHandles, ReleaseHandsOverAndResetReleasesTheOldHandle) {
  HBRUSH first = CreateSolidBrush(RGB(9, 9, 9)), second = CreateSolidBrush(RGB(8, 8, 8));
  TOwnedBrush brush(first);
  brush.Reset(second);
  EXPECT_EQ(TypeOf(first), 0u) << "the old handle goes";
  EXPECT_EQ(brush.Release(), second);
  EXPECT_FALSE(brush);
  brush.Reset();
  EXPECT_EQ(TypeOf(second), static_cast<DWORD>(OBJ_BRUSH)) << "a released handle belongs to the caller";
  DeleteObject(second);
  // Moved onto a wrapper that holds a handle: that one goes, the moved one stays.
  TOwnedPen a(CreatePen(PS_SOLID, 1, 0)), b(CreatePen(PS_SOLID, 2, 0));
  HPEN kept = a.Get(), replaced = b.Get();
  b = std::move(a);
  EXPECT_EQ(TypeOf(replaced), 0u);
  EXPECT_EQ(TypeOf(kept), static_cast<DWORD>(OBJ_PEN));
  EXPECT_EQ(b.Get(), kept);
}

TEST(GdiHandles, WindowContextBelongsToItsWindow) {
  HWND wnd = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(wnd);
  {
    TWindowDC dc(wnd);
    ASSERT_TRUE(dc);
    EXPECT_EQ(WindowFromDC(dc.Get()), wnd);
    TWindowDC moved(std::move(dc));
    EXPECT_FALSE(dc);
    EXPECT_EQ(WindowFromDC(moved.Get()), wnd);
  }
  TWindowDC screen;
  EXPECT_TRUE(screen);
  EXPECT_GT(ScreenPixelsPerInch(), 0);
  DestroyWindow(wnd);
}

TEST(GdiHandles, SelectionGuardPutsThePreviousObjectBack) {
  TOwnedDC dc(CreateCompatibleDC(nullptr)), other(CreateCompatibleDC(nullptr));
  TOwnedBitmap bitmap(CreateBitmap(2, 2, 1, 32, nullptr));
  HGDIOBJ initial = GetCurrentObject(dc.Get(), OBJ_BITMAP);
  {
    TSelectObject select(dc.Get(), bitmap.Get());
    EXPECT_TRUE(select.Selected());
    EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BITMAP), bitmap.Get());
    // A bitmap can be in one context only: the second selection is refused and puts
    // nothing back.
    TSelectObject refused(other.Get(), bitmap.Get());
    EXPECT_FALSE(refused.Selected());
  }
  EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BITMAP), initial);
  {
    TSelectObject select(dc.Get(), bitmap.Get());
    select.Restore();
    EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BITMAP), initial) << "restored early";
    TSelectObject again(other.Get(), bitmap.Get());
    EXPECT_TRUE(again.Selected()) << "free for another context after Restore";
  }
  EXPECT_FALSE(TSelectObject(nullptr, bitmap.Get()).Selected());
  EXPECT_FALSE(TSelectObject(dc.Get(), nullptr).Selected());
}

// Each row: a setter call on a fresh tool. A call that changes nothing keeps the GDI
// object; one that changes a setting runs OnChange once and releases the old object.
TEST(GraphicsObject, OnlyARealChangeReleasesTheObject) {
  struct TRow {
    const char* Name;
    TGraphicsObject* (*Make)();
    void (*Set)(TGraphicsObject&);
    bool Changes;
  };
  auto brush = []() -> TGraphicsObject* { return new TBrush; };
  auto pen = []() -> TGraphicsObject* { return new TPen; };
  auto font = []() -> TGraphicsObject* { return new TFont; };
  const TRow rows[] = {
      {"brush colour kept", brush, [](TGraphicsObject& o) { static_cast<TBrush&>(o).SetColor(clWhite); }, false},
      {"brush colour", brush, [](TGraphicsObject& o) { static_cast<TBrush&>(o).SetColor(0x123456); }, true},
      {"brush style beyond the hatches is solid", brush,
       [](TGraphicsObject& o) { static_cast<TBrush&>(o).SetStyle(200); }, false},
      {"brush hatch", brush, [](TGraphicsObject& o) { static_cast<TBrush&>(o).SetStyle(bsCross); }, true},
      {"pen width below 1 is 1", pen, [](TGraphicsObject& o) { static_cast<TPen&>(o).SetWidth(0); }, false},
      {"pen width", pen, [](TGraphicsObject& o) { static_cast<TPen&>(o).SetWidth(3); }, true},
      {"pen style", pen, [](TGraphicsObject& o) { static_cast<TPen&>(o).SetStyle(psDot); }, true},
      {"pen colour kept", pen, [](TGraphicsObject& o) { static_cast<TPen&>(o).SetColor(clBlack); }, false},
      {"font name kept", font, [](TGraphicsObject& o) { static_cast<TFont&>(o).SetName("Tahoma"); }, false},
      {"font name", font, [](TGraphicsObject& o) { static_cast<TFont&>(o).SetName("Arial"); }, true},
      {"font unknown style bits", font, [](TGraphicsObject& o) { static_cast<TFont&>(o).SetStyle(0xF0); }, false},
      {"font bold", font, [](TGraphicsObject& o) { static_cast<TFont&>(o).SetStyle(fsBold); }, true},
      {"font height", font, [](TGraphicsObject& o) { static_cast<TFont&>(o).SetHeight(-30); }, true},
      {"font charset", font, [](TGraphicsObject& o) { static_cast<TFont&>(o).SetCharset(SYMBOL_CHARSET); }, true},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    std::unique_ptr<TGraphicsObject> tool(row.Make());
    int changes = 0;
    tool->OnChange = {[](void* c, base::TObject*) { ++*static_cast<int*>(c); }, &changes};
    HGDIOBJ before = tool->Handle();
    ASSERT_NE(TypeOf(before), 0u);
    row.Set(*tool);
    EXPECT_EQ(changes, row.Changes ? 1 : 0);
    EXPECT_EQ(TypeOf(before) == 0, row.Changes) << "the old object goes exactly when a setting changed";
    EXPECT_NE(TypeOf(tool->Handle()), 0u);
  }
}

TEST(GraphicsObject, AClearBrushIsTheStockObjectBetweenOwnedOnes) {
  TBrush brush;
  brush.SetStyle(bsClear);
  EXPECT_EQ(brush.Handle(), GetStockObject(NULL_BRUSH));
  brush.SetStyle(bsSolid);
  HGDIOBJ solid = brush.Handle();
  EXPECT_NE(solid, GetStockObject(NULL_BRUSH));
  brush.SetStyle(bsClear);
  EXPECT_EQ(TypeOf(solid), 0u) << "the solid brush was ours";
  EXPECT_EQ(brush.Handle(), GetStockObject(NULL_BRUSH));
}
