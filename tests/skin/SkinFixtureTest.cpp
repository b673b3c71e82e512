// One fixture skin read through the engine, the file reader and the XML parser, checked
// against what every element and attribute must give.
#include <gtest/gtest.h>

#include "skin/SkinEngine.h"
#include "skin/SkinTestUtil.h"

using namespace skin;
using skintest::MakeBmp;
using skintest::Put;

namespace {

const char* kControls = R"(<?xml version="1.0"?>
<Skin>
  <Graphic Name="file.bmp"/>
  <Item name="Default"><Part><State Width="4" Height="4"/></Part></Item>
  <item NAME="Strip" PartIdStart="100" InheritFrom="Default">
    <Graphic Name="strip.bmp"/>
    <Part Name="h" TransparentMode="Alpha">
      <State Left="10" Width="20"/>
      <State Top="0" Width="20"/>
      <State Top="0" Right="60" Width="999"/>
      <!-- a comment between states -->
      <State Left="0" Top="0" Width="15" Height="8"/>
    </Part>
    <Part id="7" Name="seven" Stretch="True"/>
    <Part FillMode="" Stretch="False"/>
    <Part FillMode="tile" Stretch="True"/>
    <Part TransparentColor="clLime"/>
    <Part TransparentColor="clLime" TransparentMode="Alpha"/>
    <Part TransparentMode="bogus"/>
    <Part TransparentMode="Mask"><State TransparentMode="Alpha"/></Part>
    <Part><State TransparentColor="$0000FF"/></Part>
    <Part Name="vertical">
      <State Left="0" Width="5" Height="10"/>
      <State Left="0" Width="5" Height="10"/>
    </Part>
  </item>
  <Item name="STRIP"><Part/><Part/></Item>
  <Item name="Looks">
    <Part Name="p" KeepingSize="Window" Visible="0" Enabled="maybe" LangID="$10" X="10" RelPos="4">
      <State>
        <Margins Left="4" Top="1" Right="2" Bottom="3"/>
        <Spaces Left="2"/>
        <Color> clBtnFace </Color>
        <Alignment>2</Alignment>
        <Pen Style="dashdot" Width="3"/>
        <Brush Style="DiagCross" Color="$123456"/>
        <Shadow X="1" Y="2"/>
        <Frame left="true"/>
        <Animation FrameCount="4" FrameDelay="5" Arrange="Vertical"/>
      </State>
      <State>
        <Margins Left="4"/><margins Left="4" Scale="true"/><Margins Left="99"/>
        <Font Style="italic strikeout" Charset="7"/>
        <Pen Style="wavy"/>
        <Shadow style="double" Color="clRed" Color2="clNone"/>
      </State>
      <State><Shadow style="weird"/></State>
      <Font Name="Arial" Size="9" Style="semibold, underline" Charset="RUSSIAN_CHARSET" Color="clRed"/>
      <Margins Scale="False" Left="4"/>
      <Padding Left="4" Top="-4"/>
      <Position X="2" RelPos="x"/>
      <Shape type="RoundRect" width="5" height="6"/>
      <Graphic Name="own.bmp" Type="BMP"/>
    </Part>
    <Part Name="plain" RelPos="3" Scale="false" X="10"><State/><Shape type="Ellipse" width="5"/></Part>
    <Slice Id="a" Left="0" Width="0" rect="4,5,10,12"><Margins Left="1"/><Margins Left="2" Scale="1"/></Slice>
    <Slice Id="b" rect="4,x,10,12" TransparentColor="clFuchsia"/>
    <Slice Id="c" Left="1" Top="2" Width="3" Height="4" rect="9,9,9,9"/>
    <MapList>
      <Map Id="1" LangId="2" Mapto="3"/>
      <!-- note -->
      <Map Id="4"/>
    </MapList>
  </Item>
  <Item><Part/></Item>
</Skin>
)";

class SkinFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string folder = Tmp / "Skin/Fixture/";
    Put(folder + "Controls.xml", kControls);
    Put(folder + "file.bmp", MakeBmp(8, 8, 24, 1, 2, 3, 0));
    Put(folder + "strip.bmp", MakeBmp(64, 20, 32, 10, 20, 30, 0x80));
    Put(folder + "own.bmp", MakeBmp(4, 4, 32, 0, 0, 0, 0));
    Engine.PixelsPerInch = 144;
    Reader().SetRootFolderOverride(Tmp / "Skin");
    EXPECT_TRUE(Reader().OpenSkinFolder("Fixture"));
  }
  TQZFileSkinReader& Reader() { return static_cast<TQZFileSkinReader&>(Engine.Reader()); }
  TSkinItemPart* PartOf(const char* item, int index) {
    TSkinItem* i = Engine.FindItem(item);
    return i ? i->Part(index) : nullptr;
  }

  testsupport::TempDir Tmp;
  TQZSkinEngine Engine;
};

