#include "web/request_headers.h"

namespace velinor {
namespace {

constexpr std::string_view kUserAgent =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n";
constexpr std::string_view kAccept = "Accept: text/html, application/xhtml+xml, */*\r\n";
constexpr std::string_view kAcceptEncoding = "Accept-Encoding: gbk, GB2312\r\n";
constexpr std::string_view kAcceptLanguage = "Accept-Language: zh-cn\r\n";
constexpr std::string_view kContentType = "Content-Type: application/x-www-form-urlencoded\r\n";
constexpr std::string_view kCacheControl = "Cache-Control: no-cache\r\n";

void AppendUnlessFound(TextValue& block, std::string_view sought, std::string_view line) {
  if (FindText(block, sought, 1, true) == -1) block = ConcatText(block, line);
}

bool IsNameByte(unsigned char byte) { return byte > 0x20 && byte < 0x7F && byte != ':'; }

bool IsValueByte(unsigned char byte) { return byte == '\t' || (byte >= 0x20 && byte != 0x7F); }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareText(a, b, false) == 0;
}

std::string_view TrimmedValue(std::string_view value) {
  const std::size_t first = value.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return value.substr(first, value.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::optional<TextValue> BuildHeaderBlock(std::string_view extraHeaders, int method,
                                          const TextValue* sendCookies) {
  TextValue block = extraHeaders.empty() ? TextValue() : ConcatText(extraHeaders, "\r\n");
  AppendUnlessFound(block, "User-Agent: ", kUserAgent);
  AppendUnlessFound(block, "Accept: ", kAccept);
  AppendUnlessFound(block, "Accept-Encoding: ", kAcceptEncoding);
  AppendUnlessFound(block, "Accept-Language: ", kAcceptLanguage);
  if (method == 1) {
    // A lower-case "content-type:" is taken for the caller's own line.
    if (FindText(block, "content-type:", 1, false) != -1) {
      block = ReplaceText(block, "content-type", "Content-Type", 1, -1, true);
    }
    if (FindText(block, "Content-Type:", 1, false) == -1) block = ConcatText(block, kContentType);
  }
  AppendUnlessFound(block, "Cache-Control: ", kCacheControl);
  if (FindText(block, "Cookie: ", 1, true) == -1 && sendCookies && !sendCookies->empty()) {
    if (sendCookies->find_first_of("\r\n") != TextValue::npos) return std::nullopt;
    block = ConcatText(block, "Cookie: ", *sendCookies, "\r\n");
  }
  return block;
}

std::optional<std::vector<std::string>> HeaderLinesOf(std::string_view block,
                                                      std::size_t bodySize) {
  std::vector<std::string> lines;
  while (!block.empty()) {
    const std::size_t end = block.find("\r\n");
    const std::string_view line = block.substr(0, end);
    block = end == std::string_view::npos ? std::string_view() : block.substr(end + 2);
    if (line.empty()) continue;

    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) return std::nullopt;
    for (const char c : line.substr(0, colon)) {
      if (!IsNameByte(static_cast<unsigned char>(c))) return std::nullopt;
    }
    for (const char c : line.substr(colon + 1)) {
      if (!IsValueByte(static_cast<unsigned char>(c))) return std::nullopt;
    }
    // A length that disagrees with the body would desynchronise the connection.
    if (EqualsIgnoringCase(line.substr(0, colon), "Content-Length") &&
        TrimmedValue(line.substr(colon + 1)) != std::to_string(bodySize)) {
      return std::nullopt;
    }
    lines.emplace_back(line);
  }
  return lines;
}

}  // namespace velinor
