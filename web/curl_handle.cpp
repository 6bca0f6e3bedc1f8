#include "web/curl_handle.h"

#include <cstring>
#include <mutex>
#include <utility>

namespace velinor {
namespace {

std::mutex& CaFileMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& CaFile() {
  static std::string path;
  return path;
}

bool InitialiseOnce() {
  if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return false;
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  if (!info || !info->protocols) return false;
  for (const char* const* protocol = info->protocols; *protocol; ++protocol) {
    if (std::strcmp(*protocol, "http") == 0) return true;
  }
  return false;
}

}  // namespace

bool CurlGlobalInit() {
  // curl_global_init is not thread-safe by itself; a function-local static is.
  static const bool usable = InitialiseOnce();
  return usable;
}

void SetExtraCaFileForTesting(std::string pemPath) {
  std::lock_guard lock(CaFileMutex());
  CaFile() = std::move(pemPath);
}

CurlHandle::CurlHandle() {
  if (!CurlGlobalInit()) return;
  curl_ = curl_easy_init();
  if (!curl_) return;
  bool ok = curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, errorBuffer_) == CURLE_OK;
  // Timeouts must not raise SIGALRM in a program with other threads.
  ok = ok && curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl_, CURLOPT_PROXY_SSL_VERIFYPEER, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl_, CURLOPT_PROXY_SSL_VERIFYHOST, 2L) == CURLE_OK;
  {
    std::lock_guard lock(CaFileMutex());
    if (!CaFile().empty()) {
      ok = ok && curl_easy_setopt(curl_, CURLOPT_CAINFO, CaFile().c_str()) == CURLE_OK;
      ok = ok && curl_easy_setopt(curl_, CURLOPT_PROXY_CAINFO, CaFile().c_str()) == CURLE_OK;
    }
  }
  if (!ok) {
    curl_easy_cleanup(curl_);
    curl_ = nullptr;
  }
}

CurlHandle::~CurlHandle() {
  if (curl_) curl_easy_cleanup(curl_);
  curl_slist_free_all(headers_);
  curl_slist_free_all(proxyHeaders_);
}

CURLcode CurlHandle::SetHeaders(const std::vector<std::string>& lines) {
  return SetList(CURLOPT_HTTPHEADER, headers_, lines);
}

CURLcode CurlHandle::SetProxyHeaders(const std::vector<std::string>& lines) {
  return SetList(CURLOPT_PROXYHEADER, proxyHeaders_, lines);
}

CURLcode CurlHandle::SetList(CURLoption option, curl_slist*& list,
                             const std::vector<std::string>& lines) {
  if (!curl_) return CURLE_FAILED_INIT;
  curl_slist* fresh = nullptr;
  for (const std::string& line : lines) {
    curl_slist* grown = curl_slist_append(fresh, line.c_str());
    if (!grown) {
      curl_slist_free_all(fresh);
      return CURLE_OUT_OF_MEMORY;
    }
    fresh = grown;
  }
  const CURLcode code = curl_easy_setopt(curl_, option, fresh);
  if (code != CURLE_OK) {
    curl_slist_free_all(fresh);
    return code;
  }
  curl_slist_free_all(list);
  list = fresh;
  return CURLE_OK;
}

}  // namespace velinor
