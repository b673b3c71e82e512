// The engine over real skin folders: loading, folders, reload with listeners, the
// shared image cache and the rules for hostile skins.
#include <gtest/gtest.h>

#include <filesystem>

#include "skin/SkinEngine.h"
#include "skin/SkinSupport.h"
#include "skin/SkinTestUtil.h"

using namespace skin;
using skintest::MakeBmp;
using skintest::Put;

namespace {

// Records every path the reader asks for, then loads through the .bmp provider; kind 2
// gives a picture object.
class RecordingProvider : public ISkinImageProvider {
 public:
  struct Picture : TSkinImageObject {
    int32_t Kind() const override { return ikPicture; }
  };
  explicit RecordingProvider(std::vector<std::string>* paths) : FPaths(paths) {}
  std::unique_ptr<TSkinImageObject> Load(const std::string& path, const std::string& type, int32_t kind) override {
    FPaths->push_back(path);
    if (kind == ikPicture) return std::make_unique<Picture>();
    return TBmpImageProvider().Load(path, type, kind);
  }

 private:
  std::vector<std::string>* FPaths;
};

class SkinEngineTest : public ::testing::Test {
 protected:
  SkinEngineTest() {
    Reader = &static_cast<TQZFileSkinReader&>(Engine.Reader());
    Reader->SetImageProvider(std::make_unique<RecordingProvider>(&Paths));
    Reader->SetRootFolderOverride(Tmp / "Skin");
  }
  std::string SkinDir(const std::string& name) { return Tmp / ("Skin/" + name + "/"); }

  testsupport::TempDir Tmp;
  std::vector<std::string> Paths;
  TQZSkinEngine Engine;
  TQZFileSkinReader* Reader = nullptr;
};

const char* kOne = R"(<Skin><Item name="Button"><Graphic Name="b.bmp"/><Part><State Width="2" Height="2"/></Part></Item>
  <Item name="Default"><Part/></Item></Skin>)";
const char* kTwo = R"(<Skin><Item name="button"><Part/><Part/></Item><Item name="Edit"/></Skin>)";

}  // namespace

TEST_F(SkinEngineTest, StartsEmptyAndFindsNothing) {
  EXPECT_EQ(Engine.FindItem(""), nullptr);
  EXPECT_EQ(Engine.FileCount(), 0);
  ASSERT_EQ(Engine.SkinFileNames().size(), 1u);
  EXPECT_EQ(Engine.SkinFileNames()[0], "Controls");
  Engine.AddSkinFileName("CONTROLS");
  EXPECT_EQ(Engine.SkinFileNames().size(), 1u);
}

TEST_F(SkinEngineTest, FilesLoadInOrderAndTheFirstDefinitionWins) {
  Put(SkinDir("A") + "Controls.xml", kOne);
  Put(SkinDir("A") + "Extra.cfg", kTwo);
  Put(SkinDir("A") + "Empty.xml", "<Skin><Graphic Name='x.bmp'/></Skin>");
  Put(SkinDir("A") + "Broken.xml", "<Skin><Item name=Broken><Part/></Item></Skin>");
  Put(SkinDir("A") + "BadColor.xml",
      "<Skin><Item name='Early'/><Item name='Late'><Part><State><Color>clReddish</Color></State></Part></Item></Skin>");
  Engine.AddSkinFileName("Extra.cfg");
  Engine.AddSkinFileName("Empty");
  Engine.AddSkinFileName("Missing");
  Engine.AddSkinFileName("Broken");
  Engine.AddSkinFileName("BadColor");
  skintest::LogRecorder log;
  EXPECT_TRUE(Reader->OpenSkinFolder("A"));
  EXPECT_EQ(Engine.FileCount(), 2);
  TSkinItem* button = Engine.FindItem("BUTTON");
  ASSERT_TRUE(button);
  EXPECT_EQ(button->PartCount(), 1);  // from Controls, loaded first
  EXPECT_EQ(button->File->FileName, "Controls");
  ASSERT_TRUE(Engine.FindItem("edit"));
  EXPECT_EQ(Engine.FindItem("Edit")->File->FileName, "Extra.cfg");
  // An invalid colour drops its whole file, also the items read before it.
  EXPECT_EQ(Engine.FindItem("Early"), nullptr);
  EXPECT_EQ(Engine.FindItem("Broken"), nullptr);
  EXPECT_EQ(log.Count("BadColor"), 1);
  EXPECT_FALSE(Engine.LoadSkinFile("Empty"));
  EXPECT_EQ(Engine.FileCount(), 2);
}

