#include "xml/XPathLite.h"

#include <algorithm>

#include "xml/XMLLookupTables.h"
#include "xml/XMLNodeList.h"

namespace xml {

namespace {

// The index of the double quote that closes a value starting at from ("" inside stands
// for one), or npos.
size_t ClosingQuote(const WideString& s, size_t from) {
  for (size_t j = from; j < s.size(); ++j) {
    if (s[j] != u'"') continue;
    if (j + 1 < s.size() && s[j + 1] == u'"') {
      ++j;
      continue;
    }
    return j;
  }
  return WideString::npos;
}

bool ParseIndex(const WideString& text, int64_t& value) {
  if (text.empty() || text.size() > 9) return false;
  value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    value = value * 10 + (c - u'0');
  }
  return true;
}

// Keeps each node once, in the order first found, in constant time per node.
void AddUnique(std::vector<TIntf<IXMLNode>>& out, std::unordered_set<IXMLNode*>& seen, const TIntf<IXMLNode>& node) {
  if (seen.insert(node.Get()).second) out.push_back(node);
}

// Element children named name; when there are none (or all are wanted), the same search
// below every other child in child order. Children that match are not searched below.
void DescendantSearch(IXMLNode* node, const WideString& name, bool firstOnly, std::vector<TIntf<IXMLNode>>& out,
                      int depth) {
  TIntf<IXMLNodeList> children = node->GetChildNodes();
  size_t before = out.size();
  std::vector<TIntf<IXMLNode>> matched;
  for (int32_t i = 0; i < children->GetLength(); ++i) {
    TIntf<IXMLNode> c = children->GetItem(i);
    if (c->GetNodeType() == ELEMENT_NODE && SameName(c->GetNodeName(), name)) matched.push_back(c);
  }
  out.insert(out.end(), matched.begin(), matched.end());
  if ((out.size() > before && firstOnly) || depth > 4096) return;
  for (int32_t i = 0; i < children->GetLength(); ++i) {
    TIntf<IXMLNode> c = children->GetItem(i);
    // The children that matched are exactly the element children of that name.
    if (c->GetNodeType() == ELEMENT_NODE && SameName(c->GetNodeName(), name)) continue;
    DescendantSearch(c.Get(), name, firstOnly, out, depth + 1);
    if (firstOnly && out.size() > before) return;
  }
}

}  // namespace

TXPathMatch::TXPathMatch(const WideString& stepText) {
  WideString s = TrimWhiteSpace(stepText);
  size_t pos = 0;
  if (s.compare(0, 2, u"//") == 0) {
    Descendant = true;
    pos = 2;
  } else if (s.compare(0, 1, u"/") == 0) {
    pos = 1;
  }
  size_t nameEnd = s.find_first_of(u"[@", pos);
  if (nameEnd == WideString::npos) nameEnd = s.size();
  NameTest = s.substr(pos, nameEnd - pos);
  pos = nameEnd;
  while (pos < s.size()) {
    if (s[pos] == u'@') {
      size_t end = s.find(u'@', pos + 1);
      if (end == WideString::npos) end = s.size();
      WideString name = s.substr(pos + 1, end - pos - 1);
      Predicates.AddObject(name, new TXPathPredicate(name, WideString(), xpAttribute));
      pos = end;
      continue;
    }
    if (s[pos] != u'[') {
      ++pos;  // further name characters are ignored
      continue;
    }
    if (pos + 1 >= s.size()) break;
    char16_t marker = s[pos + 1];
    size_t nameStart = pos + 2;
    size_t stop = s.find_first_of(u"=]!", std::min(nameStart, s.size()));
    if (stop == WideString::npos) break;  // no end: the predicate is dropped
    WideString name = s.substr(nameStart, stop - nameStart);
    if (s[stop] == u']') {
      if (marker == u'@') {
        Predicates.AddObject(name, new TXPathPredicate(name, WideString(), xpNotEmpty));
      } else if (marker == u'!') {
        Predicates.AddObject(name, new TXPathPredicate(name, WideString(), xpEmpty));
      } else {
        WideString inner = s.substr(pos + 1, stop - pos - 1);
        int64_t n;
        if (ParseIndex(TrimWhiteSpace(inner), n)) Predicates.AddObject(u"", new TXPathPredicate(u"", inner, xpIndex));
      }
      pos = stop + 1;
      continue;
    }
    uint8_t kind = s[stop] == u'!' ? xpNotEquals : xpEquals;
    size_t equals = s[stop] == u'!' ? stop + 1 : stop;
    // The character after "=" opens the value (written in double quotes).
    size_t valueStart = equals + 2;
    WideString value;
    size_t close = valueStart <= s.size() ? ClosingQuote(s, valueStart) : WideString::npos;
    size_t valueEnd = close == WideString::npos ? s.size() : close;
    for (size_t j = std::min(valueStart, s.size()); j < valueEnd; ++j) {
      value.push_back(s[j]);
      if (s[j] == u'"' && j + 1 < valueEnd && s[j + 1] == u'"') ++j;
    }
    Predicates.AddObject(name, new TXPathPredicate(name, value, kind));
    size_t bracket = close == WideString::npos ? WideString::npos : s.find(u']', close);
    pos = bracket == WideString::npos ? s.size() : bracket + 1;
  }
}

