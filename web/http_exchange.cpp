#include "web/http_exchange.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <new>

#include "web/curl_handle.h"

namespace velinor {
namespace {

constexpr std::size_t kDefaultBodyLimit = INT32_MAX;
// libcurl bounds single header lines; this bounds their sum, so a hostile
// server cannot make the header stage walk an endless block.
constexpr std::size_t kHeaderLimit = 1024 * 1024;
constexpr long kMaxRedirects = 10;
// Fewer, larger write callbacks for big bodies; libcurl's maximum is 512 KiB.
constexpr long kReceiveBufferBytes = 256 * 1024;

std::atomic<std::size_t> gBodyLimit{kDefaultBodyLimit};

// Follows one request through libcurl's callbacks. A "request" starts when
// libcurl has a connection for it (the prerequest callback): the first one
// and one per redirect followed.
struct Transfer {
  CURL* curl = nullptr;
  bool followRedirects = true;
  std::size_t bodyLimit = kDefaultBodyLimit;

  std::string rawHeaders;  // the latest response's
  ByteBuffer body;         // the latest response's
  TextValue text;          // its bytes before the first zero byte
  bool textEnded = false;  // a zero byte has arrived
  bool requestStarted = false;
  bool statusSeen = false;
  bool awaitingStatus = true;
  bool headersComplete = false;
  bool informational = false;
  bool hasLocation = false;
  int statusCode = 0;
  bool bodySized = false;
  // The latest response is complete and libcurl is about to follow it.
  bool redirectPending = false;
  bool lastRequestSecure = false;
  bool downgradeRefused = false;
  bool bodyTooLarge = false;
  bool headersTooLarge = false;
};

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(text[i]) != lower(prefix[i])) return false;
  }
  return true;
}

int StatusCodeOf(std::string_view statusLine) {
  const std::size_t space = statusLine.find(' ');
  if (space == std::string_view::npos || statusLine.size() < space + 4) return 0;
  int code = 0;
  for (std::size_t i = space + 1; i < space + 4; ++i) {
    if (statusLine[i] < '0' || statusLine[i] > '9') return 0;
    code = code * 10 + (statusLine[i] - '0');
  }
  return code;
}

int OnPrerequest(void* user, char*, char*, int, int) {
  auto& t = *static_cast<Transfer*>(user);
  const char* scheme = nullptr;
  curl_easy_getinfo(t.curl, CURLINFO_SCHEME, &scheme);
  const bool secure = scheme && StartsWithIgnoringCase(scheme, "https");
  // The allowed redirect protocols are fixed by the first address; this
  // catches an http -> https -> http chain before anything is sent.
  if (t.requestStarted && t.lastRequestSecure && !secure) {
    t.downgradeRefused = true;
    return CURL_PREREQFUNC_ABORT;
  }
  t.lastRequestSecure = secure;
  t.requestStarted = true;
  t.redirectPending = false;
  t.statusSeen = false;
  t.awaitingStatus = true;
  return CURL_PREREQFUNC_OK;
}

std::size_t TakeHeaderLine(Transfer& t, char* data, std::size_t bytes) {
  std::string_view line(data, bytes);
  // Lines are stored ended by CR LF whatever the server used.
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

  if (t.awaitingStatus) {
    t.awaitingStatus = false;
    t.statusSeen = true;
    t.headersComplete = false;
    t.hasLocation = false;
    t.bodySized = false;
    t.rawHeaders.clear();
    t.body.clear();
    t.text.clear();
    t.textEnded = false;
    t.statusCode = StatusCodeOf(line);
    t.informational = t.statusCode >= 100 && t.statusCode < 200;
  } else if (t.headersComplete) {
    return bytes;  // trailers after a chunked body
  } else if (line.empty()) {
    t.rawHeaders += "\r\n";
    if (t.informational) {
      t.awaitingStatus = true;  // the real response follows
    } else {
      t.headersComplete = true;
      t.redirectPending =
          t.followRedirects && t.statusCode >= 300 && t.statusCode < 400 && t.hasLocation;
    }
    return bytes;
  } else if (StartsWithIgnoringCase(line, "Location:")) {
    t.hasLocation = true;
  }
  if (t.rawHeaders.size() + line.size() + 2 > kHeaderLimit) {
    t.headersTooLarge = true;
    return 0;
  }
  t.rawHeaders.append(line).append("\r\n");
  return bytes;
}

