// The download command end to end, in the real window, when the program's
// folder turns read-only part-way through a download or its disk is full:
// the status line ends on the failure, never on success, and the folder
// holds the earlier file of that title byte for byte and nothing else.
#include <gtest/gtest.h>

#include <QTest>
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/download_command.h"
#include "app/main_window.h"
#include "app/output_file.h"
#include "tests/app/window_test_support.h"
#include "tests/faults/scratch_folder.h"
#include "tests/support/test_server.h"
#include "text/encoding.h"

namespace velinor::test {
namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;
using States = std::vector<StatusState>;

const StatusState kDownloading{"提示：正在下载......", "black"};
const StatusState kFailed{"提示：下载失败", "black"};
const StatusState kDone{"提示：下载完毕!!!文件已放到本软件同目录", "black"};
const std::string kEarlier = "an earlier, good download of the same title";

std::string Audio(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 13 + i / 251);
  return bytes;
}

class DownloadFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetRunDirectoryForTesting(folder_.path());
    setenv("VELINOR_SITE", server_.HostPort().c_str(), 1);
    // The program's pump, with room for one action of the test at the first
    // pump of the page request.
    previousPump_ = SetProcessEventsHook([this] {
      if (duringPage_) std::exchange(duringPage_, {})();
      QCoreApplication::processEvents();
    });
    window_ =
        std::make_unique<MainWindow>(MainWindowHandlers{.downloadClicked = DownloadSoundEffect});
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    status_ = std::make_unique<StatusRecorder>(*window_);
  }

  void TearDown() override {
    status_.reset();
    window_.reset();
    SetProcessEventsHook(previousPump_);
    SetRunDirectoryForTesting({});
    unsetenv("VELINOR_SITE");
  }

  // The site: a sound page titled 夏夜雨声 whose audio is `audio`; the
  // audio's handler runs `beforeAudio` first, on the server's thread, while
  // the program waits for the audio.
  void Serve(const std::string& audio, std::function<void()> beforeAudio = {}) {
    const std::string page = "<html><head><meta charset=\"gbk\"><title>" +
                             Utf8ToAnsi("夏夜雨声下载_正版") +
                             "</title></head><body><audio><source src=\"//" + server_.HostPort() +
                             "/audio/rain.mp3\"></audio></body></html>";
    server_.Respond("/media/1.html", 200, page, {{"Content-Type", "text/html"}});
    server_.Route("/audio/rain.mp3",
                  [audio, beforeAudio](const ReceivedRequest& request, Connection& connection) {
                    if (beforeAudio) beforeAudio();
                    SendResponse(request, connection, 200, audio, {{"Content-Type", "audio/mpeg"}});
                  });
  }

  void Download() {
    QTest::keyClicks(window_->编辑框1, QString::fromStdString(server_.Url("/media/1.html")));
    status_->Clear();
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
  }

  // The folder holds the earlier file alone, no temporary file beside it,
  // and the status line went from downloading to the failure.
  void ExpectFailedAndKept() {
    EXPECT_EQ(status_->states, (States{kDownloading, kFailed}));
    EXPECT_EQ(TreeOf(folder_.root()), (Tree{{"run", "<dir>"}, {"run/夏夜雨声.mp3", kEarlier}}));
    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 2u) << "the audio was not even asked for";
    EXPECT_EQ(requests[1].target, "/audio/rain.mp3");
  }

  ScratchFolder folder_;
  TestServer server_;
  std::function<void()> duringPage_;
  std::function<void()> previousPump_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<StatusRecorder> status_;
};

TEST_F(DownloadFaultTest, FolderTurnsReadOnlyWhileThePageIsFetched) {
  if (const std::string why = folder_.PrepareReadOnly(); !why.empty()) GTEST_SKIP() << why;
  WriteFile(folder_.path() / "夏夜雨声.mp3", kEarlier);
  Serve(Audio(300 * 1024));
  bool madeReadOnly = false;
  duringPage_ = [&] { madeReadOnly = folder_.MakeReadOnly(); };

  Download();

  ASSERT_TRUE(madeReadOnly);
  ExpectFailedAndKept();
}

TEST_F(DownloadFaultTest, FolderTurnsReadOnlyBetweenThePageAndTheAudio) {
  if (const std::string why = folder_.PrepareReadOnly(); !why.empty()) GTEST_SKIP() << why;
  WriteFile(folder_.path() / "夏夜雨声.mp3", kEarlier);
  std::atomic<bool> madeReadOnly = false;
  Serve(Audio(300 * 1024), [&] { madeReadOnly = folder_.MakeReadOnly(); });

  Download();

  ASSERT_TRUE(madeReadOnly);
  ExpectFailedAndKept();
}

// The same download with nothing in the way: the checks above fail for the
// fault, not for the set-up.
TEST_F(DownloadFaultTest, UnhinderedDownloadReplacesTheFile) {
  if (const std::string why = folder_.PrepareReadOnly(); !why.empty()) GTEST_SKIP() << why;
  WriteFile(folder_.path() / "夏夜雨声.mp3", kEarlier);
  Serve(Audio(300 * 1024));

  Download();

  EXPECT_EQ(status_->states, (States{kDownloading, kDone}));
  EXPECT_EQ(TreeOf(folder_.root()),
            (Tree{{"run", "<dir>"}, {"run/夏夜雨声.mp3", Audio(300 * 1024)}}));
}

struct FullDiskCase {
  const char* name;
  std::string mountOptions;
  std::size_t audioBytes;
};
void PrintTo(const FullDiskCase& row, std::ostream* out) { *out << row.name; }

class FullDiskDownloadTest : public DownloadFaultTest,
                             public ::testing::WithParamInterface<FullDiskCase> {};

TEST_P(FullDiskDownloadTest, FailsAndKeepsTheEarlierFile) {
  const FullDiskCase& row = GetParam();
  if (const std::string why = folder_.MountTmpfs(row.mountOptions); !why.empty()) {
    GTEST_SKIP() << why;
  }
  WriteFile(folder_.path() / "夏夜雨声.mp3", kEarlier);
  Serve(Audio(row.audioBytes));

  Download();

  ExpectFailedAndKept();
}

INSTANTIATE_TEST_SUITE_P(
    Disks, FullDiskDownloadTest,
    ::testing::Values(FullDiskCase{"audio_larger_than_the_disk", "size=256k", 2 * 1024 * 1024},
                      // The audio fits, but not beside the earlier file.
                      FullDiskCase{"earlier_file_leaves_too_little_room", "size=64k", 62 * 1024},
                      FullDiskCase{"no_file_left_to_create", "size=1m,nr_inodes=2", 1000}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace velinor::test
