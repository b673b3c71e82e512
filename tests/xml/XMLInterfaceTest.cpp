#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "XMLTestUtil.h"
#include "base/Stream.h"
#include "xml/XMLNodeList.h"
#include "xml/XMLTextStream.h"

using namespace xml;
using namespace xmltest;

namespace {

// An interface the model can be asked for: its IID and, found independently of
// QueryInterface, the part of an object that implements it (none when it does not).
struct TAskable {
  const char* Name;
  TGUID IID;
  void* (*PartOf)(IInterface* object);
  IInterface* (*AsInterface)(void* part);
};

template <class I>
TAskable Askable(const char* name) {
  return {name, I::IID, [](IInterface* o) -> void* { return dynamic_cast<I*>(o); },
          [](void* p) -> IInterface* { return static_cast<I*>(p); }};
}

const std::vector<TAskable>& AllAskables() {
  static const std::vector<TAskable> all = {
      Askable<IXMLNode>("IXMLNode"),
      Askable<IXMLNodeAccess>("IXMLNodeAccess"),
      Askable<IXMLElement>("IXMLElement"),
      Askable<IXMLAttr>("IXMLAttr"),
      Askable<IXMLProcessingInstruction>("IXMLProcessingInstruction"),
      Askable<IXMLCharacterData>("IXMLCharacterData"),
      Askable<IXMLText>("IXMLText"),
      Askable<IXMLCDATASection>("IXMLCDATASection"),
      Askable<IXMLDocumentType>("IXMLDocumentType"),
      Askable<IXMLComment>("IXMLComment"),
      Askable<IXMLDocumentFragment>("IXMLDocumentFragment"),
      Askable<IXMLDocument>("IXMLDocument"),
      Askable<IXMLCustomList>("IXMLCustomList"),
      Askable<IXMLNodeList>("IXMLNodeList"),
      Askable<IXMLNamedNodeMap>("IXMLNamedNodeMap"),
      Askable<IXMLParseError>("IXMLParseError"),
      Askable<IXMLTextStream>("IXMLTextStream"),
      // An IID nobody implements.
      {"unknown",
       {0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}},
       [](IInterface*) -> void* { return nullptr; },
       [](void* p) -> IInterface* { return static_cast<IInterface*>(p); }},
  };
  return all;
}

int32_t CountOf(IInterface* object) {
  object->AddRef();
  return object->Release();
}

std::set<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::set<std::string> words;
  for (std::string w; in >> w;) words.insert(w);
  return words;
}

// A node and a document that say when they are freed.
class TProbeElement final : public TXMLElement {
 public:
  TProbeElement(TXMLDocument* owner, bool& gone) : TXMLElement(owner), FGone(gone) {}
  ~TProbeElement() override { FGone = true; }

 private:
  bool& FGone;
};

class TProbeDocument final : public TXMLDocument {
 public:
  TProbeDocument(bool creatorOwned, bool& gone) : TXMLDocument(creatorOwned), FGone(gone) {}
  ~TProbeDocument() override { FGone = true; }

 private:
  bool& FGone;
};

}  // namespace