TEST_F(SkinEngineTest, DescriptionNamesGetTheFolderAndTheDefaultExtension) {
  Put(SkinDir("A") + "Controls.xml", kOne);
  Put(SkinDir("A") + "Controls.cfg", kTwo);
  Put(Tmp / "outside.xml", kTwo);
  Reader->OpenSkinFolder("A");
  EXPECT_TRUE(Reader->LoadDescription("Controls"));
  EXPECT_TRUE(Reader->LoadDescription("Controls.cfg"));
  EXPECT_FALSE(Reader->LoadDescription("Nothing"));
  // A name with a folder part is read as given.
  EXPECT_TRUE(Reader->LoadDescription(Tmp / "outside"));
}

TEST_F(SkinEngineTest, FoldersAreEnumeratedAndOpenedOnce) {
  Put(SkinDir("Blue") + "Controls.xml", kOne);
  Put(SkinDir("Green") + "Controls.xml", kTwo);
  Put(Tmp / "Skin/readme.txt", "not a skin");
  std::vector<std::string> seen;
  auto collect = [](void* ud, const std::string& name, const std::string&, intptr_t value, intptr_t) {
    static_cast<std::vector<std::string>*>(ud)->push_back(name);
    return value != 1;
  };
  EXPECT_EQ(Reader->EnumSkinFolders(0, 0, collect, &seen), 2);
  EXPECT_EQ(seen, (std::vector<std::string>{"Blue", "Green"}));
  seen.clear();
  EXPECT_EQ(Reader->EnumSkinFolders(0, 1, collect, &seen), 0);  // stops at the first false
  EXPECT_EQ(seen.size(), 1u);

  int reloads = 0;
  Engine.OnSkinLoaded = {[](void* n, TQZSkinEngine*) { ++*static_cast<int*>(n); }, &reloads};
  EXPECT_TRUE(Reader->OpenSkinFolder("Blue"));
  EXPECT_TRUE(Reader->OpenSkinFolder("Blue"));
  EXPECT_EQ(reloads, 1);
  EXPECT_EQ(Engine.FindItem("Button")->PartCount(), 1);
  std::string green = Tmp / "Skin\\Green";
  EXPECT_TRUE(Reader->OpenSkinFolder(green));
  EXPECT_EQ(Reader->Folder, green);
  EXPECT_EQ(Engine.FindItem("Button")->PartCount(), 2);
  EXPECT_FALSE(Reader->OpenSkinFolder("Purple"));
  EXPECT_EQ(reloads, 3);
  EXPECT_EQ(Reader->CurrentName, "Purple");
  EXPECT_EQ(Engine.FindItem("Button"), nullptr);
  EXPECT_EQ(Engine.FileCount(), 0);
}

namespace {
struct ReloadProbe {
  TQZSkinEngine* Engine;
  TSkinItem* Old;
  std::vector<std::string> Calls;
};
void Listener(void* ud, TQZSkinEngine* engine, TSkinChangePhase phase) {
  auto* p = static_cast<ReloadProbe*>(ud);
  // The old skin is still whole: reading its items, parts and bitmap is safe here.
  p->Calls.push_back(std::to_string(phase) + ":" + p->Old->Name + ":" +
                     std::to_string(p->Old->Part(0)->State(0)->GetRect().Right) + ":" +
                     std::to_string(p->Old->Part(0)->State(0)->PrepareStateBitmap()->Width()));
  EXPECT_NE(engine->FindItem("Button"), p->Old);
}
}  // namespace

TEST_F(SkinEngineTest, ListenersSeeTheOldSkinUntilTheLastOneReturned) {
  Put(SkinDir("A") + "Controls.xml", kOne);
  Put(SkinDir("A") + "b.bmp", MakeBmp(3, 3, 32, 1, 2, 3, 4));
  Put(SkinDir("B") + "Controls.xml", kOne);
  Put(SkinDir("B") + "b.bmp", MakeBmp(5, 5, 32, 1, 2, 3, 4));
  Reader->OpenSkinFolder("A");
  ReloadProbe probe{&Engine, Engine.FindItem("Button"), {}};
  ASSERT_TRUE(probe.Old);
  ASSERT_TRUE(probe.Old->Part(0)->State(0)->PrepareStateBitmap());
  Engine.Listeners.Add({&Listener, &probe});
  Engine.Listeners.Add({&Listener, &probe});
  std::vector<std::string> order;
  Engine.OnSkinChanged = {
      [](void* o, TQZSkinEngine*) { static_cast<std::vector<std::string>*>(o)->push_back("changed"); }, &order};
  auto callback = [](void* o, TQZSkinEngine*, intptr_t a, intptr_t b) {
    static_cast<std::vector<std::string>*>(o)->push_back("callback " + std::to_string(a + b));
  };
  EXPECT_TRUE(Engine.ReloadSkin(2, 3, true, callback, &order));
  EXPECT_EQ(order, (std::vector<std::string>{"callback 5", "changed"}));
  EXPECT_EQ(probe.Calls, (std::vector<std::string>{"0:Button:2:3", "0:Button:2:3", "1:Button:2:3", "1:Button:2:3"}));
  // The folder switch reads the new images; the old ones went with the old skin.
  probe.Calls.clear();
  Engine.Listeners.Clear();
  Reader->OpenSkinFolder("B");
  EXPECT_EQ(Engine.FindItem("Button")->Part(0)->State(0)->PrepareStateBitmap()->Width(), 5);
}

