// The process-wide, in-memory cookie jar shared by the HTTP clients of all worker
// threads. Answers hand their Set-Cookie values to it with the request's host; requests
// ask it for their Cookie line. Nothing is stored on disk.
//
// Cookies are kept per domain key: the answering host (without its port) for a host-only
// cookie, "." + the domain attribute for a domain cookie. A domain attribute must cover
// the answering host (the same name or a parent domain of it; an address only itself),
// else the cookie is ignored. A request gets the cookies of its own host's key and of
// every ".domain" key its host lies in, whose path is a prefix of the request path
// (without regard to case); Secure cookies only over TLS. Every access runs under one
// recursive lock, so the jar may be used from any thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "base/Object.h"
#include "base/StringList.h"
#include "base/SyncObjs.h"

namespace net {

class TCookie : public base::TObject {
 public:
  std::string Name;
  std::string Value;
  std::string Path;
  std::string Domain;
  base::TDateTime Expires = -1.0;  // local time; -1 = no expiry
  bool Secure = false;
  void Assign(const TCookie& source);
};

// The cookies of one domain key, in the order they were first set.
class TCookieCollection : public base::TObject {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TCookie* Items(int index) const { return FItems[static_cast<size_t>(index)].get(); }
  // Case-insensitive lookup by name; nullptr when absent.
  TCookie* Find(const std::string& name) const;
  // Appends a cookie with Domain and Name set.
  TCookie* Add(const std::string& domain, const std::string& name);
  void Delete(int index);

 private:
  std::vector<std::unique_ptr<TCookie>> FItems;
};

// The read and write sides are one recursive critical section.
class TSimpleRWSync {
 public:
  void BeginRead() { FLock.Enter(); }
  void EndRead() { FLock.Leave(); }
  void BeginWrite() { FLock.Enter(); }
  void EndWrite() { FLock.Leave(); }

 private:
  base::TCriticalSection FLock;
};

class TCookieManager;

// Walks the cookies of one collection: index starts at -1, MoveNext succeeds while
// index < count - 1.
class TCookieEnumerator {
 public:
  explicit TCookieEnumerator(const TCookieCollection& c) : FCollection(c) {}
  bool MoveNext();
  TCookie* Current() const { return FCollection.Items(FIndex); }

 private:
  const TCookieCollection& FCollection;
  int FIndex = -1;
};

// Walks the collections of the manager in key order (the caller holds the lock).
class TCookiesEnumerator {
 public:
  explicit TCookiesEnumerator(const TCookieManager& m) : FManager(m) {}
  bool MoveNext();
  const std::string& CurrentKey() const;
  TCookieCollection* Current() const;

 private:
  const TCookieManager& FManager;
  int FIndex = -1;
};

class TCookieManager : public base::TObject {
 public:
  TCookieManager();
  ~TCookieManager() override;

  // Longest cookie value stored; longer values are ignored.
  static constexpr size_t kMaxValueLength = 4096;

  // Stores one Set-Cookie value received from host. Always true (an ignored cookie
  // included); an empty value does nothing.
  bool SetCookie(const std::string& host, const std::string& text);
  // The Cookie line for a request to host and path: "a=1; b=2", names and values
  // form-encoded; empty when no cookie applies. Expired cookies are dropped first. Secure
  // cookies go only to a request over TLS (secure).
  std::string GetCookieHeader(const std::string& host, const std::string& path, bool secure = false);
  TCookie* GetOrAddCookie(const std::string& domain, const std::string& name);
  void PurgeExpired();
  void Clear();

  // Number of domain keys and the cookies under one key (for callers that inspect the
  // jar; take the lock through Lock/Unlock around them).
  int DomainCount() const { return FDomains.Count(); }
  TCookieCollection* Cookies(const std::string& domain) const;
  void Lock() { FSync.BeginWrite(); }
  void Unlock() { FSync.EndWrite(); }

 private:
  friend class TCookiesEnumerator;
  TCookieCollection* Collection(int index) const;
  base::TStringList FDomains;  // sorted, case-insensitive, objects = owned collections
  TSimpleRWSync FSync;
};

// The single jar, created on first use (thread-safe) and released at program end.
TCookieManager& CookieManager();

}  // namespace net
