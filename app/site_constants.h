// Every place the program names: the site, the maker's download server and
// their paths, the own release and the contact number. Texts are code page
// 936, as the program uses them.
//
// For a local mirror (tests, the demo site, benchmarks) two environment
// variables take the place of the hosts; unset or empty, the constants hold:
//   VELINOR_SITE             host[:port] of the site, served over http
//   VELINOR_DOWNLOAD_SERVER  scheme://host[:port] of the download server
// They are read at every call, so a test can point one run at its own server.
#pragma once

#include "text/text.h"

namespace velinor {

inline constexpr char kSiteDomain[] = "velinor.com";
inline constexpr char kListingPagePath[] = "/soundeffect/";
inline constexpr char kSectionPath[] = "/media";
inline constexpr char kDownloadServer[] = "https://dl.tamsel.net";
inline constexpr char kVersionFilePath[] = "/e/yz/velinor_exe.txt";
inline constexpr char kOwnVersion[] = "1.2.0";
// Eight digits keep the contact text inside its 88-pixel label.
inline constexpr char kContactUtf8[] = "QQ：31415926";

// The site's domain, or VELINOR_SITE.
TextValue SiteDomain();
// What a sound page's address must contain: the domain followed by "/media".
TextValue SectionMarker();
// http://www.velinor.com/soundeffect/, or the same path on VELINOR_SITE.
TextValue ListingPageAddress();
// https://dl.tamsel.net, or VELINOR_DOWNLOAD_SERVER without a trailing slash.
TextValue DownloadServer();
// The plain-text file on the download server that starts with the newest release.
TextValue VersionFileAddress();
// The newest release's package on the download server, opened in the browser.
TextValue UpgradePackageAddress();
// "1.2.0".
TextValue OwnVersion();
// What the contact label shows: "QQ：" and the maker's number.
TextValue ContactText();

}  // namespace velinor
