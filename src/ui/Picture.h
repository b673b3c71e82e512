// The picture-format registry: picture classes register the file extensions they read,
// with a description, and TPicture loads a file through the class its extension names.
// Registration happens at start-up on the main thread; lookups are GUI-thread.
#pragma once

#include <memory>
#include <vector>

#include "base/Strings.h"
#include "ui/Graphic.h"

namespace ui {

// A picture class as the registry knows it: its name and how to make an empty one.
// Classes are told apart by the address of their one TGraphicClass.
struct TGraphicClass {
  const char* Name;
  std::unique_ptr<TGraphic> (*Create)();
};

struct TFileFormat {
  base::AnsiString Extension;  // lower case, without the dot
  base::AnsiString Description;
  const TGraphicClass* GraphicClass;
};

class TPicture : public base::TObject {
 public:
  // Adds (or replaces) the class for an extension ("png", ".png" and "PNG" are the same).
  static void RegisterFileFormat(const base::AnsiString& extension, const base::AnsiString& description,
                                 const TGraphicClass& graphicClass);
  // Removes every extension registered for the class.
  static void UnregisterGraphicClass(const TGraphicClass& graphicClass);
  // Null when no class reads the extension.
  static const TGraphicClass* GraphicClassForExtension(const base::AnsiString& extension);
  // In the order of registration.
  static std::vector<TFileFormat> FileFormats();

  // Loads the file into a new picture of the class its extension names; raises
  // EInvalidGraphic "Unknown picture file extension (.%s)" for others.
  void LoadFromFile(const base::WideString& fileName);
  TGraphic* Graphic() const { return FGraphic.get(); }
  void SetGraphic(std::unique_ptr<TGraphic> graphic) { FGraphic = std::move(graphic); }

 private:
  std::unique_ptr<TGraphic> FGraphic;
};

}  // namespace ui
