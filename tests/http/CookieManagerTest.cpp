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
  // A key that is only the tail of another host matches it too; case does not matter.
  EXPECT_EQ(jar.GetCookieHeader("WWW.EXAMPLE.TEST", "/shop/cart"), "k=1");
  EXPECT_EQ(jar.GetCookieHeader("www.example.test", "/other"), "");
  // Without a path attribute the path is empty and never matches.
  jar.SetCookie("ample.test", "nopath=1");
  EXPECT_EQ(jar.GetCookieHeader("ample.test", "/shop"), "k=1");
}

TEST(CookieManager, AttributesExpiryAndSecure) {
  TCookieManager jar;
  jar.SetCookie("h.test", "gone=1; path=/; expires=Sun, 06 Nov 1994 08:49:37 GMT");
  jar.SetCookie("h.test", "kept=1; path=/; expires=Fri, 31 Dec 2100 23:59:59 GMT");
  EXPECT_EQ(jar.GetCookieHeader("h.test", "/"), "kept=1");  // expired one purged first
  EXPECT_EQ(jar.Cookies("h.test")->Count(), 1);
  EXPECT_GT(jar.Cookies("h.test")->Items(0)->Expires, base::EncodeDate(2100, 12, 30));

  // "secure" counts only when written without a space after the ';'.
  jar.SetCookie("s.test", "a=1;secure");
  jar.SetCookie("s.test", "b=1; secure");
  EXPECT_TRUE(jar.Cookies("s.test")->Find("a")->Secure);
  EXPECT_FALSE(jar.Cookies("s.test")->Find("b")->Secure);
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
