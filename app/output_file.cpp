#include "app/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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
// Temporary files are this prefix and mkstemp's six characters. Short and
// fixed: the target's own name may already use all 255 bytes.
constexpr std::string_view kTemporaryPrefix = ".velinor-download-";
constexpr int kCreateAttempts = 3;

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

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A new temporary file in `directory`, locked for as long as it is open, so
// that another run's clean-up can tell it from the leftover of a writer that
// died (a lock ends with its process). -1 when none can be made.
int CreateLockedTemporary(const std::filesystem::path& directory, std::string& path) {
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    path = (directory / (std::string(kTemporaryPrefix) + "XXXXXX")).string();
    const int fd = mkstemp(path.data());
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      // No locks on this file system: nothing to guard against either.
      if (errno != EWOULDBLOCK) return fd;
      // Another run's clean-up took it for a leftover in the moment before
      // the lock: it is going, so start over with a new one.
      close(fd);
      unlink(path.c_str());
      continue;
    }
    // The same, when that clean-up has already removed it and gone.
    struct stat opened {};
    struct stat named {};
    if (fstat(fd, &opened) == 0 && lstat(path.c_str(), &named) == 0 && SameFile(opened, named)) {
      return fd;
    }
    close(fd);
  }
  return -1;
}

bool IsTemporaryName(std::string_view name) {
  if (!name.starts_with(kTemporaryPrefix) || name.size() != kTemporaryPrefix.size() + 6) {
    return false;
  }
  return std::all_of(name.begin() + kTemporaryPrefix.size(), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
  });
}

// Removes the temporary files in `directory` that no live writer holds: a
// program killed while writing leaves one of up to the whole sound's size.
void RemoveAbandonedTemporaries(const std::filesystem::path& directory) {
  DIR* listing = opendir(directory.c_str());
  if (listing == nullptr) return;
  const int dirFd = dirfd(listing);
  while (const dirent* entry = readdir(listing)) {
    if (!IsTemporaryName(entry->d_name)) continue;
    const int fd =
        openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) continue;
    struct stat opened {};
    struct stat named {};
    // Only a regular file whose lock is free, and still under that name.
    if (fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        SameFile(opened, named)) {
      unlinkat(dirFd, entry->d_name, 0);
    }
    close(fd);
  }
  closedir(listing);
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

  std::string temporary;
  const int fd = CreateLockedTemporary(path.parent_path(), temporary);
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
  // A second descriptor keeps the lock until the file has its final name;
  // closing the first still reports a late write error before the rename.
  const int lockHolder = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) unlink(temporary.c_str());
  if (lockHolder >= 0) close(lockHolder);
  if (ok) RemoveAbandonedTemporaries(path.parent_path());
  return ok;
}

}  // namespace velinor
