// One complete HTTP exchange, returning the response body as text.
//
//   TextValue status;
//   TextValue page = WebRequest(url, {.method = 1, .postData = body, .statusText = &status});
//
// Inputs omitted keep their zero values; outputs are pointers that stay
// untouched unless the exchange gets far enough to write them.
#pragma once

#include <string_view>

#include "text/text.h"

namespace velinor {

struct WebRequestOptions {
  int method =
      0;  // 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT, else GET
  std::string_view postData{};           // the request body, sent for every method but HEAD
  TextValue* sendCookies = nullptr;      // in/out: given (even "") sends and merges cookies
  TextValue* returnedCookies = nullptr;  // out: the cookies the response set
  std::string_view extraHeaders{};       // the caller's header lines, separated by "\r\n"
  TextValue* returnedHeaders = nullptr;  // out: the raw response headers
  bool noRedirect = false;
  std::string_view userName{};  // Basic server credentials, used when both are given
  std::string_view password{};
  std::string_view proxy{};  // host:port; "" for none
  std::string_view proxyUserName{};
  std::string_view proxyPassword{};
  int timeoutSeconds = 0;                // for each wait; 0 or less means 30
  TextValue* redirectAddress = nullptr;  // out: the value of a "Location: " line
  TextValue* statusText = nullptr;       // out: "200 OK", or an error text
  ByteBuffer* responseBytes = nullptr;   // out: the body exactly as received
  bool autoMergeCookies = true;
};

// The response body up to its first zero byte, possibly re-decoded from the
// page's declared charset; "" when the exchange did not get as far as the
// response headers. Failures are reported through `statusText` only.
TextValue WebRequest(std::string_view url, const WebRequestOptions& options = {});

}  // namespace velinor
