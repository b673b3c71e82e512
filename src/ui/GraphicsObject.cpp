#include "ui/GraphicsObject.h"

namespace ui {

TGraphicsObject::~TGraphicsObject() { ReleaseHandle(); }

HGDIOBJ TGraphicsObject::Handle() {
  if (FHandle) return FHandle;
  bool owned = false;
  FHandle = CreateHandle(owned);
  if (owned) FOwned.Reset(FHandle);
  return FHandle;
}

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
  ReleaseHandle();
}

void TGraphicsObject::ReleaseHandle() {
  FOwned.Reset();
  FHandle = nullptr;
}

}  // namespace ui
