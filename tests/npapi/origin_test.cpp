// The page-origin check: only pages served by the bank's host or its subdomains may open
// the card; the domain's text elsewhere in a URL never counts.
#include <gtest/gtest.h>

#include "core/page_origin.h"

namespace quilta::npapi {
namespace {

constexpr char kDomain[] = "bank.example";

bool Passes(const char* url) { return CheckPageOrigin(std::string(url), kDomain); }

TEST(PageOrigin, BankHostAndItsSubdomainsPass) {
  EXPECT_TRUE(Passes("https://bank.example/"));
  EXPECT_TRUE(Passes("https://bank.example"));
  EXPECT_TRUE(Passes("https://bank.example/atm/login.html?x=1#top"));
  EXPECT_TRUE(Passes("http://bank.example/atm"));
  EXPECT_TRUE(Passes("https://www.bank.example/atm"));
  EXPECT_TRUE(Passes("https://a.b.bank.example/"));
  EXPECT_TRUE(Passes("https://bank.example:8443/atm"));
  EXPECT_TRUE(Passes("https://bank.example./atm"));  // fully qualified form of the same host
}

TEST(PageOrigin, HostIsComparedWithoutRegardToCase) {
  EXPECT_TRUE(Passes("https://BANK.EXAMPLE/atm"));
  EXPECT_TRUE(Passes("HTTPS://Www.Bank.Example/"));
  EXPECT_TRUE(CheckPageOrigin(std::string("https://www.bank.example/"), "Bank.Example"));
}

TEST(PageOrigin, DomainTextOutsideTheHostFails) {
  EXPECT_FALSE(Passes("https://evil.test/?next=bank.example"));
  EXPECT_FALSE(Passes("https://evil.test/bank.example/atm"));
  EXPECT_FALSE(Passes("https://evil.test/#bank.example"));
  EXPECT_FALSE(Passes("https://bank.example.evil.test/"));
  EXPECT_FALSE(Passes("https://evilbank.example/"));  // not a subdomain: no dot before it
  EXPECT_FALSE(Passes("https://bank.examples/"));
  EXPECT_FALSE(Passes("https://evil.test:443/bank.example"));
}

// A bank may configure a host rather than its parent domain: neither the parent nor the
// parent's other hosts pass then.
TEST(PageOrigin, ADeeperDomainAdmitsNeitherItsParentNorItsSiblings) {
  constexpr char kHost[] = "webatm.bank.test";
  EXPECT_TRUE(CheckPageOrigin(std::string("https://webatm.bank.test/atm"), kHost));
  EXPECT_TRUE(CheckPageOrigin(std::string("https://a.webatm.bank.test/"), kHost));
  EXPECT_FALSE(CheckPageOrigin(std::string("https://bank.test/"), kHost));
  EXPECT_FALSE(CheckPageOrigin(std::string("https://www.bank.test/"), kHost));
  EXPECT_FALSE(CheckPageOrigin(std::string("https://test/"), kHost));
}

TEST(PageOrigin, UserInformationIsNotTheHost) {
  EXPECT_FALSE(Passes("https://bank.example@evil.test/"));
  EXPECT_FALSE(Passes("https://bank.example:pw@evil.test/atm"));
  EXPECT_FALSE(Passes("https://a@bank.example@evil.test/"));
  EXPECT_TRUE(Passes("https://user:pw@bank.example/atm"));
  // A backslash ends the authority in browsers, so the host here is evil.test.
  EXPECT_FALSE(Passes("https://evil.test\\@bank.example/"));
}

TEST(PageOrigin, UrlsWithoutAWebHostFail) {
  EXPECT_FALSE(CheckPageOrigin(std::nullopt, kDomain));
  EXPECT_FALSE(Passes(""));
  EXPECT_FALSE(Passes("about:blank"));
  EXPECT_FALSE(Passes("file:///home/user/bank.example/atm.html"));
  EXPECT_FALSE(Passes("file://bank.example/share/atm.html"));
  EXPECT_FALSE(Passes("data:text/html,bank.example"));
  EXPECT_FALSE(Passes("javascript:'https://bank.example/'"));
  EXPECT_FALSE(Passes("bank.example"));
  EXPECT_FALSE(Passes("https:///bank.example"));
  EXPECT_FALSE(Passes("https://[::1]/bank.example"));
}

TEST(PageOrigin, MalformedHostsFail) {
  EXPECT_FALSE(Passes("https://bank.example:80x/"));
  EXPECT_FALSE(Passes("https://ev%69l.bank.example/"));
  EXPECT_FALSE(CheckPageOrigin(std::string("https://evil\0.bank.example/", 27), kDomain));
  EXPECT_FALSE(Passes("https://..bank.example/"));
  EXPECT_FALSE(Passes("https:// bank.example/"));
}

TEST(PageOrigin, AnEmptyDomainLetsNothingThrough) {
  EXPECT_FALSE(CheckPageOrigin(std::string("https://bank.example/"), ""));
}

}  // namespace
}  // namespace quilta::npapi
