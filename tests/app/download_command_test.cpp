// The download command end to end: the real window on the offscreen
// platform, typed into and clicked with QTest, against a local server that
// plays the site; every case checks the status line's states and the whole
// directory tree around the program's folder afterwards.
#include "app/download_command.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/main_window.h"
#include "app/output_file.h"
#include "app/startup.h"
#include "tests/app/window_test_support.h"
#include "tests/support/test_server.h"
#include "text/encoding.h"

namespace velinor::test {
namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;
using States = std::vector<StatusState>;

const StatusState kWelcome{"欢迎使用此程序", "black"};
const StatusState kWarningText{"警告：请检查地址是否为Velinor音效页面", "black"};
const StatusState kWarning{"警告：请检查地址是否为Velinor音效页面", "red"};
const StatusState kDownloading{"提示：正在下载......", "black"};
const StatusState kNoTitle{"请检查您输入的地址和网络是否正常", "black"};
const StatusState kFailed{"提示：下载失败", "black"};
const StatusState kDone{"提示：下载完毕!!!文件已放到本软件同目录", "black"};

const std::string& Rain() {
  static const std::string bytes = ReadFile(VELINOR_SOURCE_DIR "/tools/demo/rain.mp3");
  return bytes;
}
const std::string& Bell() {
  static const std::string bytes = ReadFile(VELINOR_SOURCE_DIR "/tools/demo/bell.mp3");
  return bytes;
}

// A sound page as the site writes it, in GBK or in UTF-8 (declared either way).
std::string SoundPage(const std::string& titleUtf8, const std::string& audioSource,
                      const std::string& charset = "gbk") {
  const std::string html =
      "<!DOCTYPE html>\n<html><head>\n"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" +
      charset +
      "\">\n"
      "<title>" +
      titleUtf8 +
      "下载_正版音效素材_Velinor</title>\n</head><body>\n"
      "<h1>" +
      titleUtf8 +
      "</h1>\n"
      "<audio controls><source src=\"" +
      audioSource +
      "\" type=\"audio/mpeg\"></audio>\n"
      "</body></html>\n";
  return charset == "gbk" ? Utf8ToAnsi(html) : html;
}

std::vector<std::string> Targets(const TestServer& server) {
  std::vector<std::string> targets;
  for (const ReceivedRequest& request : server.Requests()) targets.push_back(request.target);
  return targets;
}

// The program's folder sits two levels down, so a file that escaped it by
// ".." steps would still show up in the tree.
class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "velinor-e2e-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    run_ = root_ / "a" / "b" / "run";
    fs::create_directories(run_);
    SetRunDirectoryForTesting(run_);
    setenv("VELINOR_SITE", server_.HostPort().c_str(), 1);

    // The pump the program installs, with room for one action of the test
    // at the first pump: the moment a user's click would be handled.
    previousPump_ = SetProcessEventsHook([this] {
      if (duringRequest_) std::exchange(duringRequest_, {})();
      QCoreApplication::processEvents();
    });