TEST_F(SkinEngineTest, HostileImagePathsAreRefusedAndNothingOutsideIsOpened) {
  Put(Tmp / "secret.bmp", MakeBmp(2, 2, 24, 0, 0, 0, 0));  // beside the skins root
  Put(SkinDir("A") + "sub/inner.bmp", MakeBmp(2, 2, 24, 0, 0, 0, 0));
  std::string items;
  const char* hostile[] = {"..\\..\\secret.bmp",     "sub\\..\\..\\..\\secret.bmp",
                           "../../secret.bmp",       "C:\\secret.bmp",
                           "\\\\evil\\share\\x.bmp", "/etc/passwd",
                           "c:secret.bmp",           "sub\\inner.bmp"};
  int n = 0;
  for (const char* name : hostile)
    items += "<Item name='I" + std::to_string(n++) + "'><Graphic Name='" + name + "'/><Part><State/></Part></Item>";
  Put(SkinDir("A") + "Controls.xml", "<Skin>" + items + "</Skin>");
  skintest::LogRecorder log;
  Reader->OpenSkinFolder("A");
  for (int i = 0; i < n; ++i) {
    TSkinItem* item = Engine.FindItem("I" + std::to_string(i));
    ASSERT_TRUE(item);
    TSkinBitmap* b = item->Part(0)->State(0)->PrepareStateBitmap();
    EXPECT_EQ(b != nullptr, i == n - 1) << hostile[i];
  }
  ASSERT_EQ(Paths.size(), 1u);
  EXPECT_NE(Paths[0].find("inner.bmp"), std::string::npos);
  EXPECT_EQ(log.Count("Skin image path refused"), n - 1);
  EXPECT_EQ(log.Count("Skin image path refused: ..\\..\\secret.bmp"), 1);
}

TEST_F(SkinEngineTest, SkinsShareImagesThroughTheirSiblingFolders) {
  // Two skins drawing from a common folder and one from the other's, all below the root.
  Put(Tmp / "Skin/Shared/frame.bmp", MakeBmp(3, 2, 24, 0, 0, 0, 0));
  Put(SkinDir("A") + "own.bmp", MakeBmp(4, 2, 24, 0, 0, 0, 0));
  Put(SkinDir("A") + "Controls.xml",
      "<Skin><Item name='Frame'><Graphic Name='..\\Shared\\frame.bmp'/><Part><State/></Part></Item>"
      "<Item name='Own'><Graphic Name='own.bmp'/><Part><State/></Part></Item></Skin>");
  Put(SkinDir("B") + "Controls.xml",
      "<Skin><Item name='Frame'><Graphic Name='../Shared/./frame.bmp'/><Part><State/></Part></Item>"
      "<Item name='Own'><Graphic Name='..\\A\\own.bmp'/><Part><State/></Part></Item></Skin>");
  for (const char* skin : {"A", "B"}) {
    Reader->OpenSkinFolder(skin);
    TSkinBitmap* frame = Engine.FindItem("Frame")->Part(0)->State(0)->PrepareStateBitmap();
    TSkinBitmap* own = Engine.FindItem("Own")->Part(0)->State(0)->PrepareStateBitmap();
    ASSERT_TRUE(frame && own) << skin;
    EXPECT_EQ(frame->Width(), 3) << skin;
    EXPECT_EQ(own->Width(), 4) << skin;
  }
  ASSERT_EQ(Paths.size(), 4u);
  EXPECT_EQ(Paths[2], Paths[0]);  // the same files, named the same way
  EXPECT_EQ(Paths[3], Paths[1]);
}

