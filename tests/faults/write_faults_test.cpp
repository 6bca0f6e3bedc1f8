// WriteFileBytes when the machine gets in the way: a disk that is full, and a
// writer killed half-way. The earlier file of that name survives byte for
// byte every time, and a failed write leaves nothing of its own behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "app/output_file.h"
#include "tests/faults/child_pattern.h"
#include "tests/faults/scratch_folder.h"

extern char** environ;

namespace velinor::test {
namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;

constexpr char kTemporaryPrefix[] = ".velinor-download-";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::string bytes(static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0)), '\0');
  in.seekg(0).read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Every entry of a folder, hidden ones included, by name: a file maps to
// its bytes.
Tree TreeOf(const fs::path& folder) {
  Tree tree;
  for (const auto& entry : fs::directory_iterator(folder)) {
    tree[entry.path().filename().string()] =
        entry.is_directory() ? "<dir>" : ReadFile(entry.path());
  }
  return tree;
}

ByteBuffer Filled(std::size_t size, std::uint8_t value) { return ByteBuffer(size, value); }
std::string AsString(const ByteBuffer& bytes) { return std::string(bytes.begin(), bytes.end()); }

// ---- A full disk: a small tmpfs, mounted when the tests run as root.

struct FullDiskCase {
  const char* name;
  std::string mountOptions;
  std::size_t earlierBytes;
  std::size_t newBytes;
};
void PrintTo(const FullDiskCase& row, std::ostream* out) { *out << row.name; }

class FullDiskTest : public ::testing::TestWithParam<FullDiskCase> {};

TEST_P(FullDiskTest, FailsAndKeepsTheEarlierFile) {
  const FullDiskCase& row = GetParam();
  ScratchFolder folder;
  if (const std::string why = folder.MountTmpfs(row.mountOptions); !why.empty()) {
    GTEST_SKIP() << why;
  }
  const std::string earlier = AsString(Filled(row.earlierBytes, 0x11));
  WriteFile(folder.path() / "雨声.mp3", earlier);
  ASSERT_EQ(ReadFile(folder.path() / "雨声.mp3"), earlier) << "the earlier file does not fit";

  EXPECT_FALSE(WriteFileBytes(folder.path() / "雨声.mp3", Filled(row.newBytes, 0x22)));

  EXPECT_EQ(TreeOf(folder.path()), (Tree{{"雨声.mp3", earlier}}));
}

INSTANTIATE_TEST_SUITE_P(
    Disks, FullDiskTest,
    ::testing::Values(FullDiskCase{"far_too_small", "size=256k", 1000, 4 * 1024 * 1024},
                      // Replacing through a temporary file needs room for both at once.
                      FullDiskCase{"room_for_one_copy_only", "size=256k", 150 * 1024, 150 * 1024},
                      FullDiskCase{"no_file_left_to_create", "size=1m,nr_inodes=2", 1000, 1000}),
    [](const auto& row) { return std::string(row.param.name); });

// ---- A writer killed half-way.

// A child process writing `size` bytes to `target` through WriteFileBytes.
class ChildWriter {
 public:
  ChildWriter(const fs::path& target, std::size_t size) {
    const std::string sizeText = std::to_string(size);
    const std::string path = target.string();
    char* const argv[] = {const_cast<char*>(VELINOR_WRITE_CHILD), const_cast<char*>(path.c_str()),
                          const_cast<char*>(sizeText.c_str()), nullptr};
    running_ = posix_spawn(&pid_, VELINOR_WRITE_CHILD, nullptr, nullptr, argv, environ) == 0;
  }
  ~ChildWriter() {
    if (running_) Kill();
  }
  bool started() const { return running_; }

  // Stops the child where it is; false when it had ended already.
  bool Stop() {
    kill(pid_, SIGSTOP);
    Reap(WUNTRACED);
    return running_;
  }
  void Continue() {
    if (running_) kill(pid_, SIGCONT);
  }
  // The status waitpid reports once the child has ended.
  int Wait() {
    if (running_) Reap(0);
    return status_;
  }
  int Kill() {
    if (running_) kill(pid_, SIGKILL);
    return Wait();
  }

 private:
  void Reap(int options) {
    int status = 0;
    pid_t result;
    while ((result = waitpid(pid_, &status, options)) < 0 && errno == EINTR) {
    }
    if (result == pid_ && (WIFEXITED(status) || WIFSIGNALED(status))) {
      running_ = false;
      status_ = status;
    }
  }

  pid_t pid_ = -1;
  bool running_ = false;
  int status_ = 0;
};

// The temporary files of WriteFileBytes in `folder`.
std::vector<fs::path> Temporaries(const fs::path& folder) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().starts_with(kTemporaryPrefix)) {
      found.push_back(entry.path());
    }
  }
  return found;
}

// Waits until the child's temporary file exists and has grown, then stops
// the child there. The temporary file when the child was caught half-way
// through its bytes; nullopt when it got further before it could be stopped.
std::optional<fs::path> StopHalfWay(ChildWriter& child, const fs::path& folder, std::size_t total) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    for (const fs::path& temporary : Temporaries(folder)) {
      std::error_code error;
      if (fs::file_size(temporary, error) == 0 || error) continue;
      if (!child.Stop()) return std::nullopt;
      const std::uintmax_t size = fs::file_size(temporary, error);
      if (!error && size > 0 && size < total) return temporary;
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return std::nullopt;
}

class KilledWriteTest : public ::testing::Test {
 protected:
  // Big enough that the writes take many system calls, so the child is
  // caught between them.
  static constexpr std::size_t kBytes = 64u << 20;
  const std::string earlier_ = "an earlier, good download";
  ScratchFolder folder_;
  const fs::path target_ = folder_.path() / "雨声.mp3";

