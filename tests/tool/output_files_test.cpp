#include "output_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace meshweave::tool {
namespace {

namespace fs = std::filesystem;

class OutputFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = fs::temp_directory_path() /
                 ("meshweave_output_files_" +
                  std::string{::testing::UnitTest::GetInstance()->current_test_info()->name()});
    fs::remove_all(directory_);
    fs::create_directories(directory_);
  }
  void TearDown() override { fs::remove_all(directory_); }

  std::string path(const std::string& name) const { return (directory_ / name).string(); }
  static std::string contents(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path directory_;
};

TEST_F(OutputFiles, WritesEveryFileAndReplacesOldContents) {
  { std::ofstream(path("a.txt")) << "old contents that are longer"; }
  const std::vector<OutputFile> files = {{path("a.txt"), "first\n"}, {path("b.svg"), ""}};
  ASSERT_TRUE(write_output_files(files).has_value());
  EXPECT_EQ(contents(path("a.txt")), "first\n");
  EXPECT_EQ(contents(path("b.svg")), "");
  EXPECT_EQ(entries(), (std::vector<std::string>{"a.txt", "b.svg"}));  // no temporaries left
}

TEST_F(OutputFiles, WritesNothingWhenOneFileCannotBeWritten) {
  { std::ofstream(path("kept.txt")) << "before"; }
  const std::string unreachable = path("missing/dir/out.svg");
  const std::vector<OutputFile> files = {{path("kept.txt"), "after"},
                                         {path("new.txt"), "new"},
                                         {unreachable, "<svg/>"}};
  const auto written = write_output_files(files);
  ASSERT_FALSE(written.has_value());
  EXPECT_EQ(written.error(), "cannot write " + unreachable + ": No such file or directory");
  EXPECT_EQ(contents(path("kept.txt")), "before");
  EXPECT_EQ(entries(), std::vector<std::string>{"kept.txt"});
}

TEST_F(OutputFiles, RefusesADirectoryAsTarget) {
  fs::create_directories(path("taken"));
  const std::vector<OutputFile> files = {{path("a.txt"), "a"}, {path("taken"), "b"}};
  EXPECT_FALSE(write_output_files(files).has_value());
  EXPECT_TRUE(fs::is_directory(path("taken")));
  EXPECT_FALSE(fs::exists(path("a.txt")));
}

TEST_F(OutputFiles, WritesThroughSymbolicLinksAndKeepsPermissions) {
  { std::ofstream(path("real.txt")) << "old"; }
  fs::permissions(path("real.txt"), fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink(path("real.txt"), path("link.txt"));
  const std::vector<OutputFile> files = {{path("link.txt"), "new"}};
  ASSERT_TRUE(write_output_files(files).has_value());
  EXPECT_TRUE(fs::is_symlink(path("link.txt")));
  EXPECT_EQ(contents(path("real.txt")), "new");
  EXPECT_EQ(fs::status(path("real.txt")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
}

// A pipe (like a terminal or /dev/null) must be written to, not replaced by a file.
TEST_F(OutputFiles, WritesIntoSpecialFilesInsteadOfReplacingThem) {
  ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
  const int reader = ::open(path("pipe").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const std::vector<OutputFile> files = {{path("pipe"), "through the pipe"},
                                         {path("plain.txt"), "plain"}};
  const auto written = write_output_files(files);
  char buffer[64] = {};
  const ssize_t got = ::read(reader, buffer, sizeof buffer);
  ::close(reader);
  ASSERT_TRUE(written.has_value()) << written.error();
  EXPECT_TRUE(fs::is_fifo(path("pipe")));
  EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<std::size_t>(got) : 0), "through the pipe");
  EXPECT_EQ(contents(path("plain.txt")), "plain");
}

}  // namespace
}  // namespace meshweave::tool
