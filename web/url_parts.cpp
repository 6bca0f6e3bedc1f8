#include "web/url_parts.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <memory>

#include "text/encoding.h"

namespace velinor {
namespace {

struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlStringDeleter {
  void operator()(char* text) const { curl_free(text); }
};
using CurlString = std::unique_ptr<char, CurlStringDeleter>;

std::optional<std::string> Part(CURLU* url, CURLUPart part, unsigned int flags) {
  char* raw = nullptr;
  if (curl_url_get(url, part, &raw, flags) != CURLUE_OK || !raw) return std::nullopt;
  const CurlString owned(raw);
  return std::string(owned.get());
}

bool HasWhitespaceOrControl(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return true;
  }
  return false;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string PercentEncodeNonAscii(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

}  // namespace

std::optional<UrlParts> CrackUrl(std::string_view url) {
  const std::string utf8 = AnsiToUtf8(url);
  if (utf8.empty() || HasWhitespaceOrControl(utf8)) return std::nullopt;

  const std::size_t schemeEnd = utf8.find("://");
  if (schemeEnd == std::string::npos) return std::nullopt;
  const std::string_view scheme = std::string_view(utf8).substr(0, schemeEnd);
  UrlParts parts;
  if (EqualsIgnoringCase(scheme, "https")) {
    parts.secure = true;
  } else if (!EqualsIgnoringCase(scheme, "http")) {
    return std::nullopt;
  }

  // The authority ends at the first "/", "?" or "#"; libcurl validates it
  // alone (it would take "http:///p" for the host "p") and reads host and port.
  const std::size_t authorityStart = schemeEnd + 3;
  const std::size_t authorityEnd = std::min(utf8.find_first_of("/?#", authorityStart), utf8.size());
  const std::string authority = utf8.substr(authorityStart, authorityEnd - authorityStart);
  if (authority.empty()) return std::nullopt;
  const std::string authorityUrl = std::string(parts.secure ? "https://" : "http://") + authority;
  const std::unique_ptr<CURLU, UrlDeleter> handle(curl_url());
  if (!handle || curl_url_set(handle.get(), CURLUPART_URL, authorityUrl.c_str(), 0) != CURLUE_OK) {
    return std::nullopt;
  }
  std::optional<std::string> host = Part(handle.get(), CURLUPART_HOST, 0);
  const std::optional<std::string> port = Part(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
  if (!host || host->empty() || !port) return std::nullopt;
  const auto [end, error] = std::from_chars(port->data(), port->data() + port->size(), parts.port);
  if (error != std::errc() || end != port->data() + port->size()) return std::nullopt;
  parts.host = std::move(*host);

  // libcurl would turn an empty path into "/" and keep the query; here the
  // empty path drops it.
  if (authorityEnd == utf8.size() || utf8[authorityEnd] != '/') {
    parts.object = "/";
  } else {
    const std::size_t fragment = utf8.find('#', authorityEnd);
    parts.object = PercentEncodeNonAscii(std::string_view(utf8).substr(
        authorityEnd, fragment == std::string::npos ? std::string::npos : fragment - authorityEnd));
  }
  parts.requestUrl = std::string(parts.secure ? "https://" : "http://") + parts.host + ":" +
                     std::to_string(parts.port) + parts.object;
  return parts;
}

}  // namespace velinor
