// Hundreds of whole-file GETs in a row, every way an audio transfer can end,
// each checked: descriptors and resident memory stay flat after a warm-up.
// VELINOR_SOAK_CALLS / 10 calls (default 200).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/http_get_file.h"
#include "tests/soak/process_usage.h"
#include "tests/soak/soak_plan.h"
#include "tests/support/test_server.h"

namespace velinor::soak {
namespace {

using test::Connection;
using test::ReceivedRequest;
using test::TestServer;

constexpr std::size_t kDescriptorMargin = 4;
// 180 measured calls: a leak of 3 KiB a call already exceeds this.
constexpr std::size_t kResidentMarginBytes = 512 * 1024;
constexpr std::size_t kAudioBytes = 300 * 1024;

struct Expected {
  std::size_t bytes;
  long status;
  bool complete;
};

struct FileCase {
  const char* name;
  std::string path;
  Expected expected;
};

TEST(HttpGetFileSoak, DescriptorsAndMemoryStayFlat) {
  TestServer server;
  const std::string audio(kAudioBytes, '\x5A');
  server.Respond("/audio.mp3", 200, audio, {{"Content-Type", "audio/mpeg"}});
  server.Redirect("/moved.mp3", "/audio.mp3", 302);
  server.Route("/cut.mp3", [&audio](const ReceivedRequest&, Connection& connection) {
    connection.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(audio.size()) +
                    "\r\n\r\n" + audio.substr(0, 40000));
    connection.Close();
  });
  server.Route("/reset.mp3", [&audio](const ReceivedRequest&, Connection& connection) {
    connection.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(audio.size()) +
                    "\r\n\r\n" + audio.substr(0, 40000));
    connection.Reset();
  });
  server.Canned("/head-only.mp3", "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n");
  server.Canned("/close-delimited.mp3", "HTTP/1.0 200 OK\r\n\r\n" + audio);
  const std::string refused = "http://127.0.0.1:" + std::to_string(test::RefusedPort()) + "/a.mp3";

  const std::vector<FileCase> cases = {
      {"whole", server.Url("/audio.mp3"), {kAudioBytes, 200, true}},
      {"redirected", server.Url("/moved.mp3"), {kAudioBytes, 200, true}},
      {"not found", server.Url("/missing.mp3"), {10, 404, true}},
      {"cut short", server.Url("/cut.mp3"), {40000, 200, false}},
      {"reset", server.Url("/reset.mp3"), {40000, 200, false}},
      {"headers only", server.Url("/head-only.mp3"), {0, 200, false}},
      {"close-delimited", server.Url("/close-delimited.mp3"), {kAudioBytes, 200, true}},
      {"refused", refused, {0, 0, false}},
  };

  const std::size_t calls = CallsFromEnvironment(2000) / 10;
  const SoakPlan plan(calls, /*timeOuts=*/0);
  std::vector<std::string> faults;
  Usage afterWarmUp;
  for (std::size_t i = 0; i < calls; ++i) {
    const FileCase& row = cases[i % cases.size()];
    HttpGetFileOutcome outcome;
    const ByteBuffer bytes = HttpGetFile(row.path, &outcome);
    if ((bytes.size() != row.expected.bytes || outcome.status != row.expected.status ||
         outcome.complete != row.expected.complete) &&
        faults.size() < 10) {
      faults.push_back("call " + std::to_string(i) + " (" + row.name +
                       "): " + std::to_string(bytes.size()) + " bytes, status " +
                       std::to_string(outcome.status) +
                       (outcome.complete ? ", complete" : ", incomplete"));
    }
    server.ClearRequests();
    if (i + 1 == plan.WarmUp()) afterWarmUp = Settled();
  }
  const Usage atEnd = Settled();

  EXPECT_EQ(faults, std::vector<std::string>{});
  ExpectFlat(afterWarmUp, atEnd, calls - plan.WarmUp(), kDescriptorMargin, kResidentMarginBytes);
}

}  // namespace
}  // namespace velinor::soak
