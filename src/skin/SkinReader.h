// The skin readers bind the engine to where skins come from. TQZFileSkinReader reads
// skins from folders under the skin root beside the executable ("Skin"): it selects a
// skin folder, enumerates the folders, parses description files and loads images.
//
// Image names come from downloaded skins and are untrusted: a name is resolved inside
// the current skin folder only. Absolute paths, drive letters, UNC names and "." or ".."
// parts are refused with a log line and nothing is opened.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "skin/SkinImages.h"
#include "xml/XMLIntf.h"

namespace skin {

class TQZSkinEngine;

// Called once per skin folder with (user data, folder name, folder name, value, a);
// returns whether to go on.
using TEnumSkinFolderProc = bool (*)(void* userData, const std::string& name, const std::string& caption,
                                     intptr_t value, intptr_t a);

class TQZSkinReader {
 public:
  explicit TQZSkinReader(TQZSkinEngine* engine) : Engine(engine) {}
  virtual ~TQZSkinReader() = default;
  virtual int32_t EnumSkinFolders(intptr_t a, intptr_t value, TEnumSkinFolderProc proc, void* userData) = 0;
  virtual bool OpenSkinFolder(const std::string& name) = 0;
  // The parsed document, or null (missing file, unreadable or malformed XML).
  virtual xml::TIntf<xml::IXMLDocument> LoadDescription(const std::string& name) = 0;
  // kind ikBitmap gives a bitmap or null, any other kind a picture or null. folder is
  // the requesting file's folder relative to the skin folder (often empty).
  virtual std::unique_ptr<TSkinImageObject> LoadImage(const std::string& name, const std::string& type, int32_t kind,
                                                      const std::string& folder) = 0;

  TQZSkinEngine* const Engine;
  std::string RootName = "Skin";
  std::string CurrentName;
};

class TQZFileSkinReader : public TQZSkinReader {
 public:
  // provider null: the platform's default provider.
  explicit TQZFileSkinReader(TQZSkinEngine* engine, std::unique_ptr<ISkinImageProvider> provider = nullptr);

  int32_t EnumSkinFolders(intptr_t a, intptr_t value, TEnumSkinFolderProc proc, void* userData) override;
  // Selects SkinRootFolder\name (or name itself when it holds a "\"); reloads the engine
  // when that is another folder, also when it does not exist. True when it exists.
  bool OpenSkinFolder(const std::string& name) override;
  xml::TIntf<xml::IXMLDocument> LoadDescription(const std::string& name) override;
  std::unique_ptr<TSkinImageObject> LoadImage(const std::string& name, const std::string& type, int32_t kind,
                                              const std::string& folder) override;

  // The folder beside the executable, or the one set for tests and tools.
  std::string SkinRootFolder() const;
  void SetRootFolderOverride(std::string folder) { FRootOverride = std::move(folder); }
  void SetImageProvider(std::unique_ptr<ISkinImageProvider> provider) { FProvider = std::move(provider); }

  std::string Folder;  // current skin folder without trailing delimiter; empty until selected
  std::string DescriptionExt = "xml";

 private:
  std::unique_ptr<ISkinImageProvider> FProvider;
  std::string FRootOverride;
};

}  // namespace skin
