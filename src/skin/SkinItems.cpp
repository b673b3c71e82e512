#include "skin/SkinItems.h"

#include <algorithm>

#include "base/Strings.h"
#include "skin/SkinEngine.h"
#include "skin/SkinFile.h"

namespace skin {

// ---- image references ----

TSkinImageObject* TSkinImageRef::GetBitmap(int32_t kind) {
  if (!Assigned() || !Engine) return nullptr;
  TSkinImageObject* image = Engine->GetImage(*this, kind);
  if (image) Shared = true;
  return image;
}

// ---- states ----

TSkinItemState::TSkinItemState(TSkinItem* item, TSkinItemPart* part) : Item(item), Part(part) {
  Animation.State = this;
}

void TSkinItemState::Assign(TSkinItemState& source) {
  Rect = source.GetRect();
  ImageMargins.Assign(source.ImageMargins);
  TargetMargins.Assign(source.TargetMargins);
  Spaces.Assign(source.Spaces);
  Font = source.Font;
  Pen = source.Pen;
  Brush = source.Brush;
  Shadow = source.Shadow;
  Frame = source.Frame;
  Alignment = source.Alignment;
  Color = source.Color;
  Shape = source.Shape;
  AlphaPrepared = false;
  RectValidated = false;
}

TSkinImageRef* TSkinItemState::ImageSourceOf() const {
  if (Part->Graphic.Assigned()) return &Part->Graphic;
  if (Item->Graphic.Assigned()) return &Item->Graphic;
  if (Item->File && Item->File->Graphic.Assigned()) return &Item->File->Graphic;
  return nullptr;
}

TSkinBitmap* TSkinItemState::PrepareStateBitmap() {
  TSkinImageRef* ref = ImageSourceOf();
  if (!ref) return nullptr;
  auto* bitmap = static_cast<TSkinBitmap*>(ref->GetBitmap(ikBitmap));
  if (!bitmap) return nullptr;
  if (!RectValidated) {
    if (bitmap->Width() < Rect.Right || bitmap->Height() < Rect.Bottom || Rect.Left < 0 || Rect.Top < 0) Rect = {};
    RectValidated = true;
  }
  if (Part->TransparentMode == stmAlpha) return bitmap;
  TSkinBitmap* opaque = Item->Engine->GetOpaqueBitmap(*ref, AlphaPrepared ? TSkinRect{} : Rect);
  AlphaPrepared = true;
  return opaque;
}

TSkinRect TSkinItemState::GetRect() {
  if (!RectValidated && Rect.Right == 0) PrepareStateBitmap();
  return Rect;
}

// ---- parts ----

TSkinItemPart::TSkinItemPart(TSkinItem* item) : Item(item), Graphic(item->Engine, this), Id(item->PartCount()) {
  Graphic.Folder = item->File ? item->File->Folder : std::string();
}

TSkinItemState* TSkinItemPart::State(int32_t index) const {
  return index >= 0 && index < StateCount() ? States[static_cast<size_t>(index)].get() : nullptr;
}

TSkinItemState* TSkinItemPart::AddState() {
  States.push_back(std::make_unique<TSkinItemState>(Item, this));
  return States.back().get();
}

void TSkinItemPart::Assign(const TSkinItemPart& s) {
  Id = s.Id;
  Name = s.Name;
  Position = s.Position;
  Font = s.Font;
  Margins.Assign(s.Margins);
  Padding.Assign(s.Padding);
  Graphic.Assign(s.Graphic);
  Shape = s.Shape;
  Enabled = s.Enabled;
  Visible = s.Visible;
  FillMode = s.FillMode;
  TransparentMode = s.TransparentMode;
  TransparentColor = s.TransparentColor;
  LangID = s.LangID;
  States.clear();
  for (const auto& state : s.States) AddState()->Assign(*state);
}

// ---- slices ----

void TSkinItemSlice::Assign(const TSkinItemSlice& s) {
  Id = s.Id;
  Rect = s.Rect;
  Margins.Assign(s.Margins);
  TransparentColor = s.TransparentColor;
}

TSkinImageRef* TSkinItemSlice::ImageSourceOf() const {
  if (Item->Graphic.Assigned()) return &Item->Graphic;
  if (Item->File && Item->File->Graphic.Assigned()) return &Item->File->Graphic;
  return nullptr;
}

TSkinBitmap* TSkinItemSlice::PrepareBitmap() {
  TSkinImageRef* ref = ImageSourceOf();
  if (!ref) return nullptr;
  if (TransparentColor == ColorNotSet || TransparentColor == ColorDefault)
    return static_cast<TSkinBitmap*>(ref->GetBitmap(ikBitmap));
  TSkinBitmap* opaque = Item->Engine->GetOpaqueBitmap(*ref, AlphaPrepared ? TSkinRect{} : Rect);
  if (opaque) AlphaPrepared = true;
  return opaque;
}

// ---- items ----

TSkinItem::TSkinItem(TQZSkinEngine* engine, TSkinFile* file) : Engine(engine), File(file), Graphic(engine, this) {
  Graphic.Folder = file ? file->Folder : std::string();
}

TSkinItem::~TSkinItem() = default;

TSkinItemPart* TSkinItem::Part(int32_t index) const {
  return index >= 0 && index < PartCount() ? Parts[static_cast<size_t>(index)].get() : nullptr;
}

TSkinItemPart* TSkinItem::AddPart() {
  Parts.push_back(std::make_unique<TSkinItemPart>(this));
  return Parts.back().get();
}

void TSkinItem::Assign(const TSkinItem& s) {
  Name = s.Name;
  PartIdStart = s.PartIdStart;
  InheritFrom = s.InheritFrom;
  Graphic.Assign(s.Graphic);
  Parts.clear();
  for (const auto& part : s.Parts) AddPart()->Assign(*part);
  Slices.clear();
  for (const auto& slice : s.Slices) {
    Slices.push_back(std::make_unique<TSkinItemSlice>(this));
    Slices.back()->Assign(*slice);
  }
  MapList = s.MapList ? std::make_unique<TSkinMapList>(*s.MapList) : nullptr;
}

// ---- item lists and files ----

void TSkinItemList::Add(TSkinItem* item) {
  TEntry entry{base::UpperCase(item->Name), item};
  if (FSorted) {
    auto at = std::upper_bound(FEntries.begin(), FEntries.end(), entry.Key,
                               [](const std::string& k, const TEntry& e) { return k < e.Key; });
    FEntries.insert(at, std::move(entry));
  } else {
    FEntries.push_back(std::move(entry));
  }
  Report(item, siaAdded);
}

TSkinItem* TSkinItemList::Item(int32_t index) const {
  return index >= 0 && index < Count() ? FEntries[static_cast<size_t>(index)].Item : nullptr;
}

int32_t TSkinItemList::IndexOf(const std::string& name) const {
  std::string key = base::UpperCase(name);
  if (FSorted) {
    auto at = std::lower_bound(FEntries.begin(), FEntries.end(), key,
                               [](const TEntry& e, const std::string& k) { return e.Key < k; });
    return at != FEntries.end() && at->Key == key ? static_cast<int32_t>(at - FEntries.begin()) : -1;
  }
  for (size_t i = 0; i < FEntries.size(); ++i)
    if (FEntries[i].Key == key) return static_cast<int32_t>(i);
  return -1;
}

TSkinItem* TSkinItemList::Extract(TSkinItem* item) {
  for (auto it = FEntries.begin(); it != FEntries.end(); ++it)
    if (it->Item == item) {
      FEntries.erase(it);
      Report(item, siaExtracted);
      return item;
    }
  return nullptr;
}

void TSkinItemList::Clear() {
  while (!FEntries.empty()) {
    TSkinItem* item = FEntries.back().Item;
    FEntries.pop_back();
    try {
      Report(item, siaDeleted);
    } catch (...) {
      // One entry's failing report must not keep the others alive.
    }
    if (FOwnsItems) delete item;
  }
}

namespace {
void FileItemsChanged(void* file, TSkinItem* item, TSkinItemAction action) {
  static_cast<TSkinFile*>(file)->Engine->FileItemChanged(item, action);
}
}  // namespace

TSkinFile::TSkinFile(TQZSkinEngine* engine) : Engine(engine), Graphic(engine, this) {
  Items.SetNotify(&FileItemsChanged, this);
}

TSkinFile::~TSkinFile() { Items.Clear(); }

}  // namespace skin
