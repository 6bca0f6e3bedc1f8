// Helpers shared by the WebRequest tests: what the server received, in a
// comparable form, and a ProcessEvents counter.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/test_server.h"
#include "text/encoding.h"
#include "text/text.h"
#include "web/charset_stage.h"
#include "web/curl_handle.h"

namespace velinor::webtest {

inline const std::string kUserAgent =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)";
inline const std::string kAccept = "Accept: text/html, application/xhtml+xml, */*";
inline const std::string kAcceptEncoding = "Accept-Encoding: gbk, GB2312";
inline const std::string kAcceptLanguage = "Accept-Language: zh-cn";
inline const std::string kFormContentType = "Content-Type: application/x-www-form-urlencoded";
inline const std::string kCacheControl = "Cache-Control: no-cache";
inline const std::vector<std::string> kDefaultLines = {kUserAgent, kAccept, kAcceptEncoding,
                                                       kAcceptLanguage, kCacheControl};

// The first line of the request as received.
inline std::string RequestLine(const test::ReceivedRequest& request) {
  return request.head.substr(0, request.head.find("\r\n"));
}

// The header lines exactly as received, in order, without those named in
// `skip` (compared ignoring case).
inline std::vector<std::string> HeaderLines(const test::ReceivedRequest& request,
                                            std::initializer_list<std::string_view> skip = {
                                                "Host", "Content-Length"}) {
  std::vector<std::string> lines;
  std::string_view head = request.head;
  head.remove_prefix(std::min(head.size(), head.find("\r\n") + 2));
  while (!head.empty()) {
    const std::size_t end = head.find("\r\n");
    const std::string_view line = head.substr(0, end);
    head.remove_prefix(end == std::string_view::npos ? head.size() : end + 2);
    if (line.empty()) continue;
    const std::string_view name = line.substr(0, line.find(':'));
    bool skipped = false;
    for (const std::string_view s : skip) {
      skipped = skipped || (s.size() == name.size() && CompareText(s, name, false) == 0);
    }
    if (!skipped) lines.emplace_back(line);
  }
  return lines;
}

// Code-page-936 form of a UTF-8 literal.
inline TextValue Cp936(std::string_view utf8) { return Utf8ToAnsi(utf8); }

inline ByteBuffer Bytes(std::string_view text) { return ByteBuffer(text.begin(), text.end()); }

// Counts ProcessEvents calls while it lives.
class EventCounter {
 public:
  EventCounter() : previous_(SetProcessEventsHook([this] { ++count_; })) {}
  ~EventCounter() { SetProcessEventsHook(previous_); }
  EventCounter(const EventCounter&) = delete;
  EventCounter& operator=(const EventCounter&) = delete;
  int count() const { return count_; }

 private:
  int count_ = 0;
  std::function<void()> previous_;
};

// The ProcessEvents calls the charset stage makes for this body, whatever it
// does with it, so counts over a whole request do not depend on it.
inline int CharsetStageEvents(const ByteBuffer& body) {
  EventCounter counter;
  TextValue text = BytesToText(body);
  CharsetStage().Run(body, text);
  return counter.count();
}

// The ProcessEvents calls of a complete exchange: one per header line, the
// charset stage's, and one for each of the nine stages passed.
inline int CompleteExchangeEvents(const TextValue& rawHeaders, const ByteBuffer& body) {
  return ArrayCount(SplitText(rawHeaders, "\r\n")) + CharsetStageEvents(body) + 9;
}

// Every test trusts the test authority; verification itself stays on.
class WebTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { SetExtraCaFileForTesting(test::TestCaCertificateFile()); }
};

}  // namespace velinor::webtest
