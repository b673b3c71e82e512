// TXPathLite: a small path language modelled on XPath location paths, evaluated over the
// node model. An expression is a list of steps separated by "/" ("//" starts a step that
// searches descendants); each step has a name test ("*" for any) and predicates:
//   [@name="value"]  [@name!="value"]  (a value ending in "*" is a prefix; no case)
//   [@name]  [!name]  (attribute not empty / empty or absent)
//   [n]  (the candidate with zero-based index n)     @name  (select the attribute)
// Malformed expressions raise nothing: unknown predicates are dropped and an expression
// that matches nothing gives an empty list.
#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "base/Object.h"
#include "text/WideStrings.h"
#include "xml/XMLIntf.h"

namespace xml {

enum : uint8_t {
  xpEquals = 0,
  xpNotEquals = 1,
  xpNotEmpty = 2,
  xpEmpty = 3,
  xpAttribute = 4,
  xpIndex = 5,
};

class TXPathPredicate : public base::TObject {
 public:
  TXPathPredicate(WideString name, WideString value, uint8_t kind)
      : Name(std::move(name)), Value(std::move(value)), Kind(kind) {}
  WideString Name;
  WideString Value;
  uint8_t Kind;
};

class TXPathMatch : public base::TObject {
 public:
  explicit TXPathMatch(const WideString& stepText);
  ~TXPathMatch() override;
  WideString NameTest;
  bool Descendant = false;
  // Strings: attribute names; objects: the owned TXPathPredicate of each.
  text::TWideStringList Predicates;

  TXPathPredicate& Predicate(int index) const { return *static_cast<TXPathPredicate*>(Predicates.GetObject(index)); }
};

class TXPathLite : public base::TObject {
 public:
  explicit TXPathLite(const WideString& expression);
  ~TXPathLite() override;
  // A new list of the nodes the expression selects below context; with firstOnly the
  // search stops after the step that produced the first result.
  TIntf<IXMLNodeList> Select(IXMLNode* context, bool firstOnly);

  int StepCount() const { return FSteps.Count(); }
  TXPathMatch& Step(int index) const { return *static_cast<TXPathMatch*>(FSteps.GetObject(index)); }

 private:
  void Parse(const WideString& expression);
  // Appends the step's matches to out, each node once: seen holds what out holds.
  void EvaluateStep(int index, IXMLNode* node, bool firstOnly, std::vector<TIntf<IXMLNode>>& out,
                    std::unordered_set<IXMLNode*>& seen);

  // Strings: the steps' name tests; objects: the owned TXPathMatch of each.
  text::TWideStringList FSteps;
};

}  // namespace xml
