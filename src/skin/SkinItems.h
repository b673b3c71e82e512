// The skin model: items, their parts, the states of each part, slices, map lists and
// references to image files, as read from skin description files. The engine owns the
// files, each file owns its items, and everything below an item is owned by that item;
// back-references (Item, Part, File, Engine) are plain pointers. GUI thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "skin/SkinImages.h"
#include "skin/SkinValues.h"

namespace xml {
struct IXMLNode;
}

namespace skin {

class TQZSkinEngine;
class TSkinFile;
class TSkinItem;
class TSkinItemPart;

// What reading needs besides the element: the screen's pixels per inch for scaled
// lengths and the folder of the file being read (for image references).
struct TSkinReadContext {
  int32_t PixelsPerInch = 96;
  std::string Folder;
};

struct TBorderMargins {
  explicit TBorderMargins(bool scaleDefault) : ScaleDefault(scaleDefault) {}
  int32_t Left = 0, Right = 0, Top = 0, Bottom = 0;
  bool Scale = false;
  const bool ScaleDefault;
  void Assign(const TBorderMargins& s) {
    Left = s.Left, Right = s.Right, Top = s.Top, Bottom = s.Bottom, Scale = s.Scale;
  }
  // Always sets all four sides.
  void ReadFrom(xml::IXMLNode* node, const TSkinReadContext& ctx);
};

struct TSkinItemPos {
  int8_t RelPos = 9;  // -1 when the attribute is not an integer
  int32_t X = 0, Y = 0, X2 = 0, Y2 = 0, Width = 0, Height = 0;
  bool Scale = true;
  void ReadFrom(xml::IXMLNode* node, const TSkinReadContext& ctx);
};

struct TSkinFont {
  bool StyleSet = false;
  std::string Name;
  int32_t Size = 0;
  TColor Color = ColorNotSet;
  uint8_t Charset = 0;
  bool Loaded = false;
  uint8_t Style = 0;  // fsBold | fsItalic | fsUnderline | fsStrikeOut
  void SetStyle(uint8_t style) {
    Style = style;
    StyleSet = true;
  }
  void ReadFrom(xml::IXMLNode* node);
};

struct TSkinPen {
  uint8_t Style = 0;
  int32_t Width = 1;
  TColor Color = ColorNotSet;
  void ReadFrom(xml::IXMLNode* node);
};

struct TSkinBrush {
  TColor Color = ColorNotSet;
  uint8_t Style = 0;
  void ReadFrom(xml::IXMLNode* node);
};

struct TSkinFrames {
  bool Left = true, Top = true, Right = true, Bottom = true;
  void ReadFrom(xml::IXMLNode* node);
};

struct TSkinShadow {
  int32_t X = 0, Y = 0, X2 = 0, Y2 = 0;
  TColor Color = ColorNotSet, Color2 = ColorNotSet;
  uint8_t Style = ssNone;
  void ReadFrom(xml::IXMLNode* node);
};

struct TSkinControlShape {
  int32_t Width = 0, Height = 0;
  uint8_t Type = scsNone;
  void ReadFrom(xml::IXMLNode* node);
};

class TSkinItemState;
struct TSkinAnimation {
  TSkinItemState* State = nullptr;
  int32_t FrameCount = 1;
  int32_t FrameDelay = 10;
  bool Vertical = false;
  void Assign(const TSkinAnimation& s) { FrameCount = s.FrameCount, FrameDelay = s.FrameDelay, Vertical = s.Vertical; }
  void ReadFrom(xml::IXMLNode* node);
};

// A reference to an image file (element Graphic). The image itself lives in the
// engine's shared cache, never in the reference.
class TSkinImageRef {
 public:
  TSkinImageRef(TQZSkinEngine* engine, const void* owner) : Engine(engine), Owner(owner) {}
  std::string Name, Type, Folder;
  bool Shared = false;
  TQZSkinEngine* Engine;
  const void* Owner;
  bool Assigned() const { return !Name.empty(); }
  void Assign(const TSkinImageRef& s) { Name = s.Name, Type = s.Type, Folder = s.Folder; }
  void ReadFrom(xml::IXMLNode* node, const TSkinReadContext& ctx);
  // The image from the engine's shared cache (marks the reference Shared). kind
  // ikBitmap: a TSkinBitmap or null; ikPicture: a picture or null; ikAny: whichever the
  // cache holds, else a bitmap. Never raises. An unshared copy for a caller to own comes
  // from TQZSkinEngine::LoadImage.
  TSkinImageObject* GetBitmap(int32_t kind);
};

class TSkinItemState {
 public:
  TSkinItemState(TSkinItem* item, TSkinItemPart* part);
  TSkinItem* const Item;
  TSkinItemPart* const Part;
  TBorderMargins ImageMargins{false}, TargetMargins{true}, Spaces{true};
  TSkinFont Font;
  TSkinPen Pen;
  TSkinBrush Brush;
  TSkinFrames Frame;
  TSkinShadow Shadow;
  TSkinRect Rect;
  bool AlphaPrepared = false;
  bool RectValidated = false;
  TColor Color = ColorNotSet;
  uint8_t Alignment = 0;
  uint8_t Shape = sssImage;
  TSkinAnimation Animation;