std::size_t TakeBodyChunk(Transfer& t, char* data, std::size_t bytes) {
  if (!t.bodySized) {
    t.bodySized = true;
    curl_off_t announced = -1;
    if (curl_easy_getinfo(t.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
        announced > 0) {
      if (static_cast<std::uint64_t>(announced) > t.bodyLimit) {
        t.bodyTooLarge = true;
        return 0;
      }
      // One allocation of the announced size: no copies while growing.
      t.body.reserve(static_cast<std::size_t>(announced));
      t.text.reserve(static_cast<std::size_t>(announced));
    }
  }
  const std::size_t room = t.bodyLimit - t.body.size();
  const std::size_t taken = std::min(bytes, room);
  const auto* first = reinterpret_cast<const std::uint8_t*>(data);
  t.body.insert(t.body.end(), first, first + taken);
  if (!t.textEnded && taken > 0) {
    const void* zero = std::memchr(data, 0, taken);
    t.textEnded = zero != nullptr;
    t.text.append(data,
                  zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - data) : taken);
  }
  if (taken < bytes) {
    t.bodyTooLarge = true;
    return 0;
  }
  return bytes;
}

// No exception may unwind through libcurl: running out of memory for a
// header or the body ends the read like a body that is too large.
std::size_t OnHeaderLine(char* data, std::size_t size, std::size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  try {
    return TakeHeaderLine(t, data, size * count);
  } catch (const std::bad_alloc&) {
    t.headersTooLarge = true;
    return 0;
  }
}

std::size_t OnBodyChunk(char* data, std::size_t size, std::size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  try {
    return TakeBodyChunk(t, data, size * count);
  } catch (const std::bad_alloc&) {
    t.bodyTooLarge = true;
    return 0;
  }
}

bool IsSendFailure(CURLcode code) {
  return code == CURLE_SEND_ERROR || code == CURLE_SEND_FAIL_REWIND || code == CURLE_READ_ERROR;
}

// Every libcurl failure of curl_easy_perform, mapped onto the step it stands
// for; kNone when the exchange ended on a response that is kept as final.
ExchangeStep StepOfFailure(CURLcode code, const Transfer& t) {
  if (t.bodyTooLarge || t.headersTooLarge) return ExchangeStep::kRead;
  if (t.redirectPending) {
    // A redirect that may not be followed (another scheme, https to http,
    // one too many) leaves its own response as the final one.
    if (code == CURLE_TOO_MANY_REDIRECTS || code == CURLE_UNSUPPORTED_PROTOCOL ||
        t.downgradeRefused) {
      return ExchangeStep::kNone;
    }
    return ExchangeStep::kSend;  // the redirect target could not be reached
  }
  if (t.statusSeen) return ExchangeStep::kRead;
  if (!t.requestStarted || IsSendFailure(code)) return ExchangeStep::kSend;
  return ExchangeStep::kReceive;
}

// Sets options in order and remembers the first failure.
class Options {
 public:
  explicit Options(CURL* curl) : curl_(curl) {}
  template <typename Value>
  Options& Set(CURLoption option, Value value) {
    if (code_ == CURLE_OK) code_ = curl_easy_setopt(curl_, option, value);
    return *this;
  }
  CURLcode code() const { return code_; }

 private:
  CURL* curl_;
  CURLcode code_ = CURLE_OK;
};

std::string_view NameOf(std::string_view line) { return line.substr(0, line.find(':')); }

bool NamesHeader(const std::vector<std::string>& lines, std::string_view name) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
    const std::string_view lineName = NameOf(line);
    return lineName.size() == name.size() && StartsWithIgnoringCase(lineName, name);
  });
}

