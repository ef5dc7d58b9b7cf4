#include "output_files.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "temporary_files.hpp"

namespace meshweave::tool {
namespace {

namespace fs = std::filesystem;

class OutputFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = fs::temp_directory_path() /
                 ("meshweave_output_files_" + std::to_string(::getpid()) + "_" +
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
  static OutputFile file(const std::string& target, std::string text) {
    return {{"--output", target}, std::move(text)};
  }

  fs::path directory_;
  std::ostringstream standard_output_;
};

TEST_F(OutputFiles, WritesEveryOutputAndReplacesOldContents) {
  {
    std::ofstream(path("a.txt")) << "old contents that are longer";
  }
  const std::vector<OutputFile> files = {
      file(path("a.txt"), "first\n"),
      file(path("b.svg"), ""),
      {{"--trace", path("c.trace")},
       OutputWriter{[](std::ostream& out) { return static_cast<bool>(out << "streamed " << 42); }}},
      file("-", "on standard output\n"),
      file(path(std::string(250, 'n')), "long name")};
  const auto written = write_outputs(files, standard_output_);
  ASSERT_TRUE(written.has_value()) << written.error().what;
  EXPECT_EQ(contents(path("a.txt")), "first\n");
  EXPECT_EQ(contents(path("b.svg")), "");
  EXPECT_EQ(contents(path("c.trace")), "streamed 42");
  EXPECT_EQ(standard_output_.str(), "on standard output\n");
  EXPECT_EQ(contents(path(std::string(250, 'n'))), "long name");
  // No temporaries left.
  EXPECT_EQ(entries(),
            (std::vector<std::string>{"a.txt", "b.svg", "c.trace", std::string(250, 'n')}));
}

// Whatever fails, and wherever it comes in the list, nothing is written: no
// file replaced, no new file, no temporary left, nothing on standard output
// (unless standard output itself failed).
TEST_F(OutputFiles, WritesNothingWhenOneOutputFails) {
  std::ostringstream unused;
  std::ostream broken(nullptr);  // every write fails
  const struct {
    const char* label;
    OutputFile failing;
    std::ostream* standard_output;
    std::string where;
    std::string what;
  } cases[] = {
      {"missing directory", file(path("missing/out.svg"), "<svg/>"), &unused,
       path("missing/out.svg"), "cannot write: No such file or directory"},
      {"a directory", file(path("taken"), "x"), &unused, path("taken"),
       "cannot write: Is a directory"},
      {"full device", file("/dev/full", "x"), &unused, "/dev/full",
       "cannot write: No space left on device"},
      {"writer gives up",
       {{"--trace", path("t")}, OutputWriter{[](std::ostream&) { return false; }}},
       &unused,
       path("t"),
       "cannot write: Input/output error"},
      {"standard output", file("-", "programs"), &broken, "<stdout>", "cannot write"},
  };
  fs::create_directories(path("taken"));
  {
    std::ofstream(path("kept.txt")) << "before";
  }
  for (const auto& c : cases) {
    const std::vector<OutputFile> files = {file(path("kept.txt"), "after"),
                                           file(path("new.txt"), "new"), c.failing};
    const auto written = write_outputs(files, *c.standard_output);
    ASSERT_FALSE(written.has_value()) << c.label;
    EXPECT_EQ(written.error().where, c.where) << c.label;
    EXPECT_EQ(written.error().what.substr(0, c.what.size()), c.what) << c.label;
    EXPECT_FALSE(written.error().usage) << c.label;
    EXPECT_EQ(contents(path("kept.txt")), "before") << c.label;
    EXPECT_EQ(entries(), (std::vector<std::string>{"kept.txt", "taken"})) << c.label;
    EXPECT_EQ(unused.str(), "") << c.label;
  }
}

TEST_F(OutputFiles, RefusesNamesOfOneFileAndTheInput) {
  {
    std::ofstream(path("a")) << "a";
  }
  {
    std::ofstream(path("in.json")) << "{}";
  }
  fs::create_hard_link(path("a"), path("hard"));
  fs::create_symlink(path("a"), path("link"));
  fs::create_symlink("new", path("dangling"));
  const std::string dot = (directory_ / "." / "new").string();
  const struct {
    std::vector<std::string> paths;
    std::string where;  // of the refusal; empty when the names are fine
    std::string what;
  } cases[] = {
      {{path("a"), path("b")}, "", ""},
      {{"-", path("a")}, "", ""},
      {{""}, "--output", "the file name is empty"},
      {{path("new"), path("new")},
       "--output " + path("new"),
       "names the same file as --output " + path("new")},
      {{path("new"), dot}, "--output " + dot, "names the same file as --output " + path("new")},
      {{path("a"), path("hard")},
       "--output " + path("hard"),
       "names the same file as --output " + path("a")},
      {{path("link"), path("a")},
       "--output " + path("a"),
       "names the same file as --output " + path("link")},
      {{path("dangling"), path("new")},
       "--output " + path("new"),
       "names the same file as --output " + path("dangling")},
      {{"-", "-"}, "--output -", "standard output already receives --output"},
      {{path("b"), path("./in.json")}, "--output " + path("./in.json"), "is the input file"},
  };
  for (const auto& c : cases) {
    std::vector<OutputName> names;
    for (const std::string& name : c.paths) names.push_back({"--output", name});
    const auto checked = check_output_names(names, path("in.json"));
    ASSERT_EQ(checked.has_value(), c.where.empty()) << c.paths.back();
    if (checked) continue;
    EXPECT_EQ(checked.error().where, c.where);
    EXPECT_EQ(checked.error().what, c.what);
    EXPECT_TRUE(checked.error().usage);
  }
  // write_outputs refuses them too, before writing anything.
  const std::vector<OutputFile> files = {file(path("new"), "1"), file(dot, "2")};
  const auto written = write_outputs(files, standard_output_);
  ASSERT_FALSE(written.has_value());
  EXPECT_TRUE(written.error().usage);
  EXPECT_FALSE(fs::exists(path("new")));
}

TEST_F(OutputFiles, WritesThroughSymbolicLinksAndKeepsPermissions) {
  {
    std::ofstream(path("real.txt")) << "old";
  }
  fs::permissions(path("real.txt"), fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink(path("real.txt"), path("link.txt"));
  fs::create_symlink("created.txt", path("dangling.txt"));
  const std::vector<OutputFile> files = {file(path("link.txt"), "new"),
                                         file(path("dangling.txt"), "through")};
  ASSERT_TRUE(write_outputs(files, standard_output_).has_value());
  EXPECT_TRUE(fs::is_symlink(path("link.txt")));
  EXPECT_EQ(contents(path("real.txt")), "new");
  EXPECT_EQ(fs::status(path("real.txt")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_TRUE(fs::is_symlink(path("dangling.txt")));
  EXPECT_EQ(contents(path("created.txt")), "through");
}

// A pipe (like a terminal or /dev/null) must be written to, not replaced by a file.
TEST_F(OutputFiles, WritesIntoSpecialFilesInsteadOfReplacingThem) {
  ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
  const int reader = ::open(path("pipe").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const std::vector<OutputFile> files = {file(path("pipe"), "through the pipe"),
                                         file(path("plain.txt"), "plain")};
  const auto written = write_outputs(files, standard_output_);
  char buffer[64] = {};
  const ssize_t got = ::read(reader, buffer, sizeof buffer);
  ::close(reader);
  ASSERT_TRUE(written.has_value()) << written.error().what;
  EXPECT_TRUE(fs::is_fifo(path("pipe")));
  EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<std::size_t>(got) : 0), "through the pipe");
  EXPECT_EQ(contents(path("plain.txt")), "plain");
}

TEST_F(OutputFiles, InterruptingSignalsRemoveRegisteredTemporaries) {
  {
    TemporaryFile kept(path("renamed"));
    {
      std::ofstream(path("renamed")) << "x";
    }
    kept.keep();
    TemporaryFile removed(path("temporary"));
    {
      std::ofstream(path("temporary")) << "x";
    }
    remove_registered_temporaries();
    EXPECT_EQ(entries(), std::vector<std::string>{"renamed"});
  }
  EXPECT_EXIT(
      {
        TemporaryFile temporary(path("killed"));
        {
          std::ofstream(path("killed")) << "x";
        }
        ::raise(SIGTERM);
      },
      ::testing::KilledBySignal(SIGTERM), "");
  EXPECT_EQ(entries(), std::vector<std::string>{"renamed"});
}

}  // namespace
}  // namespace meshweave::tool