TSkinRect R(int32_t l, int32_t t, int32_t r, int32_t b) { return {l, t, r, b}; }

}  // namespace

TEST_F(SkinFixture, StateRectanglesContinueFromThePreviousState) {
  TSkinItemPart* h = PartOf("Strip", 0);
  ASSERT_TRUE(h);
  ASSERT_EQ(h->StateCount(), 4);
  EXPECT_EQ(h->State(0)->Rect, R(10, 0, 30, 0));
  EXPECT_EQ(h->State(1)->Rect, R(30, 0, 50, 0));
  EXPECT_EQ(h->State(2)->Rect, R(50, 0, 60, 0));  // Right given: Width ignored
  EXPECT_EQ(h->State(3)->Rect, R(0, 0, 15, 8));
  TSkinItemPart* v = PartOf("Strip", 9);
  ASSERT_TRUE(v);
  EXPECT_EQ(v->Name, "vertical");
  EXPECT_EQ(v->State(0)->Rect, R(0, 0, 5, 10));
  EXPECT_EQ(v->State(1)->Rect, R(0, 10, 5, 20));
  EXPECT_EQ(h->State(4), nullptr);
  EXPECT_EQ(h->State(-1), nullptr);
}

TEST_F(SkinFixture, PartIdsFillModesAndTransparency) {
  TSkinItem* strip = Engine.FindItem("strip");
  ASSERT_TRUE(strip);
  EXPECT_EQ(strip->InheritFrom, "Default");
  EXPECT_EQ(strip->PartIdStart, 100);
  ASSERT_EQ(strip->PartCount(), 10);  // the second "STRIP" item never entered
  struct Want {
    int32_t id;
    uint8_t fill, mode;
    TColor color;
  } want[] = {{100, 0, stmAlpha, clFuchsia},    {7, sfmStretch, stmNone, clFuchsia}, {8, sfmNone, stmNone, clFuchsia},
              {9, sfmTile, stmNone, clFuchsia}, {10, 0, stmMask, 0x00FF00},          {11, 0, stmAlpha, 0x00FF00},
              {12, 0, stmNone, clFuchsia},      {13, 0, stmMask, clFuchsia},         {14, 0, stmMask, 0x0000FF}};
  for (int i = 0; i < 9; ++i) {
    TSkinItemPart* p = strip->Part(i);
    EXPECT_EQ(p->Id, want[i].id) << i;
    EXPECT_EQ(p->FillMode, want[i].fill) << i;
    EXPECT_EQ(p->TransparentMode, want[i].mode) << i;
    EXPECT_EQ(p->TransparentColor, want[i].color) << i;
  }
}

TEST_F(SkinFixture, StateVocabulary) {
  TSkinItemPart* p = PartOf("Looks", 0);
  ASSERT_TRUE(p);
  ASSERT_EQ(p->StateCount(), 3);
  TSkinItemState* s0 = p->State(0);
  // Image margins are not scaled by default; a single Margins is copied to the target.
  EXPECT_EQ(s0->ImageMargins.Left, 4);
  EXPECT_EQ(s0->ImageMargins.Bottom, 3);
  EXPECT_EQ(s0->TargetMargins.Left, 4);
  EXPECT_EQ(s0->TargetMargins.Right, 2);
  EXPECT_EQ(s0->Spaces.Left, 3);  // scaled at 144 pixels per inch
  EXPECT_EQ(s0->Color, static_cast<TColor>(0xFF00000F));
  EXPECT_EQ(s0->Alignment, 2);
  EXPECT_EQ(s0->Pen.Style, 3);
  EXPECT_EQ(s0->Pen.Width, 3);
  EXPECT_EQ(s0->Pen.Color, ColorNotSet);
  EXPECT_EQ(s0->Brush.Style, 7);
  EXPECT_EQ(s0->Brush.Color, 0x123456);
  EXPECT_EQ(s0->Shadow.Style, ssOffset);
  EXPECT_EQ(s0->Shadow.Y, 2);
  EXPECT_TRUE(s0->Frame.Left);
  EXPECT_FALSE(s0->Frame.Top || s0->Frame.Right || s0->Frame.Bottom);
  EXPECT_EQ(s0->Animation.FrameCount, 4);
  EXPECT_EQ(s0->Animation.FrameDelay, 5);
  EXPECT_TRUE(s0->Animation.Vertical);
  EXPECT_EQ(s0->Animation.State, s0);
  // No Font of its own: the part's font, read before the states although it comes last.
  EXPECT_EQ(s0->Font.Name, "Arial");
  EXPECT_EQ(s0->Font.Style, fsBold | fsUnderline);
  EXPECT_EQ(s0->Font.Charset, 204);
  EXPECT_EQ(s0->Font.Color, 0x0000FF);

  TSkinItemState* s1 = p->State(1);
  EXPECT_EQ(s1->ImageMargins.Left, 4);
  EXPECT_EQ(s1->ImageMargins.Top, 0);  // a margins element sets all four sides
  EXPECT_EQ(s1->TargetMargins.Left, 6);
  EXPECT_EQ(s1->Font.Name, "");
  EXPECT_EQ(s1->Font.Style, fsItalic | fsStrikeOut);
  EXPECT_TRUE(s1->Font.StyleSet);
  EXPECT_EQ(s1->Font.Charset, 7);
  EXPECT_EQ(s1->Pen.Style, 0);
  EXPECT_EQ(s1->Shadow.Style, ssDouble);
  EXPECT_EQ(s1->Shadow.Color, 0x0000FF);
  EXPECT_EQ(s1->Shadow.Color2, ColorNotSet);
  EXPECT_TRUE(s1->Frame.Top);  // no Frame element: all sides on
  EXPECT_EQ(s1->Rect, R(0, 0, 0, 0));

  TSkinItemState* s2 = p->State(2);
  EXPECT_EQ(s2->Font.Style, fsItalic | fsStrikeOut);  // the previous state's font
  EXPECT_EQ(s2->ImageMargins.Left, 4);                // and image margins
  EXPECT_EQ(s2->TargetMargins.Left, 0);
  EXPECT_EQ(s2->Shadow.Style, ssNone);
  EXPECT_EQ(s2->Color, ColorNotSet);
}

