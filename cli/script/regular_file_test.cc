#include "cli/script/regular_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace dudUdudADOD::cli {
namespace {

namespace fs = std::filesystem;

class RegularFileTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(testing::TempDir()) / ("regular_file_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    std::ofstream(dir_ / "file", std::ios::binary) << "hello";
    ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    fs::create_symlink(dir_ / "file", dir_ / "link");
  }
  void TearDown() override { fs::remove_all(dir_); }

  // What opening `name` says: "" when it opens.
  std::string Refusal(const std::string& name, RegularFile::Links links) {
    try {
      RegularFile file((dir_ / name).string(), links);
      return "";
    } catch (const FileRefused& e) {
      return std::string(e.opened() ? "opened: " : "") + e.what();
    }
  }

  std::string Contents(const std::string& name) {
    std::ifstream in(dir_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  fs::path dir_;
};

// Checked on what was opened, without waiting on a named pipe.
TEST_F(RegularFileTest, OnlyRegularFilesOpenAndLinksOnlyWhenFollowed) {
  using enum RegularFile::Links;
  const struct {
    std::string name;
    RegularFile::Links links;
    std::string refusal;
  } cases[] = {
      {"file", kRefuse, ""},
      {"link", kFollow, ""},
      {"link", kRefuse, "it is a symbolic link"},
      {"fifo", kFollow, "opened: it is a named pipe"},
      {".", kFollow, "opened: it is a directory"},
      {"missing", kFollow, "No such file or directory"},
  };
  for (const auto& c : cases) EXPECT_EQ(Refusal(c.name, c.links), c.refusal) << c.name;
}

TEST_F(RegularFileTest, ReadsToTheEndWhateverTheSizeSaid) {
  RegularFile file((dir_ / "file").string());
  EXPECT_EQ(file.size(), 5u);
  EXPECT_EQ(file.ReadAll(100), "hello");
  if (fs::exists("/proc/self/status")) {
    RegularFile proc("/proc/self/status");
    EXPECT_EQ(proc.size(), 0u);
    EXPECT_EQ(proc.ReadAll(1 << 20).substr(0, 5), "Name:");
  }
  RegularFile small((dir_ / "file").string());
  EXPECT_THROW(small.ReadAll(4), FileRefused);
}

// The new file takes the link's place; the link's target is untouched.
TEST_F(RegularFileTest, ReplaceWritesBesideAndRenamesOverALink) {
  const auto write = [](const std::string& text) {
    return [text](const std::string& path) {
      std::ofstream(path, std::ios::binary) << text;
      return true;
    };
  };
  ASSERT_TRUE(ReplaceFile((dir_ / "link").string(), write("new")));
  EXPECT_FALSE(fs::is_symlink(dir_ / "link"));
  EXPECT_EQ(Contents("link"), "new");
  EXPECT_EQ(Contents("file"), "hello");
  // A write that fails leaves the file as it was and nothing beside it.
  EXPECT_FALSE(ReplaceFile((dir_ / "file").string(), [](const std::string&) { return false; }));
  EXPECT_EQ(Contents("file"), "hello");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 3);
}

}  // namespace
}  // namespace dudUdudADOD::cli