// Every object of the model answers QueryInterface for exactly the interfaces it
// implements, with the part of itself that implements each, counting one reference that
// the part's Release gives back; any other IID leaves a null pointer and the count.
TEST(XMLInterface, QueryInterfaceAnswersEachImplementedInterfaceWithItsPart) {
  TIntf<TXMLDocument> doc = LoadUtf8("<!DOCTYPE r><r a='1'>t<x/></r>");
  TIntf<IXMLNode> r(doc->GetDocumentElement().Get());
  base::TStringStream bytes("");
  const struct {
    const char* Object;
    std::function<TIntf<IInterface>()> Make;
    const char* Answers;
  } rows[] = {
      {"element", [&] { return TIntf<IInterface>(doc->CreateElement(u"e")); }, "IXMLNode IXMLNodeAccess IXMLElement"},
      {"attribute", [&] { return TIntf<IInterface>(doc->CreateAttribute(u"a")); }, "IXMLNode IXMLNodeAccess IXMLAttr"},
      {"instruction", [&] { return TIntf<IInterface>(doc->CreateProcessingInstruction(u"p", u"d")); },
       "IXMLNode IXMLNodeAccess IXMLProcessingInstruction"},
      {"text", [&] { return TIntf<IInterface>(doc->CreateTextNode(u"t")); },
       "IXMLNode IXMLNodeAccess IXMLCharacterData IXMLText"},
      {"CDATA", [&] { return TIntf<IInterface>(doc->CreateCDATASection(u"c")); },
       "IXMLNode IXMLNodeAccess IXMLCharacterData IXMLText IXMLCDATASection"},
      {"document type", [&] { return TIntf<IInterface>(doc->GetDocType()); },
       "IXMLNode IXMLNodeAccess IXMLCharacterData IXMLText IXMLDocumentType"},
      {"comment", [&] { return TIntf<IInterface>(doc->CreateComment(u"c")); },
       "IXMLNode IXMLNodeAccess IXMLCharacterData IXMLComment"},
      {"fragment", [&] { return TIntf<IInterface>(doc->CreateDocumentFragment()); },
       "IXMLNode IXMLNodeAccess IXMLDocumentFragment"},
      {"document", [&] { return TIntf<IInterface>(new TXMLDocument); }, "IXMLNode IXMLNodeAccess IXMLDocument"},
      {"child list", [&] { return TIntf<IInterface>(r->GetChildNodes()); }, "IXMLCustomList IXMLNodeList"},
      {"query result", [&] { return TIntf<IInterface>(r->SelectNodeList(u"x")); }, "IXMLCustomList IXMLNodeList"},
      {"attribute map", [&] { return TIntf<IInterface>(r->GetAttributes()); }, "IXMLCustomList IXMLNamedNodeMap"},
      {"parse error", [&] { return TIntf<IInterface>(doc->GetParseError()); }, "IXMLParseError"},
      {"text stream", [&] { return TIntf<IInterface>(new TXMLTextStream(&bytes, 65001, xmWrite)); }, "IXMLTextStream"},
      {"enumerator", [&] { return TIntf<IInterface>(r->GetChildNodes()->GetEnumerator()); }, ""},
  };
  for (const auto& row : rows) {
    TIntf<IInterface> object = row.Make();
    ASSERT_TRUE(object) << row.Object;
    std::set<std::string> answers = Words(row.Answers);
    const int32_t count = CountOf(object.Get());
    for (const TAskable& asked : AllAskables()) {
      SCOPED_TRACE(std::string(row.Object) + " asked for " + asked.Name);
      void* part = &bytes;  // whatever was there before must not survive a refusal
      int32_t result = object->QueryInterface(asked.IID, &part);
      if (!answers.count(asked.Name)) {
        EXPECT_EQ(result, E_XML_NOINTERFACE);
        EXPECT_EQ(part, nullptr);
        EXPECT_EQ(asked.PartOf(object.Get()), nullptr);  // the table names all it implements
        EXPECT_EQ(CountOf(object.Get()), count);
        continue;
      }
      ASSERT_EQ(result, S_XML_OK);
      EXPECT_NE(part, nullptr);
      EXPECT_EQ(part, asked.PartOf(object.Get()));
      EXPECT_EQ(CountOf(object.Get()), count + 1);
      // Asked through the part it gave, the object answers the same parts.
      IInterface* through = asked.AsInterface(part);
      for (const TAskable& again : AllAskables()) {
        void* other = nullptr;
        bool answered = through->QueryInterface(again.IID, &other) == S_XML_OK;
        EXPECT_EQ(answered, answers.count(again.Name) == 1) << again.Name;
        EXPECT_EQ(other, again.PartOf(object.Get())) << again.Name;
        if (answered) again.AsInterface(other)->Release();
      }
      EXPECT_EQ(through->Release(), count);
    }
  }
}

TEST(XMLInterface, ReleaseToZeroFreesAllButACreatorOwnedDocument) {
  bool gone = false;
  auto* probe = new TProbeElement(nullptr, gone);
  EXPECT_EQ(probe->AddRef(), 1);  // the count starts at 0
  {
    TIntf<IXMLNode> held = TIntf<IXMLNode>::Adopt(probe);
    EXPECT_EQ(probe->AddRef(), 2);
    EXPECT_EQ(probe->Release(), 1);
    // The node object itself comes back uncounted.
    EXPECT_EQ(TXMLNode::FromIntf(held.Get()), probe);
    EXPECT_EQ(CountOf(held.Get()), 1);
    TIntf<IXMLElement> element = Supports<IXMLElement>(held);
    EXPECT_EQ(CountOf(held.Get()), 2);
    EXPECT_FALSE(gone);
  }
  EXPECT_TRUE(gone);

  for (bool creatorOwned : {false, true}) {
    bool docGone = false;
    auto* d = new TProbeDocument(creatorOwned, docGone);
    TIntf<IXMLDocument>(d)->CreateElement(u"e");
    EXPECT_EQ(docGone, !creatorOwned) << creatorOwned;
    if (creatorOwned) {
      EXPECT_EQ(CountOf(static_cast<IXMLDocument*>(d)), 0);  // still there, and still counting
      delete d;
      EXPECT_TRUE(docGone);
    }
  }
}
