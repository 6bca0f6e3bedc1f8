#include "tests/support/request_reader.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>

namespace velinor::test {
namespace {

constexpr std::size_t kMaxHead = 1 << 20;
constexpr std::size_t kMaxChunkLine = 64 << 10;
constexpr std::size_t kMaxBody = std::size_t{1} << 30;
constexpr std::size_t kReadSize = 16 << 10;

std::string_view TrimOws(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

bool IsTokenChar(unsigned char c) {
  return std::isalnum(c) ||
         std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

bool ParseRequestLine(std::string_view line, ReceivedRequest& request) {
  const auto first = line.find(' ');
  if (first == std::string_view::npos) return false;
  const auto second = line.find(' ', first + 1);
  if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos) {
    return false;
  }
  const std::string_view method = line.substr(0, first);
  const std::string_view target = line.substr(first + 1, second - first - 1);
  const std::string_view version = line.substr(second + 1);
  if (method.empty() || !std::all_of(method.begin(), method.end(), IsTokenChar)) return false;
  if (target.empty() || version.substr(0, 5) != "HTTP/") return false;
  request.method = method;
  request.target = target;
  request.version = version;
  return true;
}

// Content-Length digits only; repeated headers must agree.
bool ContentLength(const ReceivedRequest& request, bool& present, std::size_t& length) {
  present = false;
  for (const auto& [name, value] : request.headers) {
    if (Lower(name) != "content-length") continue;
    const std::string_view digits = TrimOws(value);
    if (digits.empty() || digits.size() > 15 ||
        !std::all_of(digits.begin(), digits.end(),
                     [](unsigned char c) { return std::isdigit(c); })) {
      return false;
    }
    const std::size_t parsed = std::stoull(std::string(digits));
    if (present && parsed != length) return false;
    present = true;
    length = parsed;
  }
  return true;
}

// The last transfer coding named, lower-cased; "" when there is none.
std::string FinalTransferCoding(const ReceivedRequest& request) {
  std::string last;
  for (const auto& [name, value] : request.headers) {
    if (Lower(name) != "transfer-encoding") continue;
    std::string_view codings = value;
    const auto comma = codings.rfind(',');
    if (comma != std::string_view::npos) codings.remove_prefix(comma + 1);
    last = Lower(TrimOws(codings));
    if (last.empty()) last = "?";
  }
  return last;
}

}  // namespace

RequestReader::RequestReader(ReadFunction read) : read_(std::move(read)) {}

bool RequestReader::Fill() {
  // Drop what was consumed so a long keep-alive connection does not grow the buffer.
  if (pos_ > 0 && pos_ >= buffer_.size() / 2) {
    buffer_.erase(0, pos_);
    pos_ = 0;
  }
  const std::size_t old = buffer_.size();
  buffer_.resize(old + kReadSize);
  const long got = read_(buffer_.data() + old, kReadSize);
  buffer_.resize(old + static_cast<std::size_t>(std::max(got, 0L)));
  return got > 0;
}

bool RequestReader::Need(std::size_t count) {
  while (buffer_.size() - pos_ < count) {
    if (!Fill()) return false;
  }
  return true;
}

bool RequestReader::ReadLine(std::string& line, std::size_t limit) {
  tooLong_ = false;
  std::size_t scanned = pos_;
  for (;;) {
    const auto nl = buffer_.find('\n', scanned);
    if (nl != std::string::npos) {
      if (nl + 1 - pos_ > limit) break;
      line.assign(buffer_, pos_, nl + 1 - pos_);
      pos_ = nl + 1;
      return true;
    }
    if (buffer_.size() - pos_ > limit) break;
    scanned = buffer_.size();
    const std::size_t before = pos_;
    if (!Fill()) return false;
    scanned -= before - pos_;  // Fill may have moved the unread bytes to the front
  }
  tooLong_ = true;
  return false;
}

RequestReader::Result RequestReader::Bad(int status) {
  badStatus_ = status;
  return Result::kBad;
}

RequestReader::Result RequestReader::ReadHead(ReceivedRequest& request) {
  std::string line;
  // Blank lines before a request line are tolerated (some clients end a body with one).
  do {
    if (!ReadLine(line, kMaxHead)) return tooLong_ ? Bad(431) : Result::kEnd;
  } while (WithoutLineEnd(line).empty());

  request.head = line;
  if (!ParseRequestLine(WithoutLineEnd(line), request)) return Bad(400);
  for (;;) {
    if (!ReadLine(line, kMaxHead - request.head.size())) {
      return tooLong_ ? Bad(431) : Result::kEnd;
    }
    const std::string_view content = WithoutLineEnd(line);
    if (content.empty()) break;
    request.head += line;
    if (content.front() == ' ' || content.front() == '\t') {
      // An obsolete folded line continues the previous header's value.
      if (request.headers.empty()) return Bad(400);
      auto& value = request.headers.back().second;
      value += ' ';
      value += TrimOws(content);
      continue;
    }
    const auto colon = content.find(':');
    if (colon == std::string_view::npos || colon == 0) return Bad(400);
    request.headers.emplace_back(std::string(content.substr(0, colon)),
                                 std::string(TrimOws(content.substr(colon + 1))));
  }
  return Result::kOk;
}

bool RequestReader::AnnouncesBody(const ReceivedRequest& request) {
  if (!FinalTransferCoding(request).empty()) return true;
  bool present = false;
  std::size_t length = 0;
  return ContentLength(request, present, length) && present && length > 0;
}

RequestReader::Result RequestReader::ReadBody(ReceivedRequest& request) {
  request.body.clear();
  const std::string coding = FinalTransferCoding(request);
  if (coding == "chunked") return ReadChunked(request.body);
  // Any other final coding leaves the body's end unknown.
  if (!coding.empty()) return Bad(400);

  bool present = false;
  std::size_t length = 0;
  if (!ContentLength(request, present, length)) return Bad(400);
  if (!present || length == 0) return Result::kOk;
  if (length > kMaxBody) return Bad(413);
  if (!Need(length)) return Result::kEnd;
  request.body.assign(buffer_, pos_, length);
  pos_ += length;
  return Result::kOk;
}

RequestReader::Result RequestReader::ReadChunked(std::string& body) {
  std::string line;
  for (;;) {
    if (!ReadLine(line, kMaxChunkLine)) return tooLong_ ? Bad(400) : Result::kEnd;
    std::string_view size = WithoutLineEnd(line);
    size = TrimOws(size.substr(0, size.find(';')));
    if (size.empty() || size.size() > 8 ||
        !std::all_of(size.begin(), size.end(), [](unsigned char c) { return std::isxdigit(c); })) {
      return Bad(400);
    }
    const std::size_t count = std::stoul(std::string(size), nullptr, 16);
    if (count == 0) break;
    if (body.size() + count > kMaxBody) return Bad(413);
    if (!Need(count)) return Result::kEnd;
    body.append(buffer_, pos_, count);
    pos_ += count;
    if (!ReadLine(line, kMaxChunkLine)) return tooLong_ ? Bad(400) : Result::kEnd;
    if (!WithoutLineEnd(line).empty()) return Bad(400);
  }
  // Trailer fields are read past, not kept.
  do {
    if (!ReadLine(line, kMaxHead)) return tooLong_ ? Bad(431) : Result::kEnd;
  } while (!WithoutLineEnd(line).empty());
  return Result::kOk;
}

}  // namespace velinor::test
