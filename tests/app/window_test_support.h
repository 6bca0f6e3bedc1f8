// What the end-to-end tests of the window share: one QApplication for a
// GoogleTest program, a record of every state the status line passes
// through, and a snapshot of a directory tree.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QObject>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/control_property.h"
#include "app/main_window.h"
#include "text/encoding.h"

namespace velinor::test {

// GoogleTest owns main(), so the application lives in a global environment:
// made before the first test and destroyed after the last, as QTest's own
// main() would do (a QApplication left alive at exit leaks font caches).
class ApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { application_ = std::make_unique<QApplication>(argc_, argv_); }
  void TearDown() override { application_.reset(); }

 private:
  int argc_ = 1;
  char name_[17] = "velinor-app-test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> application_;
};

inline ::testing::Environment* const kApplicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

// The status line as the user sees it.
struct StatusState {
  std::string text;    // UTF-8
  std::string colour;  // "black", "red" or the packed value in hex
  bool operator==(const StatusState&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const StatusState& state) {
  return out << '(' << state.colour << ") " << state.text;
}

inline StatusState CurrentStatus(const MainWindow& window) {
  const auto text =
      std::get<TextValue>(GetControlProperty(window.透明标签1, ControlProperty::Text));
  const auto packed =
      std::get<std::int32_t>(GetControlProperty(window.透明标签1, ControlProperty::TextColor));
  std::string colour = packed == 0     ? "black"
                       : packed == 255 ? "red"
                                       : QString::number(packed, 16).toStdString();
  return {AnsiToUtf8(text), colour};
}

// Every state the status line shows, each as it is painted; a write that
// leaves the line as it was adds nothing. `onChange` runs at each new state,
// for checks of what else holds at that moment.
class StatusRecorder {
 public:
  explicit StatusRecorder(const MainWindow& window) : window_(window) {
    connection_ = QObject::connect(window.透明标签1, &TransLabel::changed, [this] {
      const StatusState now = CurrentStatus(window_);
      if (now == last_) return;
      last_ = now;
      states.push_back(now);
      if (onChange) onChange(now);
    });
    last_ = CurrentStatus(window);
  }
  ~StatusRecorder() { QObject::disconnect(connection_); }

  // Forgets what was recorded so far (typing an address changes the line too).
  void Clear() { states.clear(); }

  std::vector<StatusState> states;
  std::function<void(const StatusState&)> onChange;

 private:
  const MainWindow& window_;
  StatusState last_;
  QMetaObject::Connection connection_;
};

// Every file and folder below `root`, by path relative to it: a file maps to
// its bytes, a folder to "<dir>". Hidden entries (temporary files) included.
inline std::map<std::string, std::string> TreeOf(const std::filesystem::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string name = entry.path().lexically_relative(root).string();
    if (entry.is_directory()) {
      tree[name] = "<dir>";
    } else {
      std::ifstream in(entry.path(), std::ios::binary);
      tree[name] = std::string(std::istreambuf_iterator<char>(in), {});
    }
  }
  return tree;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace velinor::test