TXPathMatch::~TXPathMatch() {
  for (int i = 0; i < Predicates.Count(); ++i) delete Predicates.GetObject(i);
}

TXPathLite::TXPathLite(const WideString& expression) {
  if (!expression.empty()) Parse(expression);
}

TXPathLite::~TXPathLite() {
  for (int i = 0; i < FSteps.Count(); ++i) delete FSteps.GetObject(i);
}

void TXPathLite::Parse(const WideString& e) {
  size_t n = e.size();
  size_t start = 0;
  size_t i = e.compare(0, 2, u"//") == 0 ? 2 : e.compare(0, 1, u"/") == 0 ? 1 : 0;
  auto addStep = [&](size_t from, size_t to) {
    auto* match = new TXPathMatch(e.substr(from, to - from));
    FSteps.AddObject(match->NameTest, match);
  };
  while (i < n) {
    char16_t c = e[i];
    if (c == u'"' || c == u'\'') {
      size_t close = ClosingQuote(e, i + 1);
      i = close == WideString::npos ? i + 1 : close + 1;
      continue;
    }
    if (c == u'/') {
      addStep(start, i);
      start = i;
      i += (i + 1 < n && e[i + 1] == u'/') ? 2 : 1;
      continue;
    }
    ++i;
  }
  addStep(start, n);
}

void TXPathLite::EvaluateStep(int index, IXMLNode* node, bool firstOnly, std::vector<TIntf<IXMLNode>>& out,
                              std::unordered_set<IXMLNode*>& seen) {
  TXPathMatch& step = Step(index);
  bool anyName = step.NameTest == u"*";
  std::vector<TIntf<IXMLNode>> candidates;
  if (step.Descendant) {
    DescendantSearch(node, step.NameTest, firstOnly, candidates, 0);
  } else if (index == 0) {
    candidates.emplace_back(node);
  } else {
    TIntf<IXMLNodeList> children = node->GetChildNodes();
    for (int32_t i = 0; i < children->GetLength(); ++i) {
      TIntf<IXMLNode> c = children->GetItem(i);
      if (anyName || (c->GetNodeType() == ELEMENT_NODE && SameName(c->GetNodeName(), step.NameTest)))
        candidates.push_back(c);
    }
  }
  for (const TIntf<IXMLNode>& original : candidates) {
    TIntf<IXMLNode> candidate = original;
    if (!anyName && !SameName(candidate->GetNodeName(), step.NameTest)) continue;
    bool pass = true;
    for (int p = 0; p < step.Predicates.Count() && pass; ++p) {
      const TXPathPredicate& pred = step.Predicate(p);
      switch (pred.Kind) {
        case xpEquals:
        case xpNotEquals: {
          WideString actual = LowerCaseName(candidate->GetAttribute(pred.Name));
          WideString wanted = LowerCaseName(pred.Value);
          bool same;
          if (!wanted.empty() && wanted.back() == u'*')
            same = actual.compare(0, wanted.size() - 1, wanted, 0, wanted.size() - 1) == 0 &&
                   actual.size() >= wanted.size() - 1;
          else
            same = actual == wanted;
          pass = pred.Kind == xpEquals ? same : !same;
          break;
        }
        case xpNotEmpty: pass = !candidate->GetAttribute(pred.Name).empty(); break;
        case xpEmpty: pass = candidate->GetAttribute(pred.Name).empty(); break;
        case xpIndex: {
          int64_t n = 0;
          ParseIndex(TrimWhiteSpace(pred.Value), n);
          if (n < static_cast<int64_t>(candidates.size()))
            candidate = candidates[static_cast<size_t>(n)];
          else
            pass = false;
          break;
        }
        case xpAttribute: {
          if (TIntf<IXMLAttr> attr = candidate->GetAttributeNode(pred.Name))
            AddUnique(out, seen, TIntf<IXMLNode>(attr.Get()));
          return;  // the step ends with the first candidate that gets here
        }
      }
    }
    if (pass) AddUnique(out, seen, candidate);
  }
}

TIntf<IXMLNodeList> TXPathLite::Select(IXMLNode* context, bool firstOnly) {
  TIntf<TXMLNodeList> result(new TXMLNodeList(nullptr));
  if (!context || FSteps.Count() == 0) return TIntf<IXMLNodeList>(result.Get());
  std::vector<TIntf<IXMLNode>> current;
  TIntf<IXMLNodeList> children = context->GetChildNodes();
  for (int32_t i = 0; i < children->GetLength(); ++i) current.push_back(children->GetItem(i));
  for (int step = 0; step < FSteps.Count(); ++step) {
    std::vector<TIntf<IXMLNode>> next;
    std::unordered_set<IXMLNode*> seen;
    for (const TIntf<IXMLNode>& node : current) EvaluateStep(step, node.Get(), firstOnly, next, seen);
    current.swap(next);
    if (firstOnly && step == FSteps.Count() - 1 && !current.empty()) break;
  }
  for (const TIntf<IXMLNode>& node : current) result->Add(node.Get());
  return TIntf<IXMLNodeList>(result.Get());
}

}  // namespace xml
