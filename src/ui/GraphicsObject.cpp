#include "ui/GraphicsObject.h"

namespace ui {

TGraphicsObject::~TGraphicsObject() { ReleaseHandle(); }

HGDIOBJ TGraphicsObject::Handle() {
  if (!FHandle) FHandle = CreateHandle(FOwned);
  return FHandle;
}

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
  ReleaseHandle();
}

void TGraphicsObject::ReleaseHandle() {
  if (FHandle && FOwned) DeleteObject(FHandle);
  FHandle = nullptr;
  FOwned = false;
}

}  // namespace ui