TEST_F(SkinEngineTest, MissingImageIsReportedOnceAndKindsNeverMix) {
  Put(SkinDir("A") + "Controls.xml",
      "<Skin><Item name='Gone'><Graphic Name='gone.bmp'/><Part><State/><State/></Part></Item>"
      "<Item name='Pic'><Graphic Name='p.bmp'/><Part><State/></Part></Item></Skin>");
  Put(SkinDir("A") + "p.bmp", MakeBmp(2, 2, 32, 0, 0, 0, 0));
  skintest::LogRecorder log;
  Reader->OpenSkinFolder("A");
  TSkinItemPart* gone = Engine.FindItem("Gone")->Part(0);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(gone->State(0)->PrepareStateBitmap(), nullptr);
    EXPECT_EQ(gone->State(1)->PrepareStateBitmap(), nullptr);
  }
  EXPECT_EQ(log.Count("gone.bmp"), 1);
  EXPECT_EQ(Paths.size(), 1u);

  // A picture and a bitmap of the same name live side by side; neither frees the other.
  TSkinImageRef& ref = Engine.FindItem("Pic")->Graphic;
  TSkinImageObject* picture = ref.GetBitmap(ikPicture);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->Kind(), ikPicture);
  TSkinImageObject* bitmap = ref.GetBitmap(ikBitmap);
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(bitmap->Kind(), ikBitmap);
  EXPECT_EQ(ref.GetBitmap(ikPicture), picture);
  EXPECT_EQ(picture->Kind(), ikPicture);  // still alive (ASan would say otherwise)
  EXPECT_EQ(ref.GetBitmap(ikAny), bitmap);
  EXPECT_EQ(Engine.Images().Count(), 3);
}

TEST_F(SkinEngineTest, RemovingAnItemFromItsFileTakesItOutOfTheIndex) {
  Put(SkinDir("A") + "Controls.xml", kOne);
  Reader->OpenSkinFolder("A");
  TSkinItem* button = Engine.FindItem("Button");
  ASSERT_TRUE(button);
  TSkinFile* file = button->File;
  EXPECT_EQ(file->Items.Extract(button), button);
  EXPECT_EQ(Engine.FindItem("Button"), nullptr);  // the cached result went too
  EXPECT_EQ(file->Items.Extract(button), nullptr);
  delete button;
  EXPECT_TRUE(Engine.FindItem("Default"));
}

TEST(SkinSamples, BothSampleSkinsLoadWithTheirImages) {
  TQZSkinEngine engine;
  auto& reader = static_cast<TQZFileSkinReader&>(engine.Reader());
  reader.SetRootFolderOverride(SKIN_SAMPLES_DIR);
  std::vector<std::string> names;
  reader.EnumSkinFolders(
      0, 0,
      [](void* ud, const std::string& n, const std::string&, intptr_t, intptr_t) {
        static_cast<std::vector<std::string>*>(ud)->push_back(n);
        return true;
      },
      &names);
  EXPECT_EQ(names, (std::vector<std::string>{"Blue", "Green"}));
  for (const char* skin : {"Blue", "Green"}) {
    ASSERT_TRUE(reader.OpenSkinFolder(skin)) << skin;
    for (const char* item : {"Default", "Button", "CheckBox", "Panel"}) ASSERT_TRUE(engine.FindItem(item)) << item;
    TSkinItemPart* button = engine.FindItem("Button")->Part(0);
    ASSERT_EQ(button->StateCount(), 4);
    EXPECT_EQ(button->State(3)->GetRect().Left, 72);
    TSkinBitmap* strip = button->State(0)->PrepareStateBitmap();
    ASSERT_TRUE(strip);
    EXPECT_EQ(strip->Pixel(0, 0)[3], 0);  // Alpha part: the soft corner stays
    ASSERT_TRUE(engine.FindItem("CheckBox")->Part(0)->State(1)->PrepareStateBitmap());
    ASSERT_TRUE(engine.FindItem("Panel")->Slices[0]->PrepareBitmap());
    EXPECT_EQ(engine.FindItem("")->Part(0)->State(0)->PrepareStateBitmap()->Width(), 32);
  }
}

TEST(SkinSupport, ProcessWideEngineLivesBetweenStartAndShutdown) {
  EXPECT_EQ(SkinEngine(), nullptr);
  InitSkinEngineUnit();
  ASSERT_TRUE(SkinEngine());
  EXPECT_EQ(SkinEngine()->Name, "SkinEngine");
  TQZSkinEngine* first = SkinEngine();
  InitSkinEngineUnit();
  EXPECT_EQ(SkinEngine(), first);
  DoneSkinEngineUnit();
  EXPECT_EQ(SkinEngine(), nullptr);
  EXPECT_EQ(SkinHookAtom(), 0);
}