TEST_F(SkinFixture, PartVocabulary) {
  TSkinItemPart* p = PartOf("Looks", 0);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->KeepingSize, sksWindow);
  EXPECT_FALSE(p->Visible);
  EXPECT_TRUE(p->Enabled);
  EXPECT_EQ(p->LangID, 16);
  EXPECT_EQ(p->Position.RelPos, -1);
  EXPECT_EQ(p->Position.X, 3);  // the Position child (2 scaled) overrides X="10"
  EXPECT_EQ(p->Margins.Left, 4);
  EXPECT_EQ(p->Padding.Left, 6);
  EXPECT_EQ(p->Padding.Top, -6);
  EXPECT_EQ(p->Shape.Type, scsRoundRect);
  EXPECT_EQ(p->Shape.Width, 5);
  EXPECT_EQ(p->Shape.Height, 6);
  EXPECT_EQ(p->Graphic.Name, "own.bmp");
  EXPECT_EQ(p->Graphic.Type, "BMP");
  TSkinItemPart* plain = PartOf("Looks", 1);
  EXPECT_EQ(plain->Position.RelPos, 3);
  EXPECT_EQ(plain->Position.X, 10);  // Scale="false"
  EXPECT_EQ(plain->KeepingSize, sksClient);
  EXPECT_EQ(plain->Shape.Type, scsEllipse);
  EXPECT_EQ(plain->Shape.Width, 0);  // corner size only for RoundRect
  EXPECT_EQ(PartOf("Strip", 1)->Position.RelPos, 9);
}

TEST_F(SkinFixture, SlicesAndMapList) {
  TSkinItem* looks = Engine.FindItem("Looks");
  ASSERT_TRUE(looks);
  ASSERT_EQ(looks->Slices.size(), 3u);
  EXPECT_EQ(looks->Slices[0]->Rect, R(4, 5, 14, 17));
  EXPECT_EQ(looks->Slices[0]->Margins.Left, 3);  // the last Margins wins, scaled on request
  EXPECT_EQ(looks->Slices[0]->TransparentColor, ColorDefault);
  EXPECT_EQ(looks->Slices[1]->Rect, R(4, 0, 0, 0));
  EXPECT_EQ(looks->Slices[1]->TransparentColor, clFuchsia);
  EXPECT_EQ(looks->Slices[2]->Rect, R(1, 2, 4, 6));
  EXPECT_EQ(looks->Slices[2]->Width(), 3);
  ASSERT_TRUE(looks->MapList);
  ASSERT_EQ(looks->MapList->Items.size(), 2u);
  EXPECT_EQ(looks->MapList->Items[0].LangId, 2);
  EXPECT_EQ(looks->MapList->Items[0].Mapto, 3);
  EXPECT_EQ(looks->MapList->Items[1].Id, 4);
}

