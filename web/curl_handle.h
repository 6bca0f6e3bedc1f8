// The one owner of a libcurl easy handle, shared by every HTTP client of the
// program (WebRequest here, HttpGetFile in app/).
//
// Use:
//   CurlHandle handle;                    // initialises libcurl once per process
//   if (!handle) { ... }                  // libcurl unusable or out of memory
//   curl_easy_setopt(handle.get(), CURLOPT_URL, url);
//   handle.SetHeaders({"Accept: */*"});   // the handle owns the list
//   CURLcode code = curl_easy_perform(handle.get());
//   // on failure, handle.ErrorText() says why in libcurl's words
//
// Every handle verifies TLS certificates and host names; tests make the
// handles trust their own authority with SetExtraCaFileForTesting.
#pragma once

#include <curl/curl.h>

#include <string>
#include <vector>

namespace velinor {

// Initialises libcurl for the whole process on the first call (thread-safe);
// true when it is usable and speaks HTTP. Later calls return the first answer.
bool CurlGlobalInit();

// Makes every handle created afterwards use `pemPath` as its CA bundle (the
// system's CA directory stays in force); "" restores the default. For tests.
void SetExtraCaFileForTesting(std::string pemPath);

class CurlHandle {
 public:
  CurlHandle();
  ~CurlHandle();
  CurlHandle(const CurlHandle&) = delete;
  CurlHandle& operator=(const CurlHandle&) = delete;

  explicit operator bool() const { return curl_ != nullptr; }
  CURL* get() const { return curl_; }

  // Sets CURLOPT_HTTPHEADER (or CURLOPT_PROXYHEADER) to these lines, in
  // order; the handle keeps the list alive until it is replaced or destroyed.
  CURLcode SetHeaders(const std::vector<std::string>& lines);
  CURLcode SetProxyHeaders(const std::vector<std::string>& lines);

  // libcurl's message for the last failure of this handle, or "".
  std::string ErrorText() const { return errorBuffer_; }

 private:
  CURLcode SetList(CURLoption option, curl_slist*& list, const std::vector<std::string>& lines);

  CURL* curl_ = nullptr;
  curl_slist* headers_ = nullptr;
  curl_slist* proxyHeaders_ = nullptr;
  char errorBuffer_[CURL_ERROR_SIZE] = {};
};

}  // namespace velinor