    window_ =
        std::make_unique<MainWindow>(MainWindowHandlers{.downloadClicked = DownloadSoundEffect});
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    status_ = std::make_unique<StatusRecorder>(*window_);
    status_->onChange = [this](const StatusState& state) {
      if (state == kDownloading) requestsWhenDownloadingShown_.push_back(server_.RequestCount());
    };
  }

  void TearDown() override {
    status_.reset();
    window_.reset();
    SetProcessEventsHook(previousPump_);
    SetRunDirectoryForTesting({});
    unsetenv("VELINOR_SITE");
    if (mounted_) umount2(run_.c_str(), MNT_DETACH);
    std::error_code ignored;
    fs::permissions(run_, fs::perms::owner_all, ignored);
    fs::remove_all(root_);
  }

  std::string Site() const { return server_.HostPort(); }
  // The scheme-relative audio address the site's pages give.
  std::string AudioSource(const std::string& path) const { return "//" + Site() + path; }

  // Replaces the address as a user would, then clicks the button; the
  // recorder keeps only what the click brought.
  void TypeAddress(const std::string& address) {
    window_->编辑框1->selectAll();
    QTest::keyClick(window_->编辑框1, Qt::Key_Delete);
    QTest::keyClicks(window_->编辑框1, QString::fromStdString(address));
  }
  void Download(const std::string& address) {
    TypeAddress(address);
    status_->Clear();
    requestsWhenDownloadingShown_.clear();
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
  }

  // The tree below root_ when the program's folder holds exactly `files`.
  static Tree WithFiles(const Tree& files) {
    Tree tree = {{"a", "<dir>"}, {"a/b", "<dir>"}, {"a/b/run", "<dir>"}};
    for (const auto& [name, bytes] : files) tree["a/b/run/" + name] = bytes;
    return tree;
  }

  // Checks the states since the click, that the downloading text was on
  // screen before any request, and the whole tree.
  void ExpectOutcome(const States& states, const Tree& files) {
    EXPECT_EQ(status_->states, states);
    if (!states.empty() && states.front() == kDownloading) {
      EXPECT_EQ(requestsWhenDownloadingShown_, std::vector<std::size_t>{0});
    }
    EXPECT_EQ(TreeOf(root_), WithFiles(files));
  }

  TestServer server_;
  fs::path root_, run_;
  bool mounted_ = false;
  std::function<void()> duringRequest_;
  std::function<void()> previousPump_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<StatusRecorder> status_;
  std::vector<std::size_t> requestsWhenDownloadingShown_;
};

// ---- The address check: nothing leaves the machine unless it passes.

struct AddressCase {
  const char* name;
  std::function<std::string(const std::string& site)> address;
  bool passes;
};
// Test names show the row's name rather than its bytes.
void PrintTo(const AddressCase& row, std::ostream* out) { *out << row.name; }

class AddressTest : public DownloadTest, public ::testing::WithParamInterface<AddressCase> {};

