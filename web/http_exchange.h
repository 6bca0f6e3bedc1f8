// One HTTP exchange over libcurl: the request as it goes on the wire in, a
// plain result out. The program's own rules (error texts, which outputs are
// written) live in WebRequest; this file maps the steps onto libcurl, and
// every libcurl failure onto the step it stands for, in one place.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace velinor {

struct ExchangeRequest {
  std::string url;  // absolute; its path and query are sent as written
  bool secure = false;
  int method = 0;           // index of the method table; only 1 is POST
  std::string_view body{};  // sent for every method
  // Sent in this order and case; nullopt when the block held something that
  // is no header line, which fails the header step.
  std::optional<std::vector<std::string>> headerLines;
  std::string proxy;               // host:port, "" for a direct connection
  std::string userName, password;  // Basic, used when both are non-empty
  std::string proxyUserName, proxyPassword;
  long timeoutMs = 30000;     // connect, and the longest silence while sending or receiving
  bool cookieEngine = false;  // a cookie jar of this exchange only, for its redirects
  bool followRedirects = true;
};

// The steps, in order; a failure names the first one that failed.
enum class ExchangeStep {
  kNone,
  kSession,     // handle and proxy
  kConnection,  // the address
  kRequest,     // method, protocol
  kTimeouts,
  kServerCredentials,
  kProxyCredentials,
  kCookies,
  kRedirects,
  kHeaders,
  kSend,     // resolving, connecting, TLS, proxy tunnel, sending the request
  kReceive,  // no status line arrived
  kRead,     // broken off after the status line, or the body too large
};

struct ExchangeResult {
  ExchangeStep failed = ExchangeStep::kNone;
  // The final response's status line and header lines, each ended by "\r\n",
  // then "\r\n"; only meaningful when `headersComplete`.
  std::string rawHeaders;
  bool headersComplete = false;
  ByteBuffer body;  // as received, also the part before a failed read
  // The body up to its first zero byte, built while the chunks arrive so the
  // whole body is not walked and copied a second time.
  TextValue text;
  std::string detail;  // libcurl's words for a failure
};

ExchangeResult PerformExchange(const ExchangeRequest& request);

// The verb of a method index; anything outside the table is "GET".
std::string_view MethodVerb(int method);

// The largest body kept: a buffer's length is a 32-bit signed count. Tests
// lower it; 0 restores the default.
void SetBodyLimitForTesting(std::size_t bytes);
std::size_t BodyLimit();

}  // namespace velinor
