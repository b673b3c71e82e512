// TGraphic: the base of every picture the framework draws, loads, saves and assigns.
// Subclasses implement the drawing and their streamed form; files and the resource form
// (a 32-bit byte count followed by the saved bytes) go through the streams. GUI thread.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/Exceptions.h"
#include "base/Object.h"
#include "base/Stream.h"
#include "base/Strings.h"
#include "ui/Canvas.h"

namespace ui {

// A picture operation the graphic cannot do (resizing a fixed picture, ...).
class EInvalidGraphicOperation : public base::Exception {
 public:
  using Exception::Exception;
};
// A picture file or class the framework does not know.
class EInvalidGraphic : public base::Exception {
 public:
  using Exception::Exception;
};

// Bits per pixel of a picture as the framework names them.
enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

class TGraphic : public base::TObject {
 public:
  // The class name used in conversion errors ("Cannot assign a %s to a %s").
  virtual const char* ClassName() const = 0;

  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  virtual bool Empty() const = 0;
  // Raise EInvalidGraphicOperation where the picture cannot be resized.
  virtual void SetWidth(int32_t width) = 0;
  virtual void SetHeight(int32_t height) = 0;
  virtual void SetSize(int32_t width, int32_t height);

  // Draws the picture into the rectangle of the canvas.
  virtual void Draw(TCanvas& canvas, const RECT& rect) = 0;

  virtual void LoadFromStream(base::TStream& stream) = 0;
  virtual void SaveToStream(base::TStream& stream) = 0;
  virtual void LoadFromFile(const base::WideString& fileName);
  virtual void SaveToFile(const base::WideString& fileName);
  // The form-resource form: a 32-bit byte count, then that many bytes of the saved
  // picture. ReadData reads exactly the counted bytes (a count past the stream's end
  // raises EReadError).
  virtual void ReadData(base::TStream& stream);
  virtual void WriteData(base::TStream& stream);

  // Takes over the source's picture. The base asks the source (AssignTo) and raises
  // EConvertError "Cannot assign a %s to a %s" when neither side knows the other.
  virtual void Assign(TGraphic& source);
  // True when this picture could copy itself into dest.
  virtual bool AssignTo(TGraphic& dest);
  // Same class and the same saved bytes.
  virtual bool Equals(TGraphic& other);

  bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool value);
  bool Modified() const { return FModified; }
  void SetModified(bool value) { FModified = value; }

  // Runs when the picture changed (a new image, a new frame, a new size), so owners
  // repaint. The sender is the picture.
  base::TNotifyEvent OnChange;

 protected:
  // Marks the picture modified and runs OnChange.
  virtual void Changed(base::TObject* sender);
  [[noreturn]] void AssignError(TGraphic& source);

 private:
  bool FTransparent = false;
  bool FModified = false;
};

}  // namespace ui
