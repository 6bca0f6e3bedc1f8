// The name a sound's file gets from its title, and the write that never
// destroys an earlier file.
#include "app/output_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <ostream>
#include <string>

#include "tests/app/window_test_support.h"
#include "text/encoding.h"

namespace velinor::test {
namespace {

namespace fs = std::filesystem;

std::string Repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

struct NameCase {
  const char* name;
  std::string titleUtf8;  // turned into code page 936, as pages give it
  std::string fileUtf8;
};
// Test names show the row's name rather than its bytes.
void PrintTo(const NameCase& row, std::ostream* out) { *out << row.name; }

class SoundFileNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(SoundFileNameTest, IsOneSafeNameInsideTheDirectory) {
  const NameCase& row = GetParam();
  const std::string file = SoundFileName(Utf8ToAnsi(row.titleUtf8));
  EXPECT_EQ(file, row.fileUtf8);
  EXPECT_LE(file.size(), 255u);
  EXPECT_EQ(fs::path(file).filename().string(), file);
}

INSTANTIATE_TEST_SUITE_P(
    Titles, SoundFileNameTest,
    ::testing::Values(
        NameCase{"chinese", "夏夜雨声", "夏夜雨声.mp3"},
        // 乗 is 81 5C and 億 is 83 7C in code page 936: "\" and "|" as trail bytes.
        NameCase{"trail_bytes_look_like_separators", "乗億", "乗億.mp3"},
        NameCase{"trail_bytes_beside_real_separators", "墊\\乗|億/x", "墊_乗_億_x.mp3"},
        NameCase{"slash", "a/b", "a_b.mp3"}, NameCase{"backslash", "a\\b", "a_b.mp3"},
        NameCase{"parent_steps", "../../x", "____x.mp3"},
        NameCase{"windows_parent_steps", "..\\..\\x", "____x.mp3"},
        NameCase{"absolute", "/etc/passwd", "_etc_passwd.mp3"},
        NameCase{"only_parent_step", "..", "_.mp3"}, NameCase{"only_dot", ".", "_.mp3"},
        NameCase{"only_dots", "...", "_.mp3"}, NameCase{"empty", "", "_.mp3"},
        NameCase{"reserved_characters", "a:b*c?d\"e<f>g|h", "a_b_c_d_e_f_g_h.mp3"},
        NameCase{"control_characters",
                 "a\tb\x01"
                 "c\x7F"
                 "d\ne",
                 "a_b_c_d_e.mp3"},
        NameCase{"trailing_dots_and_spaces", "雨声. . ", "雨声.mp3"},
        NameCase{"leading_dot_kept", ".hidden", ".hidden.mp3"},
        NameCase{"device", "CON", "_CON.mp3"}, NameCase{"device_lower_case", "nul", "_nul.mp3"},
        NameCase{"device_with_extension", "com1.wav", "_com1.wav.mp3"},
        NameCase{"device_before_trimmed_space", "LPT9 ", "_LPT9.mp3"},
        NameCase{"not_a_device", "CONSOLE", "CONSOLE.mp3"},
        NameCase{"not_a_device_port_zero", "COM0", "COM0.mp3"},
        NameCase{"long_chinese_cut_at_character", Repeat("雨", 200), Repeat("雨", 83) + ".mp3"},
        NameCase{"long_ascii", Repeat("a", 300), Repeat("a", 251) + ".mp3"},
        NameCase{"long_mixed_cut_at_character", "a" + Repeat("雨", 100),
                 "a" + Repeat("雨", 83) + ".mp3"},
        NameCase{"cut_then_trailing_space_trimmed", Repeat("a", 250) + " 雨",
                 Repeat("a", 250) + ".mp3"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(SoundFileNameTest, TrailBytesAreReallyThere) {
  EXPECT_EQ(Utf8ToAnsi("乗億"), "\x81\x5C\x83\x7C");
}

class WriteFileBytesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "velinor-write-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(WriteFileBytesTest, CreatesAndReplacesWithThePlainMode) {
  const ByteBuffer first = {0x49, 0x44, 0x33, 0x00, 0xFF};
  const ByteBuffer second = {0x00};
  const mode_t mask = umask(022);

  const bool created = WriteFileBytes(dir_ / "雨.mp3", first);
  if (!created) umask(mask);
  ASSERT_TRUE(created);
  EXPECT_EQ(TreeOf(dir_),
            (std::map<std::string, std::string>{{"雨.mp3", std::string("ID3\0\xFF", 5)}}));
  const bool replaced = WriteFileBytes(dir_ / "雨.mp3", second);
  umask(mask);
  ASSERT_TRUE(replaced);
  EXPECT_EQ(TreeOf(dir_), (std::map<std::string, std::string>{{"雨.mp3", std::string(1, '\0')}}));

  struct stat info {};
  ASSERT_EQ(stat((dir_ / "雨.mp3").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST_F(WriteFileBytesTest, FailureLeavesEverythingAsItWas) {
  WriteFile(dir_ / "old.mp3", "good earlier download");
  fs::create_directory(dir_ / "folder.mp3");
  const auto before = TreeOf(dir_);
  const ByteBuffer bytes = {1, 2, 3};

  EXPECT_FALSE(WriteFileBytes("", bytes));
  EXPECT_FALSE(WriteFileBytes(dir_ / "folder.mp3", bytes));           // a folder is in the way
  EXPECT_FALSE(WriteFileBytes(dir_ / "missing" / "old.mp3", bytes));  // no such folder
  EXPECT_FALSE(WriteFileBytes(dir_ / "", bytes));                     // no file name
  EXPECT_EQ(TreeOf(dir_), before);
}

}  // namespace
}  // namespace velinor::test
