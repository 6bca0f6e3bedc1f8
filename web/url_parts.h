// Cracking a web request's address into what the exchange needs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velinor {

struct UrlParts {
  bool secure = false;     // https
  std::string host;        // as libcurl reads it; an IPv6 address in brackets
  long port = 0;           // the explicit port, or the scheme's default
  std::string object;      // path and query as sent; "/" when the path is empty
  std::string requestUrl;  // the absolute address handed to libcurl
};

// `url` is code-page-936 text. Only absolute http and https addresses with a
// host are accepted; whitespace and control characters are refused, not
// escaped. Path and query are kept as written (no dot-segment removal, no
// escaping) except that non-ASCII characters travel as percent-encoded UTF-8;
// a fragment is never sent; a user name and password in the address are
// ignored. An empty path gives the object "/" and drops the query with it.
std::optional<UrlParts> CrackUrl(std::string_view url);

}  // namespace velinor