TEST_P(AddressTest, OnlyTheExactSectionMarkerPasses) {
  const AddressCase& row = GetParam();
  const std::string address = row.address(Site());
  Download(address);
  if (row.passes) {
    // The catch-all answers 404 with a page that has no title.
    ExpectOutcome({kDownloading, kNoTitle}, {});
    const auto target = address.substr(address.find(Site()) + Site().size());
    EXPECT_EQ(Targets(server_), std::vector<std::string>{target});
  } else {
    // The text first, then the colour.
    ExpectOutcome({kWarningText, kWarning}, {});
    EXPECT_EQ(server_.RequestCount(), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, AddressTest,
    ::testing::Values(
        AddressCase{"no_marker", [](auto& s) { return "http://" + s + "/sound/1.html"; }, false},
        AddressCase{"marker_in_other_case", [](auto& s) { return "http://" + s + "/Media/1.html"; },
                    false},
        AddressCase{"marker_in_capitals", [](auto& s) { return "http://" + s + "/MEDIA/1.html"; },
                    false},
        AddressCase{"other_host",
                    [](auto& s) { return "http://localhost" + s.substr(s.find(':')) + "/media/1"; },
                    false},
        AddressCase{"marker_in_path", [](auto& s) { return "http://" + s + "/media/9.html"; },
                    true},
        AddressCase{"marker_in_query",
                    [](auto& s) { return "http://" + s + "/list?from=" + s + "/media"; }, true}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(DownloadTest, EmptyAddressDoesNothing) {
  Download("");
  ExpectOutcome({}, {});
  EXPECT_EQ(CurrentStatus(*window_), kWelcome);
  EXPECT_EQ(server_.RequestCount(), 0u);
}

// ---- From the page to the file.

struct PageCase {
  const char* name;
  // Scripts the server for a page at /media/1.html; gets the audio source
  // that points at /audio/rain.mp3.
  std::function<void(TestServer&, const std::string& rainSource)> serve;
  StatusState outcome;
  Tree files;
  std::vector<std::string> targets;
};
// Test names show the row's name rather than its bytes.
void PrintTo(const PageCase& row, std::ostream* out) { *out << row.name; }

class PageTest : public DownloadTest, public ::testing::WithParamInterface<PageCase> {};

TEST_P(PageTest, EndsWithTheRightStatusAndFiles) {
  const PageCase& row = GetParam();
  server_.Respond("/audio/rain.mp3", 200, Rain(), {{"Content-Type", "audio/mpeg"}});
  server_.Respond("/audio/bell.mp3", 200, Bell(), {{"Content-Type", "audio/mpeg"}});
  row.serve(server_, AudioSource("/audio/rain.mp3"));

  Download(server_.Url("/media/1.html"));

  ExpectOutcome({kDownloading, row.outcome}, row.files);
  EXPECT_EQ(Targets(server_), row.targets);
  const auto requests = server_.Requests();
  for (std::size_t i = 1; i < requests.size(); ++i) EXPECT_EQ(requests[i].version, "HTTP/1.0");
}

void Html(TestServer& server, int status, const std::string& body) {
  server.Respond("/media/1.html", status, body, {{"Content-Type", "text/html"}});
}

const std::vector<std::string> kPageOnly = {"/media/1.html"};
const std::vector<std::string> kPageAndRain = {"/media/1.html", "/audio/rain.mp3"};

INSTANTIATE_TEST_SUITE_P(
    Pages, PageTest,
    ::testing::Values(
        PageCase{"gbk_page",
                 [](TestServer& s, const std::string& rain) {
                   Html(s, 200, SoundPage("夏夜雨声", rain, "gbk"));
                 },
                 kDone,
                 {{"夏夜雨声.mp3", Rain()}},
                 kPageAndRain},
        PageCase{"utf8_page",
                 [](TestServer& s, const std::string& rain) {
                   Html(s, 200, SoundPage("清脆铃声", rain, "utf-8"));
                 },
                 kDone,
                 {{"清脆铃声.mp3", Rain()}},
                 kPageAndRain},
        PageCase{"only_the_first_title_and_source_count",
                 [](TestServer& s, const std::string& rain) {
                   std::string bell = rain;
                   bell.replace(bell.find("rain"), 4, "bell");
                   Html(s, 200, SoundPage("夏夜雨声", rain) + SoundPage("清脆铃声", bell));
                 },
                 kDone,
                 {{"夏夜雨声.mp3", Rain()}},
                 kPageAndRain},
        PageCase{"redirected_audio",
                 [](TestServer& s, const std::string& rain) {
                   std::string old = rain;
                   old.replace(old.find("rain"), 4, "old");
                   s.Redirect("/audio/old.mp3", "/audio/moved.mp3", 301);
                   s.Redirect("/audio/moved.mp3", "/audio/rain.mp3", 302);
                   Html(s, 200, SoundPage("夏夜雨声", old));
                 },
                 kDone,
                 {{"夏夜雨声.mp3", Rain()}},
                 {"/media/1.html", "/audio/old.mp3", "/audio/moved.mp3", "/audio/rain.mp3"}},
        PageCase{"no_title",
                 [](TestServer& s, const std::string& rain) {
                   Html(s, 200, "<html><source src=\"" + rain + "\"></html>");
                 },
                 kNoTitle,
                 {},
                 kPageOnly},
        PageCase{"title_without_its_end",
                 [](TestServer& s, const std::string& rain) {
                   Html(s, 200, "<title>雨声</title><source src=\"" + rain + "\">");
                 },
                 kNoTitle,
                 {},
                 kPageOnly},
        PageCase{"error_page",
                 [](TestServer& s, const std::string&) {
                   Html(s, 500, "<html><title>500</title></html>");
                 },
                 kNoTitle,
                 {},
                 kPageOnly},
        PageCase{"no_audio_address",
                 [](TestServer& s, const std::string&) {
                   std::string page = SoundPage("夏夜雨声", "");
                   Html(s, 200, page.replace(page.find("<source"), 7, "<track"));
                 },
                 kFailed,
                 {},
                 kPageOnly},
        PageCase{"audio_address_without_closing_quote",
                 [](TestServer& s, const std::string& rain) {
                   Html(s, 200,
                        Utf8ToAnsi("<title>夏夜雨声下载_正版</title><source src=\"" + rain));
                 },
                 kFailed,
                 {},
                 kPageOnly}),
    [](const auto& row) { return std::string(row.param.name); });

// ---- Audio that does not arrive whole: nothing is written, and an earlier
// good file of the same title survives byte for byte.

struct AudioFailure {
  const char* name;
  std::function<void(TestServer&)> serve;  // answers /audio/rain.mp3
};
// Test names show the row's name rather than its bytes.
void PrintTo(const AudioFailure& row, std::ostream* out) { *out << row.name; }

class AudioFailureTest : public DownloadTest,
                         public ::testing::WithParamInterface<std::tuple<AudioFailure, bool>> {};

TEST_P(AudioFailureTest, ReportsFailureAndKeepsTheEarlierFile) {
  const auto& [failure, earlierFile] = GetParam();
  failure.serve(server_);
  server_.Respond("/media/1.html", 200, SoundPage("夏夜雨声", AudioSource("/audio/rain.mp3")));
  Tree files;
  if (earlierFile) {
    files["夏夜雨声.mp3"] = "an earlier, good download";
    WriteFile(run_ / "夏夜雨声.mp3", files["夏夜雨声.mp3"]);
  }

  Download(server_.Url("/media/1.html"));

  ExpectOutcome({kDownloading, kFailed}, files);
}

void BreakAfter(TestServer& server, std::size_t bytes, bool reset) {
  server.Route("/audio/rain.mp3", [bytes, reset](const ReceivedRequest&, Connection& c) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\nContent-Length: " +
           std::to_string(Rain().size()) + "\r\n\r\n" + Rain().substr(0, bytes));
    if (reset) {
      SleepFor(std::chrono::milliseconds(100));
      c.Reset();
    } else {
      c.Close();
    }
  });
}

INSTANTIATE_TEST_SUITE_P(
    Failures, AudioFailureTest,
    ::testing::Combine(
        ::testing::Values(
            AudioFailure{"not_found",
                         [](TestServer& s) {
                           s.Respond("/audio/rain.mp3", 404, "<html>404 Not Found</html>");
                         }},
            AudioFailure{"server_error_without_body",
                         [](TestServer& s) { s.Respond("/audio/rain.mp3", 500, ""); }},
            AudioFailure{"empty_body",
                         [](TestServer& s) { s.Respond("/audio/rain.mp3", 200, ""); }},
            AudioFailure{"closed_mid_audio", [](TestServer& s) { BreakAfter(s, 4000, false); }},
            AudioFailure{"reset_mid_audio", [](TestServer& s) { BreakAfter(s, 4000, true); }},
            AudioFailure{"headers_only_then_closed",
                         [](TestServer& s) { BreakAfter(s, 0, false); }}),
        ::testing::Bool()),
    [](const auto& row) {
      return std::string(std::get<0>(row.param).name) +
             (std::get<1>(row.param) ? "_over_earlier_file" : "_new_title");
    });

TEST_F(DownloadTest, AudioServerRefusingGivesFailure) {
  const std::string refused = "//127.0.0.1:" + std::to_string(RefusedPort()) + "/rain.mp3";
  server_.Respond("/media/1.html", 200, SoundPage("夏夜雨声", refused));
  Download(server_.Url("/media/1.html"));
  ExpectOutcome({kDownloading, kFailed}, {});
}

TEST_F(DownloadTest, SameTitleIsReplacedOnSuccess) {
  server_.Respond("/audio/rain.mp3", 200, Rain());
  server_.Respond("/media/1.html", 200, SoundPage("夏夜雨声", AudioSource("/audio/rain.mp3")));
  WriteFile(run_ / "夏夜雨声.mp3", "an earlier download");
  WriteFile(run_ / "其他.mp3", "another sound");

  Download(server_.Url("/media/1.html"));

  ExpectOutcome({kDownloading, kDone}, {{"夏夜雨声.mp3", Rain()}, {"其他.mp3", "another sound"}});
}

// ---- Titles that are not plain file names stay inside the program's folder.

struct TitleCase {
  const char* name;
  std::string titleUtf8;
  std::string fileUtf8;
};
// Test names show the row's name rather than its bytes.
void PrintTo(const TitleCase& row, std::ostream* out) { *out << row.name; }

class HostileTitleTest : public DownloadTest, public ::testing::WithParamInterface<TitleCase> {};

TEST_P(HostileTitleTest, FileStaysInTheProgramsFolder) {
  const TitleCase& row = GetParam();
  server_.Respond("/audio/rain.mp3", 200, Rain());
  server_.Respond("/media/1.html", 200, SoundPage(row.titleUtf8, AudioSource("/audio/rain.mp3")));

  Download(server_.Url("/media/1.html"));

  ExpectOutcome({kDownloading, kDone}, {{row.fileUtf8, Rain()}});
}

std::string Rains(int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += "雨";
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Titles, HostileTitleTest,
    ::testing::Values(TitleCase{"parent_steps", "../../x", "____x.mp3"},
                      TitleCase{"separator", "a/b", "a_b.mp3"},
                      TitleCase{"backslash_steps", "..\\..\\x", "____x.mp3"},
                      TitleCase{"device_name", "CON", "_CON.mp3"},
                      TitleCase{"reserved_characters", "雨?声|*", "雨_声__.mp3"},
                      // 乗 and 億 end in the bytes of "\" and "|" in code page 936.
                      TitleCase{"separator_trail_bytes", "乗億", "乗億.mp3"},
                      TitleCase{"two_hundred_characters", Rains(200), Rains(83) + ".mp3"}),
    [](const auto& row) { return std::string(row.param.name); });

// ---- A file that cannot be written.

TEST_F(DownloadTest, UnwritableFolderFailsAndKeepsTheEarlierFile) {
  const std::string earlier = "an earlier, good download";
  if (geteuid() == 0) {
    // Permissions do not stop root: a read-only file system does.
    if (mount("tmpfs", run_.c_str(), "tmpfs", 0, "size=1m") != 0) {
      GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    mounted_ = true;
    WriteFile(run_ / "夏夜雨声.mp3", earlier);
    ASSERT_EQ(mount(nullptr, run_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
  } else {
    WriteFile(run_ / "夏夜雨声.mp3", earlier);
    fs::permissions(run_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read |
                              fs::perms::others_exec);
  }
  server_.Respond("/audio/rain.mp3", 200, Rain());
  server_.Respond("/media/1.html", 200, SoundPage("夏夜雨声", AudioSource("/audio/rain.mp3")));

  Download(server_.Url("/media/1.html"));

  ExpectOutcome({kDownloading, kFailed}, {{"夏夜雨声.mp3", earlier}});
}

TEST_F(DownloadTest, FolderOfTheSameNameFails) {
  fs::create_directory(run_ / "夏夜雨声.mp3");
  WriteFile(run_ / "夏夜雨声.mp3" / "inside", "kept");
  server_.Respond("/audio/rain.mp3", 200, Rain());
  server_.Respond("/media/1.html", 200, SoundPage("夏夜雨声", AudioSource("/audio/rain.mp3")));

  Download(server_.Url("/media/1.html"));

  ExpectOutcome({kDownloading, kFailed},
                {{"夏夜雨声.mp3", "<dir>"}, {"夏夜雨声.mp3/inside", "kept"}});
}

// ---- Events handled while the page request pumps.

class NestedEventTest : public DownloadTest {
 protected:
  void SetUp() override {
    DownloadTest::SetUp();
    server_.Respond("/audio/rain.mp3", 200, Rain());
    server_.Respond("/audio/bell.mp3", 200, Bell());
    server_.Respond("/media/1.html", 200, SoundPage("夏夜雨声", AudioSource("/audio/rain.mp3")));
    server_.Respond("/media/2.html", 200,
                    SoundPage("清脆铃声", AudioSource("/audio/bell.mp3"), "utf-8"));
  }
};

TEST_F(NestedEventTest, SecondClickRunsAWholeDownloadFirst) {
  duringRequest_ = [this] {
    TypeAddress(server_.Url("/media/2.html"));
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
  };
  Download(server_.Url("/media/1.html"));

  // The nested run's audio comes before the first run's.
  EXPECT_EQ(Targets(server_), (std::vector<std::string>{"/media/1.html", "/media/2.html",
                                                        "/audio/bell.mp3", "/audio/rain.mp3"}));
  EXPECT_EQ(status_->states, (States{kDownloading, kWelcome, kDownloading, kDone}));
  EXPECT_EQ(CurrentStatus(*window_), kDone);
  EXPECT_EQ(TreeOf(root_), WithFiles({{"夏夜雨声.mp3", Rain()}, {"清脆铃声.mp3", Bell()}}));
}

TEST_F(NestedEventTest, EditResetsTheStatusAndTheFirstRunGoesOn) {
  duringRequest_ = [this] { QTest::keyClicks(window_->编辑框1, "#top"); };
  Download(server_.Url("/media/1.html"));

  ExpectOutcome({kDownloading, kWelcome, kDone}, {{"夏夜雨声.mp3", Rain()}});
  EXPECT_EQ(Targets(server_), kPageAndRain);
}

TEST_F(NestedEventTest, NestedWarningLeavesTheColourForTheFirstRun) {
  duringRequest_ = [this] {
    TypeAddress("http://elsewhere.example/sound/1.html");
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
  };
  Download(server_.Url("/media/1.html"));

  // The first run writes only its text: the red of the warning stays.
  const StatusState doneInRed{kDone.text, "red"};
  ExpectOutcome({kDownloading, kWelcome, kWarningText, kWarning, doneInRed},
                {{"夏夜雨声.mp3", Rain()}});
}

TEST_F(NestedEventTest, ClosingTheWindowAbandonsTheDownload) {
  duringRequest_ = [this] { QTest::keyClick(window_->编辑框1, Qt::Key_Escape); };
  Download(server_.Url("/media/1.html"));

  EXPECT_TRUE(window_->IsClosed());
  EXPECT_FALSE(window_->isVisible());
  ExpectOutcome({kDownloading}, {});
  EXPECT_EQ(Targets(server_), kPageOnly);
}

// The whole run: Esc pressed while the page request pumps ends the program.
TEST(ProgramRunTest, EscDuringADownloadEndsTheProgram) {
  TestServer server;
  server.Respond("/audio/rain.mp3", 200, Rain());
  server.Respond("/media/1.html", 200,
                 SoundPage("夏夜雨声", "//" + server.HostPort() + "/audio/rain.mp3"));
  setenv("VELINOR_SITE", server.HostPort().c_str(), 1);
  std::string pattern = (fs::temp_directory_path() / "velinor-e2e-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path run = pattern;
  SetRunDirectoryForTesting(run);

  std::unique_ptr<StatusRecorder> status;
  bool stuck = false;
  const int result = RunProgram(
      *qApp, {.created =
                  [&](MainWindow& window) {
                    status = std::make_unique<StatusRecorder>(window);
                    SetControlProperty(window.编辑框1, ControlProperty::Text,
                                       TextValue(server.Url("/media/1.html")));
                    QTimer::singleShot(0, &window, [&window] {
                      // Waits in the queue until the request pumps.
                      QCoreApplication::postEvent(
                          &window, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
                      QTest::mouseClick(window.按钮1, Qt::LeftButton);
                    });
                    // Never reached when the run ends as it should.
                    QTimer::singleShot(20000, &window, [&stuck] {
                      stuck = true;
                      QCoreApplication::quit();
                    });
                  },
              .downloadClicked = DownloadSoundEffect});

  EXPECT_EQ(result, 0);
  EXPECT_FALSE(stuck);
  EXPECT_EQ(status->states, States{kDownloading});
  EXPECT_EQ(Targets(server), kPageOnly);
  EXPECT_EQ(TreeOf(run), Tree{});
  status.reset();
  SetRunDirectoryForTesting({});
  unsetenv("VELINOR_SITE");
  fs::remove_all(run);
}

}  // namespace
}  // namespace velinor::test