// The lines in libcurl's notation, plus removals of the headers libcurl would
// add on its own that the block does not name.
std::vector<std::string> CurlHeaderList(const std::vector<std::string>& lines) {
  std::vector<std::string> list;
  list.reserve(lines.size() + 3);
  for (const std::string& line : lines) {
    // libcurl reads "Name:" with nothing after it as "drop this header" and
    // "Name;" as "send it empty".
    const std::string_view value = std::string_view(line).substr(line.find(':') + 1);
    if (value.find_first_not_of(" \t") == std::string_view::npos) {
      list.push_back(std::string(NameOf(line)) + ";");
    } else {
      list.push_back(line);
    }
  }
  for (const std::string_view name : {"Accept", "Expect", "Content-Type", "Proxy-Connection"}) {
    if (!NamesHeader(lines, name)) list.push_back(std::string(name) + ":");
  }
  return list;
}

}  // namespace

std::string_view MethodVerb(int method) {
  static constexpr std::string_view kVerbs[] = {"GET",     "POST",   "HEAD",  "PUT",
                                                "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  if (method < 0 || method >= static_cast<int>(std::size(kVerbs))) return kVerbs[0];
  return kVerbs[method];
}

void SetBodyLimitForTesting(std::size_t bytes) {
  gBodyLimit = bytes == 0 ? kDefaultBodyLimit : std::min(bytes, kDefaultBodyLimit);
}

std::size_t BodyLimit() { return gBodyLimit; }

ExchangeResult PerformExchange(const ExchangeRequest& request) {
  ExchangeResult result;
  CurlHandle handle;
  auto fail = [&](ExchangeStep step, CURLcode code) {
    result.failed = step;
    result.detail = curl_easy_strerror(code);
    return std::move(result);
  };
  if (!handle) return fail(ExchangeStep::kSession, CURLE_FAILED_INIT);
  CURL* curl = handle.get();

  Transfer transfer;
  transfer.curl = curl;
  transfer.followRedirects = request.followRedirects;
  transfer.bodyLimit = BodyLimit();

  // An empty proxy switches proxies off, and NOPROXY "" keeps the
  // environment's proxy variables out of it.
  Options session(curl);
  session.Set(CURLOPT_PROXY, request.proxy.c_str()).Set(CURLOPT_NOPROXY, "");
  if (session.code() != CURLE_OK) return fail(ExchangeStep::kSession, session.code());

  Options connection(curl);
  connection.Set(CURLOPT_URL, request.url.c_str())
      .Set(CURLOPT_PATH_AS_IS, 1L)
      .Set(CURLOPT_PROTOCOLS_STR, "http,https");
  if (connection.code() != CURLE_OK) return fail(ExchangeStep::kConnection, connection.code());

  const std::string_view verb = MethodVerb(request.method);
  const bool head = request.method == 2;
  const bool sendsBody =
      !head && (!request.body.empty() || request.method == 1 || request.method == 3);
  Options req(curl);
  req.Set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1))
      .Set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L)
      .Set(CURLOPT_HEADEROPT, static_cast<long>(CURLHEADER_SEPARATE))
      .Set(CURLOPT_BUFFERSIZE, kReceiveBufferBytes)
      .Set(CURLOPT_PREREQFUNCTION, &OnPrerequest)
      .Set(CURLOPT_PREREQDATA, static_cast<void*>(&transfer))
      .Set(CURLOPT_HEADERFUNCTION, &OnHeaderLine)
      .Set(CURLOPT_HEADERDATA, static_cast<void*>(&transfer))
      .Set(CURLOPT_WRITEFUNCTION, &OnBodyChunk)
      .Set(CURLOPT_WRITEDATA, static_cast<void*>(&transfer));
  // libcurl sends no body with HEAD: NOBODY drops it, and a custom "HEAD"
  // with a body would wait for a response body that never comes.
  if (head) req.Set(CURLOPT_NOBODY, 1L);
  const std::string verbText(verb);
  if (request.method != 1 && !head && (sendsBody || verb != "GET")) {
    req.Set(CURLOPT_CUSTOMREQUEST, verbText.c_str());
  }
  if (req.code() != CURLE_OK) return fail(ExchangeStep::kRequest, req.code());

  // libcurl has no single time-out per wait: the connect time-out covers
  // name resolution and connecting, and a transfer that moves less than one
  // byte a second for t seconds counts as one that waited t.
  Options timeouts(curl);
  timeouts.Set(CURLOPT_CONNECTTIMEOUT_MS, request.timeoutMs)
      .Set(CURLOPT_LOW_SPEED_LIMIT, 1L)
      .Set(CURLOPT_LOW_SPEED_TIME, std::max(1L, request.timeoutMs / 1000))
      .Set(CURLOPT_TIMEOUT_MS, 0L);
  if (timeouts.code() != CURLE_OK) return fail(ExchangeStep::kTimeouts, timeouts.code());

  if (!request.userName.empty() && !request.password.empty()) {
    Options credentials(curl);
    credentials.Set(CURLOPT_HTTPAUTH, static_cast<unsigned long>(CURLAUTH_BASIC))
        .Set(CURLOPT_USERNAME, request.userName.c_str())
        .Set(CURLOPT_PASSWORD, request.password.c_str());
    if (credentials.code() != CURLE_OK) {
      return fail(ExchangeStep::kServerCredentials, credentials.code());
    }
  }
  if (!request.proxyUserName.empty() && !request.proxyPassword.empty()) {
    Options credentials(curl);
    credentials.Set(CURLOPT_PROXYAUTH, static_cast<unsigned long>(CURLAUTH_BASIC))
        .Set(CURLOPT_PROXYUSERNAME, request.proxyUserName.c_str())
        .Set(CURLOPT_PROXYPASSWORD, request.proxyPassword.c_str());
    if (credentials.code() != CURLE_OK) {
      return fail(ExchangeStep::kProxyCredentials, credentials.code());
    }
  }

  // The cookie engine is off unless asked for; "" starts an empty jar in
  // memory that lives as long as this handle.
  if (request.cookieEngine) {
    Options cookies(curl);
    cookies.Set(CURLOPT_COOKIEFILE, "");
    if (cookies.code() != CURLE_OK) return fail(ExchangeStep::kCookies, cookies.code());
  }

  Options redirects(curl);
  redirects.Set(CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
  if (request.followRedirects) {
    // Never from https to http; POST turns into GET on 301, 302 and 303.
    redirects.Set(CURLOPT_MAXREDIRS, kMaxRedirects)
        .Set(CURLOPT_REDIR_PROTOCOLS_STR, request.secure ? "https" : "http,https")
        .Set(CURLOPT_POSTREDIR, 0L);
  }
  if (redirects.code() != CURLE_OK) return fail(ExchangeStep::kRedirects, redirects.code());

  if (!request.headerLines) return fail(ExchangeStep::kHeaders, CURLE_BAD_FUNCTION_ARGUMENT);
  CURLcode headersSet = handle.SetHeaders(CurlHeaderList(*request.headerLines));
  // The CONNECT of a tunnel carries only what the proxy needs.
  if (headersSet == CURLE_OK) headersSet = handle.SetProxyHeaders({"Proxy-Connection:"});
  if (headersSet != CURLE_OK) return fail(ExchangeStep::kHeaders, headersSet);

  if (sendsBody) {
    Options body(curl);
    body.Set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()))
        .Set(CURLOPT_POSTFIELDS, request.body.empty() ? "" : request.body.data());
    if (body.code() != CURLE_OK) return fail(ExchangeStep::kSend, body.code());
  }

  const CURLcode code = curl_easy_perform(curl);
  if (code != CURLE_OK) {
    result.failed = StepOfFailure(code, transfer);
    result.detail = handle.ErrorText().empty() ? curl_easy_strerror(code) : handle.ErrorText();
  } else if (!transfer.headersComplete) {
    // libcurl reports a connection closed inside the headers as a success.
    result.failed = transfer.statusSeen ? ExchangeStep::kRead : ExchangeStep::kReceive;
    result.detail = "connection closed before the end of the response headers";
  }
  result.headersComplete = transfer.headersComplete;
  result.rawHeaders = std::move(transfer.rawHeaders);
  result.body = std::move(transfer.body);
  result.text = std::move(transfer.text);
  return result;
}

}  // namespace velinor
