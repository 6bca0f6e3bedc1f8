// The release check at start, end to end: the real window, hidden as at
// start, and a local server standing in for the maker's download server.
#include "app/version_check.h"

#include <gtest/gtest.h>

#include <QEvent>
#include <QTest>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/download_command.h"
#include "app/handlers.h"
#include "app/main_window.h"
#include "tests/app/window_test_support.h"
#include "tests/support/test_server.h"
#include "text/encoding.h"

namespace velinor::test {
namespace {

constexpr char kVersionPath[] = "/e/yz/velinor_exe.txt";
const StatusState kWelcome{"欢迎使用此程序", "black"};
const StatusState kLocked{"当前版本不是最新版本，请先升级", "red"};

// One line per observable write of the check, in the order they happen: the
// input disabled, each new state of the status line, a label shown.
class WriteLog : public QObject {
 public:
  explicit WriteLog(MainWindow& window) : window_(window), status_(window) {
    status_.onChange = [this](const StatusState& state) {
      lines.push_back("status (" + state.colour + ") " + state.text);
    };
    window.编辑框1->installEventFilter(this);
    window.透明标签3->installEventFilter(this);
    window.透明标签4->installEventFilter(this);
  }
  std::vector<std::string> lines;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == window_.编辑框1 && event->type() == QEvent::EnabledChange) {
      lines.push_back(window_.编辑框1->isEnabled() ? "编辑框1 enabled" : "编辑框1 disabled");
    } else if (event->type() == QEvent::ShowToParent) {
      lines.push_back(watched->objectName().toStdString() + " shown");
    }
    return false;
  }

 private:
  MainWindow& window_;
  StatusRecorder status_;
};

class VersionCheckTest : public ::testing::Test {
 protected:
  void SetUp() override { PointAt(server_.Origin()); }
  void TearDown() override { unsetenv("VELINOR_DOWNLOAD_SERVER"); }

  static void PointAt(const std::string& origin) {
    setenv("VELINOR_DOWNLOAD_SERVER", origin.c_str(), 1);
  }

  // Builds the window hidden and raises its created event, as start-up does.
  std::unique_ptr<MainWindow> Start(std::vector<std::string>* log) {
    auto window = std::make_unique<MainWindow>(MainWindowHandlers{
        .created = CheckForNewerRelease, .downloadClicked = DownloadSoundEffect});
    WriteLog writes(*window);
    EXPECT_FALSE(window->isVisible());
    OnMainWindowCreated(*window);
    *log = writes.lines;
    return window;
  }

  static void ExpectUnlocked(const MainWindow& window) {
    EXPECT_TRUE(window.编辑框1->isEnabled());
    EXPECT_EQ(CurrentStatus(window), kWelcome);
    EXPECT_TRUE(window.透明标签3->isHidden());
    EXPECT_TRUE(window.透明标签4->isHidden());
  }

  TestServer server_;
};

struct VersionCase {
  const char* name;
  std::string body;
  int status;
  const char* contentType;
  bool locks;
};
// Test names show the row's name rather than its bytes.
void PrintTo(const VersionCase& row, std::ostream* out) { *out << row.name; }

class VersionFileTest : public VersionCheckTest,
                        public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionFileTest, LocksOnlyForANewerNumber) {
  const VersionCase& row = GetParam();
  server_.Respond(kVersionPath, row.status, row.body, {{"Content-Type", row.contentType}});

  std::vector<std::string> log;
  auto window = Start(&log);

  ASSERT_EQ(server_.RequestCount(), 1u);
  const ReceivedRequest request = server_.LastRequest();
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.target, kVersionPath);

  if (row.locks) {
    // The five writes, in order: input off, colour, text, then the two labels.
    const std::vector<std::string> expected = {"编辑框1 disabled", "status (red) 欢迎使用此程序",
                                               "status (red) 当前版本不是最新版本，请先升级",
                                               "透明标签3 shown", "透明标签4 shown"};
    EXPECT_EQ(log, expected);
    EXPECT_FALSE(window->编辑框1->isEnabled());
    EXPECT_EQ(CurrentStatus(*window), kLocked);
    EXPECT_FALSE(window->透明标签3->isHidden());
    EXPECT_FALSE(window->透明标签4->isHidden());
  } else {
    EXPECT_EQ(log, std::vector<std::string>{});
    ExpectUnlocked(*window);
  }
}

// Own release 1.2.0 reads as the 32-bit number 1.2.
INSTANTIATE_TEST_SUITE_P(
    Bodies, VersionFileTest,
    ::testing::Values(
        VersionCase{"same", "1.2", 200, "text/plain", false},
        VersionCase{"same_three_parts", "1.2.0", 200, "text/plain", false},
        VersionCase{"third_part_ignored", "1.2.9", 200, "text/plain", false},
        VersionCase{"trailing_zero", "1.20", 200, "text/plain", false},
        VersionCase{"one_ten_is_less", "1.10", 200, "text/plain", false},
        VersionCase{"beyond_float_precision", "1.2000000001", 200, "text/plain", false},
        VersionCase{"one_float_step_rounds_down", "1.2000001", 200, "text/plain", false},
        VersionCase{"empty", "", 200, "text/plain", false},
        VersionCase{"byte_order_mark",
                    "\xEF\xBB\xBF"
                    "1.3",
                    200, "text/plain", false},
        VersionCase{"html_error_page", "<html><body>404 Not Found</body></html>", 404, "text/html",
                    false},
        VersionCase{"one_float_step_up", "1.2000002", 200, "text/plain", true},
        VersionCase{"two_digit_minor", "1.21", 200, "text/plain", true},
        VersionCase{"newer_minor", "1.3", 200, "text/plain", true},
        VersionCase{"newer_major", "2.0", 200, "text/plain", true},
        VersionCase{"spaces_and_line_break", "  1.3\n", 200, "text/plain", true},
        VersionCase{"full_width_digits", "\xA3\xB2", 200, "text/plain", true},  // "２"
        VersionCase{"plain_text_error", "404 Not Found", 404, "text/plain", true}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(VersionCheckTest, UnreachableServerChangesNothing) {
  PointAt("http://127.0.0.1:" + std::to_string(RefusedPort()));
  std::vector<std::string> log;
  auto window = Start(&log);
  EXPECT_EQ(log, std::vector<std::string>{});
  ExpectUnlocked(*window);
}

TEST_F(VersionCheckTest, LockedWindowIgnoresTheDownloadButton) {
  server_.Respond(kVersionPath, 200, "1.3", {{"Content-Type", "text/plain"}});
  std::vector<std::string> log;
  auto window = Start(&log);
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));

  // The disabled input takes no typing; a click finds it empty and does nothing.
  QTest::keyClicks(window->编辑框1, "http://127.0.0.1/media/1.html");
  QTest::mouseClick(window->按钮1, Qt::LeftButton);

  EXPECT_EQ(std::get<TextValue>(GetControlProperty(window->编辑框1, ControlProperty::Text)), "");
  EXPECT_EQ(CurrentStatus(*window), kLocked);
  EXPECT_EQ(server_.RequestCount(), 1u);
}

}  // namespace
}  // namespace velinor::test