  // Starts a child writing over target_ and stops it half-way; the
  // temporary file it was writing. Fails the test when no try catches it.
  fs::path ChildStoppedHalfWay(std::unique_ptr<ChildWriter>& child) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      WriteFile(target_, earlier_);
      child = std::make_unique<ChildWriter>(target_, kBytes);
      if (!child->started()) break;
      if (const auto temporary = StopHalfWay(*child, folder_.path(), kBytes)) return *temporary;
      child->Continue();
      child->Wait();
      for (const fs::path& left : Temporaries(folder_.path())) fs::remove(left);
    }
    ADD_FAILURE() << "the child writer was never caught half-way";
    return {};
  }
};

TEST_F(KilledWriteTest, EarlierFileSurvivesAndTheTemporaryHoldsAPart) {
  std::unique_ptr<ChildWriter> child;
  const fs::path temporary = ChildStoppedHalfWay(child);
  ASSERT_FALSE(temporary.empty());

  const int status = child->Kill();
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGKILL);

  EXPECT_EQ(ReadFile(target_), earlier_);
  // What the killed run leaves: its hidden temporary file, holding the
  // beginning of what it wrote.
  EXPECT_EQ(Temporaries(folder_.path()), std::vector<fs::path>{temporary});
  const std::string part = ReadFile(temporary);
  EXPECT_GT(part.size(), 0u);
  EXPECT_LT(part.size(), kBytes);
  EXPECT_EQ(part, AsString(ChildPattern(part.size())));
}

TEST_F(KilledWriteTest, NextWriteRemovesTheLeftover) {
  std::unique_ptr<ChildWriter> child;
  const fs::path temporary = ChildStoppedHalfWay(child);
  ASSERT_FALSE(temporary.empty());
  child->Kill();
  ASSERT_TRUE(fs::exists(temporary));

  ASSERT_TRUE(WriteFileBytes(folder_.path() / "铃声.mp3", Filled(1000, 0x33)));

  EXPECT_EQ(TreeOf(folder_.path()),
            (Tree{{"雨声.mp3", earlier_}, {"铃声.mp3", AsString(Filled(1000, 0x33))}}));
}

TEST_F(KilledWriteTest, LiveWritersTemporaryStaysAndItsWriteSucceeds) {
  std::unique_ptr<ChildWriter> child;
  const fs::path temporary = ChildStoppedHalfWay(child);
  ASSERT_FALSE(temporary.empty());

  ASSERT_TRUE(WriteFileBytes(folder_.path() / "铃声.mp3", Filled(1000, 0x33)));
  EXPECT_TRUE(fs::exists(temporary));

  child->Continue();
  const int status = child->Wait();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Temporaries(folder_.path()), std::vector<fs::path>{});
  EXPECT_EQ(fs::file_size(target_), kBytes);
  EXPECT_TRUE(ReadFile(target_) == AsString(ChildPattern(kBytes)));
}

TEST_F(KilledWriteTest, UnhinderedChildReplacesTheFile) {
  // The check above is only worth something if the same child, left alone,
  // does replace the file.
  WriteFile(target_, earlier_);
  ChildWriter child(target_, 1 << 20);
  ASSERT_TRUE(child.started());
  const int status = child.Wait();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(TreeOf(folder_.path()), (Tree{{"雨声.mp3", AsString(ChildPattern(1 << 20))}}));
}

// ---- What the clean-up after a successful write leaves alone: anything not
// named as its own temporary files are, and anything that is not a plain file.

TEST(LeftoverCleanUpTest, RemovesOnlyItsOwnAbandonedFiles) {
  ScratchFolder folder;
  const fs::path run = folder.path();
  const Tree kept = {
      {".velinor-download-short", "not six characters"},
      {".velinor-download-ABC12", "five characters"},
      {".velinor-download-ABC123.mp3", "longer than its names"},
      {".velinor-download-AB_123", "a character mkstemp never picks"},
      {"velinor-download-ABC123", "not hidden"},
      {"雨声.mp3", "an earlier download"},
  };
  for (const auto& [name, bytes] : kept) WriteFile(run / name, bytes);
  WriteFile(run / ".velinor-download-Ab3xZ9", "abandoned");
  fs::create_directory(run / ".velinor-download-FOLDER");
  WriteFile(folder.root() / "outside", "reached through a link");
  fs::create_symlink(folder.root() / "outside", run / ".velinor-download-LINK00");

  ASSERT_TRUE(WriteFileBytes(run / "铃声.mp3", Filled(10, 0x44)));

  Tree expected = kept;
  expected["铃声.mp3"] = AsString(Filled(10, 0x44));
  expected[".velinor-download-FOLDER"] = "<dir>";
  expected[".velinor-download-LINK00"] = "reached through a link";
  EXPECT_EQ(TreeOf(run), expected);
  EXPECT_TRUE(fs::is_symlink(run / ".velinor-download-LINK00"));
  EXPECT_EQ(ReadFile(folder.root() / "outside"), "reached through a link");
}

TEST(LeftoverCleanUpTest, FailedWriteRemovesNothing) {
  ScratchFolder folder;
  WriteFile(folder.path() / ".velinor-download-Ab3xZ9", "abandoned");
  fs::create_directory(folder.path() / "雨声.mp3");

  EXPECT_FALSE(WriteFileBytes(folder.path() / "雨声.mp3", Filled(10, 0x44)));

  EXPECT_EQ(TreeOf(folder.path()),
            (Tree{{".velinor-download-Ab3xZ9", "abandoned"}, {"雨声.mp3", "<dir>"}}));
}

}  // namespace
}  // namespace velinor::test
