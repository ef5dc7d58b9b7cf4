#include "output_files.hpp"

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

}  // namespace
}  // namespace meshweave::tool
