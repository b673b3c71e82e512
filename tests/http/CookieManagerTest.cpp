#include <gtest/gtest.h>

#include "base/DateTime.h"
#include "net/CookieManager.h"

using net::TCookieManager;

TEST(CookieManager, DomainAttributeWithDotAndAnyPath) {
  TCookieManager jar;
  EXPECT_TRUE(jar.SetCookie("www.example.test", "a=1; path=/; domain=.example.test"));
  ASSERT_NE(jar.Cookies(".example.test"), nullptr);  // the dot is part of the key
  EXPECT_EQ(jar.Cookies(".example.test")->Items(0)->Domain, ".example.test");
  EXPECT_EQ(jar.GetCookieHeader("cdn.example.test", "/any/where?x"), "a=1");
  EXPECT_EQ(jar.GetCookieHeader("other.test", "/"), "");
}

TEST(CookieManager, SameNameKeepsOneCookieWithTheNewerValue) {
  TCookieManager jar;
  jar.SetCookie("h.test", "sid=old; path=/");
  jar.SetCookie("h.test", "SID=new; path=/");
  ASSERT_EQ(jar.Cookies("h.test")->Count(), 1);
  EXPECT_EQ(jar.GetCookieHeader("h.test", "/"), "sid=new");
}

TEST(CookieManager, ValuesAreFormEncodedAndTheLineHasNoTrailingSeparator) {
  TCookieManager jar;
  jar.SetCookie("h.test", "q=a=b c; path=/");
  jar.SetCookie("h.test", "z=2; path=/");
  EXPECT_EQ(jar.GetCookieHeader("h.test", "/"), "q=a%3Db+c; z=2");
}

TEST(CookieManager, KeyAndPathMatching) {
  TCookieManager jar;
  jar.SetCookie("ample.test", "k=1; path=/Shop");
  // Host-only: the same host, any case, any port; never a longer host that ends alike.
  EXPECT_EQ(jar.GetCookieHeader("AMPLE.TEST:8080", "/shop/cart"), "k=1");
  EXPECT_EQ(jar.GetCookieHeader("www.example.test", "/shop/cart"), "");
  EXPECT_EQ(jar.GetCookieHeader("ample.test.evil.net", "/shop"), "");
  EXPECT_EQ(jar.GetCookieHeader("ample.test", "/other"), "");
  // Without a path attribute the path is empty and never matches.
  jar.SetCookie("ample.test", "nopath=1");
  EXPECT_EQ(jar.GetCookieHeader("ample.test", "/shop"), "k=1");
}

TEST(CookieManager, DomainAttributeMustCoverTheAnsweringHost) {
  struct Case {
    const char* Host;
    const char* Domain;
    bool Stored;
    const char* Key;
  } cases[] = {
      {"www.a.test", "a.test", true, ".a.test"},  {"www.a.test", ".A.TEST", true, ".a.test"},
      {"a.test:8080", "a.test", true, ".a.test"}, {"www.a.test", "www.a.test", true, ".www.a.test"},
      {"www.a.test", "", true, "www.a.test"},  // an empty attribute: a host-only cookie
      {"www.a.test", "evil.test", false, ""},     {"www.a.test", "b.www.a.test", false, ""},
      {"xa.test", "a.test", false, ""},           {"a.test.evil.net", "a.test", false, ""},
      {"10.0.0.1", "0.0.1", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Host) + " / " + c.Domain);
    TCookieManager jar;
    jar.SetCookie(c.Host, std::string("n=1; path=/; domain=") + c.Domain);
    EXPECT_EQ(jar.DomainCount(), c.Stored ? 1 : 0);
    if (c.Stored) {
      EXPECT_NE(jar.Cookies(c.Key), nullptr);
    }
  }
  TCookieManager jar;
  jar.SetCookie("www.a.test", "d=1; path=/; domain=a.test");
  EXPECT_EQ(jar.GetCookieHeader("a.test", "/"), "d=1");
  EXPECT_EQ(jar.GetCookieHeader("deep.cdn.a.test", "/"), "d=1");
  EXPECT_EQ(jar.GetCookieHeader("a.test.evil.net", "/"), "");
  EXPECT_EQ(jar.GetCookieHeader("xa.test", "/"), "");
}

TEST(CookieManager, AttributesExpiryAndSecure) {
  TCookieManager jar;
  jar.SetCookie("h.test", "gone=1; path=/; expires=Sun, 06 Nov 1994 08:49:37 GMT");
  jar.SetCookie("h.test", "kept=1; path=/; expires=Fri, 31 Dec 2100 23:59:59 GMT");
  EXPECT_EQ(jar.GetCookieHeader("h.test", "/"), "kept=1");  // expired one purged first
  EXPECT_EQ(jar.Cookies("h.test")->Count(), 1);
  EXPECT_GT(jar.Cookies("h.test")->Items(0)->Expires, base::EncodeDate(2100, 12, 30));

  // "secure" in any spelling; a Secure cookie goes over TLS only.
  jar.SetCookie("s.test", "a=1;secure; path=/");
  jar.SetCookie("s.test", "b=1; Secure ; path=/");
  jar.SetCookie("s.test", "c=1; path=/");
  EXPECT_TRUE(jar.Cookies("s.test")->Find("a")->Secure);
  EXPECT_TRUE(jar.Cookies("s.test")->Find("b")->Secure);
  EXPECT_EQ(jar.GetCookieHeader("s.test", "/", false), "c=1");
  EXPECT_EQ(jar.GetCookieHeader("s.test", "/", true), "a=1; b=1; c=1");
  // An existing cookie without a new expiry keeps its old one.
  jar.SetCookie("h.test", "kept=2; path=/");
  EXPECT_GT(jar.Cookies("h.test")->Find("kept")->Expires, 0);
}

TEST(CookieManager, OverlongValuesAndEmptyTextAreIgnored) {
  TCookieManager jar;
  EXPECT_TRUE(jar.SetCookie("h.test", "big=" + std::string(4097, 'x') + "; path=/"));
  EXPECT_EQ(jar.DomainCount(), 0);
  EXPECT_TRUE(jar.SetCookie("h.test", ""));
  EXPECT_EQ(jar.DomainCount(), 0);
  EXPECT_TRUE(jar.SetCookie("h.test", "ok=" + std::string(4096, 'x') + "; path=/"));
  EXPECT_EQ(jar.DomainCount(), 1);
  jar.Clear();
  EXPECT_EQ(jar.DomainCount(), 0);
}
