// A folder for the machine-fault tests that can be made read-only or small on
// demand: as root a tmpfs is mounted on it (permissions do not stop root), as
// another user its permissions are dropped.
#pragma once

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace velinor::test {

class ScratchFolder {
 public:
  // `<temp>/velinor-faults-XXXXXX/run`: the program's folder sits one level
  // down, so a file that escaped it would still be seen by a test.
  ScratchFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "velinor-faults-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    root_ = pattern;
    path_ = root_ / "run";
    std::filesystem::create_directory(path_);
  }
  ~ScratchFolder() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(root_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  const std::filesystem::path& root() const { return root_; }

  // Mounts a tmpfs with `options` ("size=256k") on the folder: "" when done,
  // otherwise why not (a reason to skip the test).
  std::string MountTmpfs(const std::string& options) {
    if (geteuid() != 0) return "a small file system can only be mounted by root";
    if (mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) != 0) {
      return std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
    }
    mounted_ = true;
    return "";
  }

  // Readies the folder for MakeReadOnly: "" when it can be done.
  std::string PrepareReadOnly() { return geteuid() == 0 ? MountTmpfs("size=16m") : ""; }

  // Takes away the right to create, replace or remove anything in the folder.
  // Safe to call from any thread.
  bool MakeReadOnly() {
    if (mounted_) {
      return mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    std::error_code error;
    std::filesystem::permissions(path_,
                                 std::filesystem::perms::owner_write |
                                     std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove, error);
    return !error;
  }

 private:
  std::filesystem::path root_;
  std::filesystem::path path_;
  bool mounted_ = false;
};

}  // namespace velinor::test
