// TQZSkinEngine: the process-wide owner of the loaded skin: the description files of the
// current skin folder, their items indexed by name, and the shared image cache. Selecting
// another skin reloads everything and tells the listeners; the old skin stays alive
// until the last listener has returned. GUI thread only; nothing is locked.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Object.h"
#include "base/QZEventList.h"
#include "skin/SkinFile.h"
#include "skin/SkinReader.h"

namespace skin {

enum TSkinChangePhase : int32_t { SkinChanged = 0, SkinChangeDone = 1 };

using TSkinEngineEvent = base::TClosure<TQZSkinEngine*>;
using TSkinListeners = base::TQZEventList<TQZSkinEngine*, TSkinChangePhase>;
using TReloadCallback = void (*)(void* userData, TQZSkinEngine* engine, intptr_t a, intptr_t b);

class TQZSkinEngine {
 public:
  // reader null: a TQZFileSkinReader with the portable image provider.
  explicit TQZSkinEngine(std::unique_ptr<TQZSkinReader> reader = nullptr);
  ~TQZSkinEngine();
  TQZSkinEngine(const TQZSkinEngine&) = delete;
  TQZSkinEngine& operator=(const TQZSkinEngine&) = delete;

  std::string Name;  // "SkinEngine" for the process-wide instance

  // The item of that name (any case), "Default" for an empty name; null when unknown.
  TSkinItem* FindItem(const std::string& name);
  // Loads one description file; false when it is missing, malformed, defines no item
  // or holds an invalid colour (then none of its items stays).
  bool LoadSkinFile(const std::string& name);
  // The same for a document already parsed, requested under name.
  bool LoadSkinDocument(const std::string& name, xml::IXMLDocument* doc);
  void LoadSkinFiles();
  // Moves the current skin aside, loads the files again (when loadFiles), calls back,
  // fires OnSkinLoaded, OnSkinChanged and the listeners (phase SkinChanged, then
  // SkinChangeDone), and only then frees the old skin. Always true.
  bool ReloadSkin(intptr_t a, intptr_t b, bool loadFiles, TReloadCallback callback, void* userData);

  // The image of a reference from the shared cache, loaded on first use. A name that
  // fails to load is logged once and remembered as missing until the next reload.
  TSkinImageObject* GetImage(const TSkinImageRef& ref, int32_t kind);
  // An unshared image loaded for the caller.
  std::unique_ptr<TSkinImageObject> LoadImage(const TSkinImageRef& ref, int32_t kind);
  // The cache's opaque copy of the reference's bitmap, with alpha forced inside rect
  // (the image as loaded when it has no alpha channel); null without a bitmap.
  TSkinBitmap* GetOpaqueBitmap(const TSkinImageRef& ref, const TSkinRect& rect);

  TQZSkinReader& Reader() { return *FReader; }
  TSkinShareImageList& Images() { return FImages; }
  int32_t FileCount() const { return static_cast<int32_t>(FFiles.size()); }
  TSkinFile* File(int32_t index) const { return FFiles.at(static_cast<size_t>(index)).get(); }
  const TSkinItemList& Index() const { return FIndex; }
  bool Destroying() const { return FDestroying; }

  // Description file names, read in this order; duplicates (any case) are ignored.
  const std::vector<std::string>& SkinFileNames() const { return FSkinFileNames; }
  void AddSkinFileName(const std::string& name);
  void ClearSkinFileNames() { FSkinFileNames.clear(); }

  // Screen pixels per inch for scaled lengths (96 until the platform layer sets it).
  int32_t PixelsPerInch = 96;
  TSkinEngineEvent OnSkinLoaded, OnSkinChanged;
  TSkinListeners Listeners;

  // Internal: a file's list reports its changes here.
  void FileItemChanged(TSkinItem* item, TSkinItemAction action);

 private:
  static void IndexChanged(void* self, TSkinItem* item, TSkinItemAction action);
  void ForgetFile(TSkinFile* file);

  std::vector<std::unique_ptr<TSkinFile>> FFiles;
  TSkinShareImageList FImages;
  TSkinItemList FIndex{false, true};
  std::string FCacheName;
  TSkinItem* FCacheItem = nullptr;
  std::unique_ptr<TQZSkinReader> FReader;
  std::vector<std::string> FSkinFileNames{"Controls"};
  bool FDestroying = false;
};

}  // namespace skin
