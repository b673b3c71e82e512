// Reading the model from description elements: every attribute and child element the
// format knows, with its default. Unknown elements and attributes are ignored.
#include "base/Strings.h"
#include "skin/SkinItems.h"
#include "skin/SkinXml.h"

namespace skin {

using xml::IXMLNode;

namespace {

int32_t IntAttr(IXMLNode* node, std::string_view name, int32_t def) { return ParseInteger(Attr(node, name), def); }

int32_t Scaled(IXMLNode* node, std::string_view name, bool scale, const TSkinReadContext& ctx) {
  int32_t v = IntAttr(node, name, 0);
  return scale ? ScaleForScreen(v, ctx.PixelsPerInch) : v;
}

TColor ColorAttr(IXMLNode* node, std::string_view name, TColor def) { return ParseColor(Attr(node, name), def); }

int32_t AddClamped(int32_t a, int32_t b) {
  int64_t v = int64_t{a} + b;
  return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}

}  // namespace

std::string ItemNameOf(IXMLNode* node, const std::string& def) {
  std::string name = Attr(node, "name");
  return name.empty() ? def : name;
}

void TBorderMargins::ReadFrom(IXMLNode* node, const TSkinReadContext& ctx) {
  Scale = ParseBoolean(Attr(node, "Scale"), ScaleDefault);
  Left = Scaled(node, "Left", Scale, ctx);
  Top = Scaled(node, "Top", Scale, ctx);
  Right = Scaled(node, "Right", Scale, ctx);
  Bottom = Scaled(node, "Bottom", Scale, ctx);
}

void TSkinItemPos::ReadFrom(IXMLNode* node, const TSkinReadContext& ctx) {
  std::string relPos = Attr(node, "RelPos");
  RelPos = relPos.empty() ? int8_t{9} : static_cast<int8_t>(ParseInteger(relPos, -1));
  Scale = ParseBoolean(Attr(node, "Scale"), true);
  X = Scaled(node, "X", Scale, ctx);
  Y = Scaled(node, "Y", Scale, ctx);
  X2 = Scaled(node, "X2", Scale, ctx);
  Y2 = Scaled(node, "Y2", Scale, ctx);
  Width = Scaled(node, "Width", Scale, ctx);
  Height = Scaled(node, "Height", Scale, ctx);
}

void TSkinFont::ReadFrom(IXMLNode* node) {
  Name = Attr(node, "Name");
  Size = IntAttr(node, "Size", 0);
  Color = ColorAttr(node, "Color", ColorNotSet);
  Charset = ParseCharset(Attr(node, "Charset"));
  SetStyle(ParseFontStyle(Attr(node, "Style")));
  Loaded = true;
}

void TSkinPen::ReadFrom(IXMLNode* node) {
  Color = ColorAttr(node, "Color", ColorNotSet);
  Style = ParsePenStyle(Attr(node, "Style"));
  Width = IntAttr(node, "Width", 1);
}

void TSkinBrush::ReadFrom(IXMLNode* node) {
  Color = ColorAttr(node, "Color", ColorNotSet);
  Style = ParseBrushStyle(Attr(node, "Style"));
}

void TSkinFrames::ReadFrom(IXMLNode* node) {
  Left = ParseBoolean(Attr(node, "left"), false);
  Top = ParseBoolean(Attr(node, "top"), false);
  Right = ParseBoolean(Attr(node, "right"), false);
  Bottom = ParseBoolean(Attr(node, "bottom"), false);
}

void TSkinShadow::ReadFrom(IXMLNode* node) {
  Style = ParseShadowStyle(Attr(node, "style"));
  X = IntAttr(node, "X", 0);
  Y = IntAttr(node, "Y", 0);
  X2 = IntAttr(node, "X2", 0);
  Y2 = IntAttr(node, "Y2", 0);
  Color = ColorAttr(node, "Color", ColorNotSet);
  Color2 = ColorAttr(node, "Color2", ColorNotSet);
}

void TSkinControlShape::ReadFrom(IXMLNode* node) {
  Type = ParseControlShape(Attr(node, "type"));
  if (Type == scsRoundRect) {
    Width = IntAttr(node, "width", 0);
    Height = IntAttr(node, "height", 0);
  }
}

void TSkinAnimation::ReadFrom(IXMLNode* node) {
  FrameCount = IntAttr(node, "FrameCount", 1);
  FrameDelay = IntAttr(node, "FrameDelay", 10);
  std::string arrange = Attr(node, "Arrange");
  Vertical = !(arrange.empty() || base::SameText(arrange, "Horizontal"));
}

void TSkinImageRef::ReadFrom(IXMLNode* node, const TSkinReadContext& ctx) {
  Name = Attr(node, "Name");
  Type = Attr(node, "Type");
  Folder = ctx.Folder;
}

void TSkinMapList::ReadFrom(IXMLNode* node) {
  Items.clear();
  // Element children only: the whitespace and comments of a laid-out file are no entries.
  for (auto& child : ElementChildren(node)) {
    TSkinMapItem m;
    m.Id = IntAttr(child.Get(), "Id", 0);
    m.LangId = IntAttr(child.Get(), "LangId", 0);
    m.Mapto = IntAttr(child.Get(), "Mapto", 0);
    Items.push_back(m);
  }
}

void TSkinItemState::ReadFrom(IXMLNode* node, TSkinItemState* previous, const TSkinReadContext& ctx) {
  if (previous) {
    Rect = previous->Rect;
    ImageMargins.Assign(previous->ImageMargins);
    Font = previous->Font;
  }
  Part->ReadTransparency(node);
  Shape = ParseStateShape(Attr(node, "type"));
  TSkinRect r;
  r.Left = IntAttr(node, "Left", previous ? previous->Rect.Right : 0);
  r.Top = IntAttr(node, "Top", previous ? previous->Rect.Bottom : 0);
  r.Right = IntAttr(node, "Right", 0);
  if (r.Right == 0) r.Right = AddClamped(r.Left, IntAttr(node, "Width", 0));
  r.Bottom = IntAttr(node, "Bottom", 0);
  if (r.Bottom == 0) r.Bottom = AddClamped(r.Top, IntAttr(node, "Height", 0));
  Rect = r;

  int margins = 0;
  for (auto& child : ElementChildren(node)) {
    IXMLNode* c = child.Get();
    if (IsNamed(c, "Color")) {
      std::string text = base::Trim(NodeText(c));
      if (!text.empty()) Color = ParseColor(text, Color);
    } else if (IsNamed(c, "Margins")) {
      if (margins == 0)
        ImageMargins.ReadFrom(c, ctx);
      else if (margins == 1)
        TargetMargins.ReadFrom(c, ctx);
      ++margins;
    } else if (IsNamed(c, "Spaces")) {
      Spaces.ReadFrom(c, ctx);
    } else if (IsNamed(c, "Alignment")) {
      Alignment = static_cast<uint8_t>(ParseInteger(base::Trim(NodeText(c)), 0));
    } else if (IsNamed(c, "Font")) {
      Font.ReadFrom(c);
    } else if (IsNamed(c, "Pen")) {
      Pen.ReadFrom(c);
    } else if (IsNamed(c, "Brush")) {
      Brush.ReadFrom(c);
    } else if (IsNamed(c, "Shadow")) {
      Shadow.ReadFrom(c);
    } else if (IsNamed(c, "Frame")) {
      Frame.ReadFrom(c);
    } else if (IsNamed(c, "Animation")) {
      Animation.ReadFrom(c);
    }
  }
  if (margins == 1) TargetMargins.Assign(ImageMargins);
  if (!Font.Loaded) Font = Part->Font;
}

void TSkinItemPart::ReadTransparency(IXMLNode* node) {
  std::string color = Attr(node, "TransparentColor");
  if (!color.empty()) {
    TransparentColor = ParseColor(color, TransparentColor);
    TransparentMode = stmMask;
  }
  std::string mode = Attr(node, "TransparentMode");
  if (!mode.empty()) TransparentMode = ParseTransparentMode(mode);
}

void TSkinItemPart::ReadFrom(IXMLNode* node, const TSkinReadContext& ctx) {
  Id = IntAttr(node, "id", Id);
  Name = Attr(node, "Name");
  Visible = ParseBoolean(Attr(node, "Visible"), true);
  Enabled = ParseBoolean(Attr(node, "Enabled"), true);
  LangID = IntAttr(node, "LangID", 0);
  KeepingSize = ParseKeepingSize(Attr(node, "KeepingSize"));
  std::string fill = Attr(node, "FillMode");
  FillMode = ParseFillMode(fill.empty() ? Attr(node, "Stretch") : fill);
  Position.ReadFrom(node, ctx);

  std::vector<xml::TIntf<IXMLNode>> children = ElementChildren(node);
  for (auto& child : children)
    if (IsNamed(child.Get(), "Font")) {
      Font.ReadFrom(child.Get());
      break;
    }
  TSkinItemState* previous = nullptr;
  for (auto& child : children) {
    IXMLNode* c = child.Get();
    if (IsNamed(c, "State")) {
      auto state = std::make_unique<TSkinItemState>(Item, this);
      state->ReadFrom(c, previous, ctx);
      States.push_back(std::move(state));
      previous = States.back().get();
    } else if (IsNamed(c, "Position")) {
      Position.ReadFrom(c, ctx);
    } else if (IsNamed(c, "Margins")) {
      Margins.ReadFrom(c, ctx);
    } else if (IsNamed(c, "Padding")) {
      Padding.ReadFrom(c, ctx);
    } else if (IsNamed(c, "Graphic")) {
      Graphic.ReadFrom(c, ctx);
    } else if (IsNamed(c, "Shape")) {
      Shape.ReadFrom(c);
    }
  }
  // The part's own transparency wins over what its states said.
  ReadTransparency(node);
}

void TSkinItemSlice::ReadFrom(IXMLNode* node, const TSkinReadContext& ctx) {
  Id = Attr(node, "Id");
  int32_t left = IntAttr(node, "Left", 0), top = IntAttr(node, "Top", 0);
  Rect = {left, top, AddClamped(left, IntAttr(node, "Width", 0)), AddClamped(top, IntAttr(node, "Height", 0))};
  TransparentColor = ColorAttr(node, "TransparentColor", ColorDefault);
  if (Rect.Empty()) ParseRectList(Attr(node, "rect"), Rect);
  for (auto& child : ElementChildren(node))
    if (IsNamed(child.Get(), "Margins")) Margins.ReadFrom(child.Get(), ctx);
}

void TSkinItem::ReadFrom(IXMLNode* node, const TSkinReadContext& ctx) {
  InheritFrom = Attr(node, "InheritFrom");
  PartIdStart = IntAttr(node, "PartIdStart", 0);
  int32_t nextId = PartIdStart;
  for (auto& child : ElementChildren(node)) {
    IXMLNode* c = child.Get();
    if (IsNamed(c, "Part")) {
      TSkinItemPart* part = AddPart();
      part->Id = nextId;
      part->ReadFrom(c, ctx);
      nextId = AddClamped(part->Id, 1);
    } else if (IsNamed(c, "Slice")) {
      Slices.push_back(std::make_unique<TSkinItemSlice>(this));
      Slices.back()->ReadFrom(c, ctx);
    } else if (IsNamed(c, "Graphic")) {
      Graphic.ReadFrom(c, ctx);
    } else if (IsNamed(c, "MapList")) {
      MapList = std::make_unique<TSkinMapList>();
      MapList->ReadFrom(c);
    }
  }
}

}  // namespace skin
