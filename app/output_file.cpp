#include "app/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <system_error>

#include "text/encoding.h"

namespace velinor {
namespace {

// Linux's NAME_MAX, in bytes of the UTF-8 name.
constexpr std::size_t kMaxNameBytes = 255;
constexpr std::u32string_view kExtension = U".mp3";
// A large file is written in pieces of this size, each flushed as it goes.
constexpr std::size_t kWriteChunkBytes = 8 * 1024 * 1024;

std::u32string CodePoints(std::u16string_view units) {
  std::u32string out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    out.push_back(c);
  }
  return out;
}

std::size_t Utf8Length(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

std::string ToUtf8(std::u32string_view points) {
  std::string out;
  for (char32_t c : points) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool IsForbidden(char32_t c) {
  // Controls (C0, DEL, C1) and the characters Windows refuses in names.
  return c < 0x20 || (c >= 0x7F && c < 0xA0) ||
         std::u32string_view(U":*?\"<>|").find(c) != std::u32string_view::npos;
}

void TrimTrailingDotsAndSpaces(std::u32string& name) {
  while (!name.empty() && (name.back() == U'.' || name.back() == U' ')) name.pop_back();
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices on Windows whatever the
// extension, so "CON.mp3" would not be a file there.
bool IsWindowsDeviceName(std::u32string_view name) {
  std::u32string base(name.substr(0, name.find(U'.')));
  while (!base.empty() && base.back() == U' ') base.pop_back();
  for (char32_t& c : base) {
    if (c >= U'a' && c <= U'z') c -= 0x20;
  }
  static constexpr std::array<std::u32string_view, 4> kPlain = {U"CON", U"PRN", U"AUX", U"NUL"};
  if (std::find(kPlain.begin(), kPlain.end(), base) != kPlain.end()) return true;
  return base.size() == 4 && (base.starts_with(U"COM") || base.starts_with(U"LPT")) &&
         base[3] >= U'1' && base[3] <= U'9';
}

std::filesystem::path& RunDirectoryOverride() {
  static std::filesystem::path directory;
  return directory;
}

}  // namespace

void SetRunDirectoryForTesting(std::filesystem::path directory) {
  RunDirectoryOverride() = std::move(directory);
}

std::filesystem::path RunDirectory() {
  if (!RunDirectoryOverride().empty()) return RunDirectoryOverride();
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::filesystem::current_path(error);
  return exe.parent_path();
}

std::string SoundFileName(std::string_view title) {
  std::u32string points = CodePoints(AnsiToUtf16(title));

  // Each path step of the title becomes part of one name: separators and
  // "." / ".." steps turn into "_".
  std::u32string name;
  std::size_t begin = 0;
  while (begin <= points.size()) {
    std::size_t end = points.find_first_of(U"/\\", begin);
    if (end == std::u32string::npos) end = points.size();
    std::u32string step = points.substr(begin, end - begin);
    if (step == U"." || step == U"..") step.assign(1, U'_');
    for (char32_t& c : step) {
      if (IsForbidden(c)) c = U'_';
    }
    if (begin > 0) name += U'_';
    name += step;
    begin = end + 1;
  }

  TrimTrailingDotsAndSpaces(name);
  if (IsWindowsDeviceName(name)) name.insert(name.begin(), U'_');

  std::size_t bytes = 0;
  std::size_t keep = 0;
  const std::size_t budget = kMaxNameBytes - kExtension.size();
  while (keep < name.size() && bytes + Utf8Length(name[keep]) <= budget) {
    bytes += Utf8Length(name[keep++]);
  }
  name.resize(keep);
  TrimTrailingDotsAndSpaces(name);
  if (name.empty()) name = U"_";

  return ToUtf8(name + std::u32string(kExtension));
}

bool WriteFileBytes(const std::filesystem::path& path, const ByteBuffer& bytes) {
  if (path.empty() || !path.has_filename()) return false;

  // A short fixed name: the target's own may already use all 255 bytes.
  std::string temporary = (path.parent_path() / ".velinor-download-XXXXXX").string();
  int fd = mkstemp(temporary.data());
  if (fd < 0) return false;

  // mkstemp creates 0600; give the file the mode a plain creat() would.
  mode_t mask = umask(0);
  umask(mask);
  bool ok = fchmod(fd, 0666 & ~mask) == 0;

  const std::uint8_t* data = bytes.data();
  std::size_t left = bytes.size();
  while (ok && left > 0) {
    ssize_t written = write(fd, data, std::min(left, kWriteChunkBytes));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      ok = false;
      break;
    }
#ifdef SYNC_FILE_RANGE_WRITE
    // Start this chunk on its way to the disk while the next is copied, so
    // that the fsync below waits for the tail alone, not the whole file.
    sync_file_range(fd, static_cast<off_t>(data - bytes.data()), written, SYNC_FILE_RANGE_WRITE);
#endif
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) unlink(temporary.c_str());
  return ok;
}

}  // namespace velinor
