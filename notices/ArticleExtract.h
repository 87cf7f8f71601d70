#pragma once
// Cuts one news article out of a downloaded article page by the site's fixed markers, and makes
// what was cut safe to show: the viewer's page has host bindings, so nothing the site wrote runs,
// loads a frame or leaves a script address behind.
#include <optional>
#include <string>

namespace article {

enum class Rule { None, FX168, CaiXun, Table };

// The host names that pick a rule; an empty one picks nothing.
struct Hosts {
    std::string fx168, caixun, service;
};
// The host of a site's base address ("http://host:port/..." gives "host"); "" when it has none.
std::string hostOf(const std::string& base);
// The rule for an article address: the first host name it contains, in the order FX168, CaiXun,
// service site.
Rule ruleFor(const std::string& url, const Hosts& hosts);

// The rules, on the page text as the site sent it (decoded). They give the article's markup as
// cut, not yet safe; nothing when the page has no article.
std::optional<std::string> FX168Rule(const std::string& page);
std::optional<std::string> CaiXunRule(const std::string& page);
std::optional<std::string> TableRule(const std::string& page);
std::optional<std::string> Extract(const std::string& page, const std::string& url, const Hosts& hosts);

// What shows when there is no article: the address as a link to itself, built from escaped
// text; an address that is no http(s) link shows as text alone.
std::string FallbackLink(const std::string& url);
// The text up to and including its last "/" ("" when it holds none).
std::string URLPath(const std::string& text);

} // namespace article