TEST_F(SkinFixture, NamesAndLookups) {
  TSkinItem* def = Engine.FindItem("");
  ASSERT_TRUE(def);
  EXPECT_EQ(def->Name, "Default");
  EXPECT_EQ(Engine.FindItem("Controls")->PartCount(), 1);  // unnamed item: the file's name
  TSkinItem* a = Engine.FindItem("Looks");
  EXPECT_EQ(Engine.FindItem("LOOKS"), a);
  EXPECT_EQ(Engine.FindItem("Looks"), a);
  EXPECT_EQ(Engine.FindItem("Nothing"), nullptr);
  EXPECT_EQ(Engine.Index().Count(), 4);
}

TEST_F(SkinFixture, ImagesComeFromPartItemOrFileAndAreShared) {
  TSkinItemState* own = PartOf("Looks", 0)->State(0);
  TSkinItemState* fromItem = PartOf("Strip", 0)->State(0);
  TSkinItemState* fromFile = PartOf("Default", 0)->State(0);
  EXPECT_EQ(own->ImageSourceOf()->Name, "own.bmp");
  EXPECT_EQ(fromItem->ImageSourceOf()->Name, "strip.bmp");
  EXPECT_EQ(fromFile->ImageSourceOf()->Name, "file.bmp");
  TSkinBitmap* fileBitmap = fromFile->PrepareStateBitmap();
  ASSERT_TRUE(fileBitmap);
  EXPECT_EQ(fileBitmap->Width(), 8);
  EXPECT_EQ(fileBitmap->BitsPerPixel(), 24);
  // Every reference to the same name (any case) gets the same bitmap.
  TSkinImageRef upper(&Engine, nullptr);
  upper.Name = "STRIP.BMP";
  EXPECT_EQ(upper.GetBitmap(ikBitmap), PartOf("Strip", 0)->Item->Graphic.GetBitmap(ikBitmap));
  EXPECT_TRUE(upper.Shared);
}

TEST_F(SkinFixture, AlphaIsForcedOnlyInsideStateRectanglesAndNeverInAnAlphaPartsImage) {
  TSkinItemPart* alphaPart = PartOf("Strip", 0);
  TSkinItemPart* maskPart = PartOf("Strip", 9);  // mode none, same strip.bmp
  TSkinBitmap* asLoaded = alphaPart->State(0)->PrepareStateBitmap();
  ASSERT_TRUE(asLoaded);
  TSkinBitmap* opaque = maskPart->State(0)->PrepareStateBitmap();
  ASSERT_TRUE(opaque);
  EXPECT_NE(opaque, asLoaded);
  EXPECT_TRUE(maskPart->State(0)->AlphaPrepared);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 64; ++x) {
      bool inside = x < 5 && y < 10;
      ASSERT_EQ(opaque->Pixel(x, y)[3], inside ? 255 : 0x80) << x << "," << y;
      ASSERT_EQ(asLoaded->Pixel(x, y)[3], 0x80) << x << "," << y;
    }
  EXPECT_EQ(alphaPart->State(0)->PrepareStateBitmap(), asLoaded);
}

TEST_F(SkinFixture, RectangleOutsideTheImageBecomesEmptyOnce) {
  TSkinItemState* s = PartOf("Strip", 0)->State(2);  // 50..60 fits in 64
  s->Rect = R(60, 0, 70, 5);                         // as a skin could give it
  s->RectValidated = false;
  EXPECT_TRUE(s->PrepareStateBitmap());
  EXPECT_EQ(s->Rect, R(0, 0, 0, 0));
  EXPECT_TRUE(s->RectValidated);
  s->Rect = R(60, 0, 70, 5);
  s->PrepareStateBitmap();
  EXPECT_EQ(s->Rect, R(60, 0, 70, 5));  // checked once only
  // A part without states yields no state rather than an error.
  EXPECT_EQ(Engine.FindItem("Controls")->Part(0)->State(0), nullptr);
  EXPECT_EQ(Engine.FindItem("Controls")->Part(1), nullptr);
}

TEST_F(SkinFixture, AssignCopiesStatesAndPartsWithoutSharing) {
  TSkinItem* looks = Engine.FindItem("Looks");
  TSkinItem copy(&Engine, looks->File);
  copy.Assign(*looks);
  ASSERT_EQ(copy.PartCount(), 2);
  EXPECT_EQ(copy.Part(0)->State(1)->TargetMargins.Left, 6);
  EXPECT_EQ(copy.Part(0)->State(0)->Item, &copy);
  EXPECT_EQ(copy.Part(0)->State(0)->Part, copy.Part(0));
  ASSERT_TRUE(copy.MapList);
  EXPECT_NE(copy.MapList.get(), looks->MapList.get());
  EXPECT_EQ(copy.Slices[0]->Rect, R(4, 5, 14, 17));
  EXPECT_TRUE(copy.Slices[0]->Equals(*copy.Slices[0]));
  EXPECT_FALSE(copy.Slices[0]->Equals(*looks->Slices[0]));  // another item
}
