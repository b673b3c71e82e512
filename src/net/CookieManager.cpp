#include "net/CookieManager.h"

#include "base/Format.h"
#include "base/Strings.h"
#include "net/HTTPApp.h"

namespace net {

using base::LowerCase;
using base::Trim;

void TCookie::Assign(const TCookie& s) {
  Name = s.Name;
  Value = s.Value;
  Path = s.Path;
  Domain = s.Domain;
  Expires = s.Expires;
  Secure = s.Secure;
}

TCookie* TCookieCollection::Find(const std::string& name) const {
  for (const auto& c : FItems)
    if (base::SameText(c->Name, name)) return c.get();
  return nullptr;
}

TCookie* TCookieCollection::Add(const std::string& domain, const std::string& name) {
  auto c = std::make_unique<TCookie>();
  c->Domain = domain;
  c->Name = name;
  FItems.push_back(std::move(c));
  return FItems.back().get();
}

void TCookieCollection::Delete(int index) { FItems.erase(FItems.begin() + index); }

bool TCookieEnumerator::MoveNext() {
  if (FIndex >= FCollection.Count() - 1) return false;
  ++FIndex;
  return true;
}

bool TCookiesEnumerator::MoveNext() {
  if (FIndex >= FManager.FDomains.Count() - 1) return false;
  ++FIndex;
  return true;
}

const std::string& TCookiesEnumerator::CurrentKey() const { return FManager.FDomains[FIndex]; }
TCookieCollection* TCookiesEnumerator::Current() const { return FManager.Collection(FIndex); }

TCookieManager::TCookieManager() {
  FDomains.SetSorted(true);
  FDomains.SetDuplicates(base::TDuplicates::dupIgnore);
}

TCookieManager::~TCookieManager() { Clear(); }

TCookieCollection* TCookieManager::Collection(int index) const {
  return static_cast<TCookieCollection*>(FDomains.GetObject(index));
}

TCookieCollection* TCookieManager::Cookies(const std::string& domain) const {
  int i = FDomains.IndexOf(domain);
  return i < 0 ? nullptr : Collection(i);
}

namespace {

struct TPart {
  std::string Name, Value, Whole;
};

// Splits at ';' only: spaces neither split nor disappear. A part that starts with a
// double quote is read as a quoted string, so a ';' inside the quotes stays in it.
std::vector<TPart> SplitCookie(const std::string& text) {
  std::vector<TPart> parts;
  size_t i = 0;
  while (i < text.size()) {
    std::string whole;
    if (text[i] == '"') {
      size_t close = text.find('"', i + 1);
      size_t end = close == std::string::npos ? text.size() : close + 1;
      whole = text.substr(i, end - i);
      i = end;
      // Whatever follows the quoted string up to the next ';' belongs to the part too.
      size_t semi = text.find(';', i);
      whole += text.substr(i, (semi == std::string::npos ? text.size() : semi) - i);
      i = semi == std::string::npos ? text.size() : semi + 1;
    } else {
      size_t semi = text.find(';', i);
      whole = text.substr(i, (semi == std::string::npos ? text.size() : semi) - i);
      i = semi == std::string::npos ? text.size() : semi + 1;
    }
    TPart p;
    p.Whole = whole;
    size_t eq = whole.find('=');
    if (eq == std::string::npos) {
      p.Value = whole;  // no '=': empty name
    } else {
      p.Name = whole.substr(0, eq);
      p.Value = whole.substr(eq + 1);
    }
    parts.push_back(std::move(p));
  }
  return parts;
}

// The host of a Host text, lower-cased, without its port: cookies do not tell ports apart.
std::string HostOnly(const std::string& host) {
  std::string h = LowerCase(Trim(host));
  size_t colon = h.rfind(':');
  if (colon != std::string::npos && h.find(']') == std::string::npos) h.resize(colon);
  return h;
}

bool IsAddress(const std::string& host) {
  return !host.empty() && host.find_first_not_of("0123456789.") == std::string::npos;
}

// host lies in domain (both lower-case, domain without a leading dot): the same name, or
// a name that ends with "." + domain; an address is only ever its own domain.
bool DomainMatches(const std::string& host, const std::string& domain) {
  if (host == domain) return true;
  if (IsAddress(host) || domain.empty() || host.size() <= domain.size()) return false;
  return host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
         host[host.size() - domain.size() - 1] == '.';
}

}  // namespace

bool TCookieManager::SetCookie(const std::string& host, const std::string& text) {
  std::vector<TPart> parts = SplitCookie(text);
  if (parts.empty()) return true;
  FSync.BeginWrite();
  try {
    std::string name = Trim(parts[0].Name), value = Trim(parts[0].Value);
    const std::string answering = HostOnly(host);
    std::string domain = answering, path, expires;
    bool secure = false, foreign = false;
    if (value.size() <= kMaxValueLength) {
      for (size_t i = 1; i < parts.size(); ++i) {
        std::string n = Trim(parts[i].Name);
        if (base::SameText(n, "domain")) {
          // A domain cookie is kept under ".domain"; it must cover the answering host, so
          // no server sets cookies for another site (an empty attribute is ignored).
          std::string d = LowerCase(Trim(parts[i].Value));
          while (!d.empty() && d.front() == '.') d.erase(0, 1);
          if (d.empty()) continue;
          if (DomainMatches(answering, d))
            domain = "." + d;
          else
            foreign = true;
        } else if (base::SameText(n, "path"))
          path = Trim(parts[i].Value);
        else if (base::SameText(n, "expires"))
          expires = Trim(parts[i].Value);
        else if (base::SameText(Trim(parts[i].Whole), "secure"))
          secure = true;
      }
    }
    if (value.size() <= kMaxValueLength && !foreign) {
      TCookie* c = GetOrAddCookie(domain, name);
      c->Value = value;
      c->Path = path;
      c->Secure = secure;
      if (!expires.empty()) c->Expires = ParseHTTPDate(expires);
    }
  } catch (...) {
    FSync.EndWrite();
    throw;
  }
  FSync.EndWrite();
  return true;
}

TCookie* TCookieManager::GetOrAddCookie(const std::string& domain, const std::string& name) {
  FSync.BeginWrite();
  TCookieCollection* c = Cookies(domain);
  if (!c) {
    c = new TCookieCollection;
    FDomains.Add(domain, c);
  }
  TCookie* cookie = c->Find(name);
  if (!cookie) cookie = c->Add(domain, name);
  FSync.EndWrite();
  return cookie;
}

void TCookieManager::PurgeExpired() {
  base::TDateTime now = base::Now();
  FSync.BeginWrite();
  for (int d = 0; d < FDomains.Count(); ++d) {
    TCookieCollection* c = Collection(d);
    for (int i = c->Count() - 1; i >= 0; --i) {
      base::TDateTime e = c->Items(i)->Expires;
      if (e != -1.0 && now > e) c->Delete(i);
    }
  }
  FSync.EndWrite();
}

void TCookieManager::Clear() {
  FSync.BeginWrite();
  for (int d = 0; d < FDomains.Count(); ++d) delete Collection(d);
  FDomains.Clear();
  FSync.EndWrite();
}

std::string TCookieManager::GetCookieHeader(const std::string& host, const std::string& path, bool secure) {
  PurgeExpired();
  std::string result;
  std::string h = HostOnly(host), p = LowerCase(path);
  FSync.BeginRead();
  TCookiesEnumerator domains(*this);
  while (domains.MoveNext()) {
    std::string key = LowerCase(domains.CurrentKey());
    bool matches = !key.empty() && key[0] == '.' ? DomainMatches(h, key.substr(1)) : h == key;
    if (!matches) continue;
    TCookieEnumerator cookies(*domains.Current());
    while (cookies.MoveNext()) {
      TCookie* c = cookies.Current();
      if (c->Secure && !secure) continue;  // a Secure cookie never travels unencrypted
      // An empty cookie path never matches: such cookies are not sent back.
      if (c->Path.empty() || p.compare(0, c->Path.size(), LowerCase(c->Path)) != 0) continue;
      result += base::Format("%s=%s; ", URLEncode(c->Name), URLEncode(c->Value));
    }
  }
  FSync.EndRead();
  while (!result.empty() && static_cast<unsigned char>(result.back()) <= 32) result.pop_back();
  if (!result.empty() && result.back() == ';') result.pop_back();
  return result;
}

TCookieManager& CookieManager() {
  // Made on first use; a function-local static is thread-safe and released at exit.
  static TCookieManager manager;
  return manager;
}

}  // namespace net
