#include <strings.h>

#include "tests/support/test_server.h"

namespace velinor::test {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

std::string ReceivedRequest::Header(std::string_view name) const {
  for (const auto& [n, value] : headers) {
    if (SameName(n, name)) return value;
  }
  return {};
}

bool ReceivedRequest::HasHeader(std::string_view name) const {
  for (const auto& header : headers) {
    if (SameName(header.first, name)) return true;
  }
  return false;
}

std::string ReceivedRequest::Path() const {
  // A CONNECT target is an authority ("host:port"), routed as it is.
  if (method == "CONNECT") return target;
  std::string_view path = target;
  // The absolute form a proxy receives: "http://host:port/path?query".
  if (const auto scheme = path.find("://");
      !path.empty() && path.front() != '/' && scheme != std::string_view::npos) {
    path.remove_prefix(scheme + 3);
    const auto start = path.find_first_of("/?#");
    path = start == std::string_view::npos ? std::string_view() : path.substr(start);
  }
  path = path.substr(0, path.find_first_of("?#"));
  if (path.empty()) return "/";
  return std::string(path);
}

}  // namespace velinor::test
