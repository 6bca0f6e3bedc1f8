#include "app/http_get_file.h"

#include <climits>
#include <string>

#include "web/curl_handle.h"

namespace velinor {
namespace {

// A server that stops sending is given up on after this long, so the window
// cannot stay frozen for good.
constexpr long kIdleSeconds = 30;
// libcurl's receive buffer: its 16 KiB default costs a system call and a
// callback per 16 KiB of a large file.
constexpr long kReceiveBufferBytes = 1024 * 1024;

struct Transfer {
  CURL* curl = nullptr;
  ByteBuffer body;
  bool sized = false;
  bool headersEnded = false;  // the last response's header block was closed by its empty line
};

// libcurl takes a close in the middle of the headers for the end of a
// response with an empty body; only the empty line shows the head was whole.
std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  const std::string_view line(data, size * count);
  if (line.starts_with("HTTP/")) transfer.headersEnded = false;
  if (line == "\r\n" || line == "\n") transfer.headersEnded = true;
  return line.size();
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  const std::size_t bytes = size * count;
  // A buffer's length is a signed 32-bit count.
  if (bytes > static_cast<std::size_t>(INT_MAX) - transfer.body.size()) return 0;
  if (!transfer.sized) {
    // Size the buffer once from the announced length, so that a large file
    // is never copied while it grows. Bodies of redirects are not delivered,
    // so this is the final response's length.
    transfer.sized = true;
    curl_off_t announced = -1;
    curl_easy_getinfo(transfer.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    if (announced > 0 && announced <= INT_MAX) {
      transfer.body.reserve(static_cast<std::size_t>(announced));
    }
  }
  transfer.body.insert(transfer.body.end(), data, data + bytes);
  return bytes;
}

}  // namespace

ByteBuffer HttpGetFile(std::string_view address, HttpGetFileOutcome* outcome) {
  HttpGetFileOutcome result;
  Transfer transfer;
  CurlHandle handle;
  if (handle) {
    CURL* curl = transfer.curl = handle.get();
    const std::string url(address);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
    handle.SetHeaders({"Accept: */*"});
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kIdleSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kIdleSeconds);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    result.complete = curl_easy_perform(curl) == CURLE_OK && transfer.headersEnded;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
  }
  if (outcome) *outcome = result;
  return std::move(transfer.body);
}

}  // namespace velinor
