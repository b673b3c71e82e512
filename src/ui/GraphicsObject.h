// The base of the canvas's drawing tools (font, pen, brush): a GDI object made from the
// tool's settings on first use and owned by the tool. Changing a setting runs OnChange
// first (a canvas that has the object selected puts its own back) and then releases the
// old object; the next Handle() makes a new one. GUI thread.
#pragma once

#include <windows.h>

#include "base/Object.h"
#include "ui/GdiHandles.h"

namespace ui {

class TGraphicsObject : public base::TObject {
 public:
  ~TGraphicsObject() override;
  // The GDI object for the current settings, made when first asked for; null when GDI
  // refuses it. It stays owned by this object.
  HGDIOBJ Handle();
  // Runs after a setting changed, while the old GDI object still exists; the sender is
  // this object.
  base::TNotifyEvent OnChange;

 protected:
  // Makes the GDI object of the current settings; owned tells whether it is ours to
  // release (stock objects are not).
  virtual HGDIOBJ CreateHandle(bool& owned) = 0;
  // Runs OnChange and releases the GDI object of the old settings.
  void Changed();
  // A setter's work: stores value and, when it differs from what was there, runs Changed.
  template <class T>
  void Assign(T& setting, const T& value) {
    if (setting == value) return;
    setting = value;
    Changed();
  }

 private:
  void ReleaseHandle();

  HGDIOBJ FHandle = nullptr;
  // FHandle when it is ours to release; stock objects are not.
  TOwnedGdiObject FOwned;
};

}  // namespace ui
