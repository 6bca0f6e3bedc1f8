// Whole pages in other charsets, fetched from the local test server through
// WebRequest, come back as code-page-936 text.
#include <gtest/gtest.h>

#include <string>

#include "tests/regex/hex.h"
#include "tests/support/test_server.h"
#include "web/web_request.h"

namespace velinor {
namespace {

using test::Hex;
using test::ToHex;

std::string Page(std::string_view head, std::string_view title) {
  return "<html><head>" + std::string(head) + "<title>" + std::string(title) +
         "</title></head><body>ok</body></html>";
}

TEST(CharsetPages, ServedPagesArriveInCodePage936) {
  struct Row {
    const char* name;
    const char* head;
    const char* titleHex;     // the title in the page's own charset
    const char* expectedHex;  // the title in code page 936, "?" where it has no form
  };
  const Row rows[] = {
      {"utf-8: 中文 café € 한 😀", R"(<meta charset="utf-8">)",
       "e4b8ad e69687 20 636166c3a9 20 e282ac 20 ed959c 20 f09f9880",
       "d6d0 cec4 20 636166a8a6 20 80 20 3f 20 3f"},
      {"big5: 中文測試", R"(<meta http-equiv="Content-Type" content="text/html; charset=big5">)",
       "a4a4 a4e5 b4fa b8d5", "d6d0 cec4 9c79 d487"},
      {"shift_jis: 日本語テキストｶ", "<meta charset=Shift_JIS>",
       "93fa 967b 8cea 8365 834c 8358 8367 b6", "c8d5 b1be d55a a5c6 a5ad a5b9 a5c8 3f"},
      {"euc-kr: 한국어 中Ω", "<meta charset='euc-kr'>", "c7d1 b1b9 beee 20 f1e9 a5d8",
       "3f 3f 3f 20 d6d0 a6b8"},
      {"windows-1252 declared as iso-8859-1: café € “quotes” ÿ", R"(<meta charset="iso-8859-1">)",
       "636166e9 20 80 20 93 71756f746573 94 20 ff",
       "636166a8a6 20 80 20 a1b0 71756f746573 a1b1 20 3f"},
      {"gbk needs nothing", R"(<meta charset="gbk">)", "d6d0 cec4 81", "d6d0 cec4 81"},
  };
  test::TestServer server;
  for (const Row& row : rows) {
    const std::string body = Page(row.head, Hex(row.titleHex));
    server.Respond("/page", 200, body, {{"Content-Type", "text/html"}});
    ByteBuffer bytes;
    TextValue status;
    WebRequestOptions options;
    options.statusText = &status;
    options.responseBytes = &bytes;
    const TextValue text = WebRequest(server.Url("/page"), options);
    EXPECT_EQ(status, "200 OK") << row.name;
    EXPECT_EQ(ToHex(text), ToHex(Page(row.head, Hex(row.expectedHex)))) << row.name;
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), body) << row.name << ": own bytes kept";
  }
}

}  // namespace
}  // namespace velinor
