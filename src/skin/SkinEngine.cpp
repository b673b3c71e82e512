#include "skin/SkinEngine.h"

#include "base/Log.h"
#include "base/Strings.h"
#include "skin/SkinXml.h"

namespace skin {

TQZSkinEngine::TQZSkinEngine(std::unique_ptr<TQZSkinReader> reader) : FReader(std::move(reader)) {
  if (!FReader) FReader = std::make_unique<TQZFileSkinReader>(this);
  FIndex.SetNotify(&TQZSkinEngine::IndexChanged, this);
}

TQZSkinEngine::~TQZSkinEngine() {
  FDestroying = true;
  FFiles.clear();
  Listeners.Clear();
  FIndex.Clear();
  FReader.reset();
  FImages.Clear();
}

void TQZSkinEngine::IndexChanged(void* self, TSkinItem* item, TSkinItemAction action) {
  auto* engine = static_cast<TQZSkinEngine*>(self);
  if (action != siaAdded && item == engine->FCacheItem) {
    engine->FCacheItem = nullptr;
    engine->FCacheName.clear();
  }
}

void TQZSkinEngine::FileItemChanged(TSkinItem* item, TSkinItemAction action) {
  if (FDestroying) return;
  if (action == siaAdded)
    FIndex.Add(item);
  else
    FIndex.Extract(item);
}

TSkinItem* TQZSkinEngine::FindItem(const std::string& name) {
  // The cache compares case-sensitively; other spellings take the index lookup.
  if (FCacheItem && name == FCacheName) return FCacheItem;
  TSkinItem* item = FIndex.Item(FIndex.IndexOf(name.empty() ? "Default" : name));
  if (item) {
    FCacheName = name;
    FCacheItem = item;
  }
  return item;
}

void TQZSkinEngine::AddSkinFileName(const std::string& name) {
  for (const std::string& n : FSkinFileNames)
    if (base::SameText(n, name)) return;
  FSkinFileNames.push_back(name);
}

bool TQZSkinEngine::LoadSkinFile(const std::string& name) {
  xml::TIntf<xml::IXMLDocument> doc;
  try {
    doc = FReader->LoadDescription(name);
  } catch (const std::exception& e) {
    base::WriteLog("Skin file " + name + " not loaded: " + e.what());
    return false;
  }
  return doc && LoadSkinDocument(name, doc.Get());
}

bool TQZSkinEngine::LoadSkinDocument(const std::string& name, xml::IXMLDocument* doc) {
  auto file = std::make_unique<TSkinFile>(this);
  try {
    file->FileName = name;
    file->Folder = base::ExtractFilePath(name);
    file->Graphic.Folder = file->Folder;
    xml::TIntf<xml::IXMLElement> root = doc->GetDocumentElement();
    if (!root) return false;
    TSkinReadContext ctx{PixelsPerInch, file->Folder};
    bool anyItem = false;
    for (auto& child : ElementChildren(root.Get())) {
      if (IsNamed(child.Get(), "Item")) {
        anyItem = true;
        std::string itemName = ItemNameOf(child.Get(), name);
        if (FindItem(itemName)) continue;  // the first definition of a name wins
        auto item = std::make_unique<TSkinItem>(this, file.get());
        item->Name = itemName;
        item->ReadFrom(child.Get(), ctx);
        file->Items.Add(item.release());
      } else if (IsNamed(child.Get(), "Graphic")) {
        file->Graphic.ReadFrom(child.Get(), ctx);
      }
    }
    if (!anyItem) return false;
    FFiles.push_back(std::move(file));
    return true;
  } catch (const std::exception& e) {
    // The file goes with every item it had already put into the index.
    base::WriteLog("Skin file " + name + " not loaded: " + e.what());
    return false;
  }
}

void TQZSkinEngine::LoadSkinFiles() {
  std::vector<std::string> names = FSkinFileNames;
  for (const std::string& name : names) LoadSkinFile(name);
}

bool TQZSkinEngine::ReloadSkin(intptr_t a, intptr_t b, bool loadFiles, TReloadCallback callback, void* userData) {
  // The old skin stays whole, outside the index, until every listener has returned.
  std::vector<std::unique_ptr<TSkinFile>> oldFiles = std::move(FFiles);
  FFiles.clear();
  TSkinShareImageList oldImages;
  oldImages.TakeFrom(FImages);
  FIndex.Clear();
  FCacheName.clear();
  FCacheItem = nullptr;
  if (loadFiles) LoadSkinFiles();
  if (callback) callback(userData, this, a, b);
  if (OnSkinLoaded) OnSkinLoaded(this);
  if (OnSkinChanged) OnSkinChanged(this);
  Listeners.Call(this, SkinChanged);
  Listeners.Call(this, SkinChangeDone);
  // oldFiles (with their items) and oldImages are freed here.
  return true;
}

std::unique_ptr<TSkinImageObject> TQZSkinEngine::LoadImage(const TSkinImageRef& ref, int32_t kind) {
  if (!ref.Assigned()) return nullptr;
  std::string type = ref.Type.empty() ? ImageTypeOf(ref.Name) : ref.Type;
  try {
    std::unique_ptr<TSkinImageObject> image = FReader->LoadImage(ref.Name, type, kind, ref.Folder);
    // A bitmap request never gets a picture, nor a picture request a bitmap.
    if (image && kind != ikAny && image->Kind() != kind) image.reset();
    return image;
  } catch (const std::exception&) {
    return nullptr;
  }
}

TSkinImageObject* TQZSkinEngine::GetImage(const TSkinImageRef& ref, int32_t kind) {
  if (!ref.Assigned()) return nullptr;
  if (kind == ikAny) {
    if (auto* e = FImages.Find(ref.Name, ikBitmap); e && e->Image) return e->Image.get();
    if (auto* e = FImages.Find(ref.Name, ikPicture); e && e->Image) return e->Image.get();
    kind = ikBitmap;
  } else if (kind != ikBitmap) {
    kind = ikPicture;
  }
  if (auto* entry = FImages.Find(ref.Name, kind)) return entry->Image.get();
  std::unique_ptr<TSkinImageObject> image = LoadImage(ref, kind);
  if (!image) base::WriteLog("Skin image not loaded: " + ref.Name);
  return FImages.Add(ref.Name, kind, std::move(image))->Image.get();
}

TSkinBitmap* TQZSkinEngine::GetOpaqueBitmap(const TSkinImageRef& ref, const TSkinRect& rect) {
  auto* bitmap = static_cast<TSkinBitmap*>(GetImage(ref, ikBitmap));
  if (!bitmap || bitmap->BitsPerPixel() != 32) return bitmap;
  TSkinShareImageList::TSkinImage* entry = FImages.Find(ref.Name, ikBitmap);
  if (!entry->Opaque) entry->Opaque = bitmap->Clone();
  SetAlphaInRect(*entry->Opaque, rect);
  return entry->Opaque.get();
}

}  // namespace skin