  // Copies everything but the owners; the copy validates and prepares again.
  void Assign(TSkinItemState& source);
  void ReadFrom(xml::IXMLNode* node, TSkinItemState* previous, const TSkinReadContext& ctx);
  // The part's image, else the item's, else the file's; null when none is named.
  TSkinImageRef* ImageSourceOf() const;
  // The bitmap to paint Rect from, with Rect checked against it (a rectangle outside
  // the image becomes empty, once) and, unless the part blends by alpha, the alpha
  // inside Rect forced opaque. The forced pixels live in the cache's opaque copy of the
  // image, so a part that blends by alpha keeps the image as loaded.
  TSkinBitmap* PrepareStateBitmap();
  // Rect, prepared first when it was never checked and its right edge is 0.
  TSkinRect GetRect();
};

class TSkinItemPart {
 public:
  explicit TSkinItemPart(TSkinItem* item);
  TSkinItem* const Item;
  std::vector<std::unique_ptr<TSkinItemState>> States;
  TBorderMargins Margins{true}, Padding{true};
  TSkinItemPos Position;
  TSkinFont Font;
  TSkinImageRef Graphic;
  TSkinControlShape Shape;
  int32_t Id;
  std::string Name;
  bool Enabled = true, Visible = true;
  uint8_t FillMode = sfmUnspecified;
  uint8_t TransparentMode = stmNone;
  TColor TransparentColor = clFuchsia;
  int32_t LangID = 0;
  uint8_t KeepingSize = 0;

  int32_t StateCount() const { return static_cast<int32_t>(States.size()); }
  TSkinItemState* State(int32_t index) const;
  TSkinItemState* AddState();
  void Assign(const TSkinItemPart& source);
  void ReadFrom(xml::IXMLNode* node, const TSkinReadContext& ctx);
  // TransparentColor and TransparentMode of a Part or State element.
  void ReadTransparency(xml::IXMLNode* node);
};

struct TSkinMapItem {
  int32_t Id = 0, Mapto = 0, LangId = 0;
};

struct TSkinMapList {
  std::vector<TSkinMapItem> Items;
  void ReadFrom(xml::IXMLNode* node);
};

// A named rectangle of the item's image.
class TSkinItemSlice {
 public:
  explicit TSkinItemSlice(TSkinItem* item) : Item(item) {}
  TSkinItem* const Item;
  std::string Id;
  TBorderMargins Margins{false};
  TSkinRect Rect;
  TColor TransparentColor = ColorDefault;
  bool AlphaPrepared = false;

  int32_t Width() const { return Rect.Right - Rect.Left; }
  int32_t Height() const { return Rect.Bottom - Rect.Top; }
  void SetWidth(int32_t w) { Rect.Right = Rect.Left + w; }
  void SetHeight(int32_t h) { Rect.Bottom = Rect.Top + h; }
  bool Empty() const { return Rect.Empty(); }
  bool Equals(const TSkinItemSlice& o) const { return Id == o.Id && Item == o.Item && Rect == o.Rect; }
  void Assign(const TSkinItemSlice& s);
  void ReadFrom(xml::IXMLNode* node, const TSkinReadContext& ctx);
  TSkinImageRef* ImageSourceOf() const;
  // The item's (or file's) bitmap; with a transparent colour set, the alpha inside
  // Rect is forced opaque in the cache's opaque copy.
  TSkinBitmap* PrepareBitmap();
};

class TSkinItem {
 public:
  TSkinItem(TQZSkinEngine* engine, TSkinFile* file);
  ~TSkinItem();
  TQZSkinEngine* const Engine;
  TSkinFile* const File;
  std::string Name;
  std::vector<std::unique_ptr<TSkinItemPart>> Parts;
  std::vector<std::unique_ptr<TSkinItemSlice>> Slices;
  std::unique_ptr<TSkinMapList> MapList;
  int32_t PartIdStart = 0;
  std::string InheritFrom;
  TSkinImageRef Graphic;

  int32_t PartCount() const { return static_cast<int32_t>(Parts.size()); }
  TSkinItemPart* Part(int32_t index) const;
  TSkinItemPart* AddPart();
  // Copies parts, slices, graphic and the map entries (never shares the map list).
  void Assign(const TSkinItem& source);
  // Reads the Item element; name must already be set (the engine decides whether the
  // name is new before reading the rest).
  void ReadFrom(xml::IXMLNode* node, const TSkinReadContext& ctx);
};

// The name an Item element gives, or def when it has none.
std::string ItemNameOf(xml::IXMLNode* node, const std::string& def);

}  // namespace skin
