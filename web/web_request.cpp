#include "web/web_request.h"

#include <cstring>
#include <optional>

#include "text/encoding.h"
#include "web/charset_stage.h"
#include "web/curl_handle.h"
#include "web/header_stage.h"
#include "web/http_exchange.h"
#include "web/request_headers.h"
#include "web/url_parts.h"

namespace velinor {
namespace {

constexpr long kDefaultTimeoutMs = 30000;

// The texts are the program's own, in code page 936; converted once.
const TextValue& ErrorText(int number) {
  static const TextValue kTexts[] = {
      Utf8ToAnsi("700 当前系统不支持WinHttp服务!"),
      Utf8ToAnsi("701 解析URL地址失败!"),
      Utf8ToAnsi("702 创建WinHttp会话失败!"),
      Utf8ToAnsi("703 创建WinHttp连接失败!"),
      Utf8ToAnsi("704 创建WinHttp请求失败!"),
      Utf8ToAnsi("705 设置超时时间失败!"),
      Utf8ToAnsi("706 设置服务器凭证失败!"),
      Utf8ToAnsi("707 设置代理凭证失败!"),
      Utf8ToAnsi("708 禁止自动设置Cookies失败!"),
      Utf8ToAnsi("709 重定向设置失败!"),
      Utf8ToAnsi("710 设置协议头失败!"),
      Utf8ToAnsi("711 发送请求失败!"),
      Utf8ToAnsi("712 服务器未响应!"),
      Utf8ToAnsi("713 读取数据失败!"),
  };
  return kTexts[number - 700];
}

// The stages counted by the ProcessEvents calls of a normal end, in order.
enum CountedStage : int {
  kPlatform = 1,
  kAddress,
  kSession,
  kConnection,
  kRequest,
  kTimeouts,
  kHeaderBlock,
  kSend,
  kReceive,
};

struct Failure {
  int error;         // 700-713
  int stagesPassed;  // counted stages before the failing one
  bool endsAtOnce;   // the option steps return without the normal end
};

std::optional<Failure> FailureOf(ExchangeStep step) {
  switch (step) {
    case ExchangeStep::kNone:
    case ExchangeStep::kRead:  // goes on with the headers; see WebRequest
      return std::nullopt;
    case ExchangeStep::kSession:
      return Failure{702, kAddress, false};
    case ExchangeStep::kConnection:
      return Failure{703, kSession, false};
    case ExchangeStep::kRequest:
      return Failure{704, kConnection, false};
    case ExchangeStep::kTimeouts:
      return Failure{705, kRequest, false};
    case ExchangeStep::kServerCredentials:
      return Failure{706, kTimeouts, true};
    case ExchangeStep::kProxyCredentials:
      return Failure{707, kTimeouts, true};
    case ExchangeStep::kCookies:
      return Failure{708, kTimeouts, true};
    case ExchangeStep::kRedirects:
      return Failure{709, kTimeouts, true};
    case ExchangeStep::kHeaders:
      return Failure{710, kTimeouts, false};
    case ExchangeStep::kSend:
      return Failure{711, kHeaderBlock, false};
    case ExchangeStep::kReceive:
      return Failure{712, kSend, false};
  }
  return std::nullopt;
}

long TimeoutMs(int timeoutSeconds) {
  if (timeoutSeconds <= 0) return kDefaultTimeoutMs;
  return static_cast<long>(timeoutSeconds) * 1000L;
}

}  // namespace

TextValue WebRequest(std::string_view url, const WebRequestOptions& options) {
  // Lives for the whole call, so it is released on every path.
  CharsetStage charsetStage;
  TextValue result;
  int stagesPassed = 0;

  auto writeStatus = [&](int error) {
    if (options.statusText) *options.statusText = ErrorText(error);
  };
  auto end = [&] {
    for (int i = 0; i < stagesPassed; ++i) ProcessEvents();
    return std::move(result);
  };

  if (!CurlGlobalInit()) {
    writeStatus(700);
    return end();
  }
  stagesPassed = kPlatform;

  std::optional<UrlParts> address = CrackUrl(url);
  if (!address) {
    writeStatus(701);
    return end();
  }
  stagesPassed = kAddress;

  ExchangeRequest request;
  request.url = std::move(address->requestUrl);
  request.secure = address->secure;
  request.method = options.method;
  request.body = options.postData;
  request.proxy = AnsiToUtf8(options.proxy);
  // Basic credentials travel as UTF-8 (RFC 7617).
  request.userName = AnsiToUtf8(options.userName);
  request.password = AnsiToUtf8(options.password);
  request.proxyUserName = AnsiToUtf8(options.proxyUserName);
  request.proxyPassword = AnsiToUtf8(options.proxyPassword);
  request.timeoutMs = TimeoutMs(options.timeoutSeconds);
  request.cookieEngine = options.sendCookies != nullptr;
  request.followRedirects = !options.noRedirect;
  if (const std::optional<TextValue> block =
          BuildHeaderBlock(options.extraHeaders, options.method, options.sendCookies)) {
    request.headerLines = HeaderLinesOf(*block, options.method == 2 ? 0 : options.postData.size());
  }

  ExchangeResult exchange = PerformExchange(request);
  if (const std::optional<Failure> failure = FailureOf(exchange.failed)) {
    writeStatus(failure->error);
    stagesPassed = failure->stagesPassed;
    if (failure->endsAtOnce) return {};
    return end();
  }
  stagesPassed = kReceive;
  // A broken read keeps what arrived; the status below replaces the text.
  if (exchange.failed == ExchangeStep::kRead) writeStatus(713);

  // Headers that never arrived whole cannot be read: nothing more is written.
  if (!exchange.headersComplete) return end();

  exchange.rawHeaders.resize(std::strlen(exchange.rawHeaders.c_str()));
  RunHeaderStage(exchange.rawHeaders, options.sendCookies, options.autoMergeCookies,
                 {.returnedHeaders = options.returnedHeaders,
                  .statusText = options.statusText,
                  .returnedCookies = options.returnedCookies,
                  .redirectAddress = options.redirectAddress});

  // Both were built as the body arrived: moved, not copied.
  result = std::move(exchange.text);
  const ByteBuffer* body = &exchange.body;
  if (options.responseBytes) {
    *options.responseBytes = std::move(exchange.body);
    body = options.responseBytes;
  }
  charsetStage.Run(*body, result);
  return end();
}

}  // namespace velinor
