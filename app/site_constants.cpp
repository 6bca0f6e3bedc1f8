#include "app/site_constants.h"

#include <cstdlib>
#include <string>

#include "text/encoding.h"

namespace velinor {
namespace {

// "" when the variable is unset or empty.
std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

TextValue SiteDomain() {
  std::string site = Environment("VELINOR_SITE");
  return site.empty() ? TextValue(kSiteDomain) : Utf8ToAnsi(site);
}

TextValue SectionMarker() { return ConcatText(SiteDomain(), kSectionPath); }

TextValue ListingPageAddress() {
  std::string site = Environment("VELINOR_SITE");
  TextValue host = site.empty() ? ConcatText("www.", kSiteDomain) : Utf8ToAnsi(site);
  return ConcatText("http://", host, kListingPagePath);
}

TextValue DownloadServer() {
  std::string server = Environment("VELINOR_DOWNLOAD_SERVER");
  // A trailing slash would double the one the paths start with.
  while (!server.empty() && server.back() == '/') server.pop_back();
  return server.empty() ? TextValue(kDownloadServer) : Utf8ToAnsi(server);
}

TextValue VersionFileAddress() { return ConcatText(DownloadServer(), kVersionFilePath); }

TextValue UpgradePackageAddress() {
  static const TextValue path = Utf8ToAnsi("/e/yz/Velinor音效下载器.zip");
  return ConcatText(DownloadServer(), path);
}

TextValue OwnVersion() { return kOwnVersion; }

TextValue ContactText() {
  static const TextValue text = Utf8ToAnsi(kContactUtf8);
  return text;
}

}  // namespace velinor
