// Runs the built meshweave executable to check that compile writes all of its
// outputs or none, standard output included, whatever goes wrong.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tool_process.hpp"

namespace meshweave::tool::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> entries(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// "@" in a test case stands for the scratch directory.
std::string place(std::string text, const std::string& directory) {
  for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at)) {
    text.replace(at, 1, directory);
    at += directory.size();
  }
  return text;
}

struct OutputCase {
  std::string label;
  std::vector<std::string> arguments;  // after "compile @/in.json"
  std::string standard_output;         // where stdout goes; empty: collected
  int status;
  std::string message;               // the whole of standard error
  std::vector<std::string> created;  // files there afterwards that were not before
};

TEST(OutputGuarantee, CompileWritesEveryOutputOrNone) {
  const std::string directory = scratch_directory("guarantee");
  const std::string description = read_file(source_path("examples/ring16.json"));
  const std::string programs = run_tool({"compile", source_path("examples/ring16.json")}).out;
  ASSERT_FALSE(programs.empty());
  const std::string full = "cannot write: No space left on device\n";
  const OutputCase cases[] = {
      {"-o file, --svg full",
       {"-o", "@/kept.txt", "--svg", "/dev/full"},
       "",
       1,
       "meshweave compile: error: /dev/full: " + full,
       {}},
      {"-o full, --svg file",
       {"-o", "/dev/full", "--svg", "@/new.svg"},
       "",
       1,
       "meshweave compile: error: /dev/full: " + full,
       {}},
      {"stdout full, --svg file",
       {"--svg", "@/new.svg"},
       "/dev/full",
       1,
       "meshweave compile: error: <stdout>: " + full,
       {}},
      {"two spellings",
       {"-o", "@/new.txt", "--svg", "@/./new.txt"},
       "",
       2,
       "meshweave compile: error: --svg @/./new.txt: names the same file as --output @/new.txt\n",
       {}},
      {"hard link",
       {"-o", "@/kept.txt", "--svg", "@/hard.txt"},
       "",
       2,
       "meshweave compile: error: --svg @/hard.txt: names the same file as --output @/kept.txt\n",
       {}},
      {"link to a new file",
       {"--svg", "@/dangling", "-o", "@/created.txt"},
       "",
       2,
       "meshweave compile: error: --svg @/dangling: names the same file as --output "
       "@/created.txt\n",
       {}},
      {"the input",
       {"--svg", "@/in.json"},
       "",
       2,
       "meshweave compile: error: --svg @/in.json: is the input file\n",
       {}},
      {"empty name",
       {"-o", ""},
       "",
       2,
       "meshweave compile: error: --output: the file name is empty\n",
       {}},
      {"twice stdout",
       {"-o", "-", "--svg", "-"},
       "",
       2,
       "meshweave compile: error: --svg -: standard output already receives --output\n",
       {}},
      {"stdout into --svg",
       {"--svg", "@/stdout.txt"},
       "@/stdout.txt",
       2,
       "meshweave compile: error: --svg @/stdout.txt: names the file standard output goes to\n",
       {"stdout.txt"}},
      {"-o - is stdout", {"-o", "-"}, "", 0, "", {}},
      {"through a dangling link", {"-o", "@/dangling"}, "", 0, "", {"created.txt"}},
  };
  for (const OutputCase& c : cases) {
    fs::remove_all(directory);
    fs::create_directories(directory);
    write_file(directory + "/in.json", description);
    write_file(directory + "/kept.txt", "previous");
    fs::create_hard_link(directory + "/kept.txt", directory + "/hard.txt");
    fs::create_symlink("created.txt", directory + "/dangling");
    const std::vector<std::string> before = entries(directory);

    std::vector<std::string> arguments{"compile", directory + "/in.json"};
    for (const std::string& argument : c.arguments) arguments.push_back(place(argument, directory));
    const ToolRun run = run_tool(arguments, "", place(c.standard_output, directory));

    EXPECT_EQ(run.status, c.status) << c.label << ": " << run.err;
    EXPECT_EQ(run.err, place(c.message, directory)) << c.label;
    const bool programs_on_stdout = c.arguments == std::vector<std::string>{"-o", "-"};
    EXPECT_EQ(run.out, programs_on_stdout ? programs : "") << c.label;
    std::vector<std::string> expected = before;
    expected.insert(expected.end(), c.created.begin(), c.created.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(entries(directory), expected) << c.label;
    EXPECT_EQ(read_file(directory + "/kept.txt"), "previous") << c.label;
    EXPECT_EQ(read_file(directory + "/in.json"), description) << c.label;
    EXPECT_TRUE(fs::is_symlink(directory + "/dangling")) << c.label;
    if (fs::exists(directory + "/created.txt")) {
      EXPECT_EQ(read_file(directory + "/created.txt"), programs) << c.label;
    }
  }
  EXPECT_FALSE(fs::exists("-"));
  fs::remove_all(directory);
}

// Starts `meshweave compile examples/broadcast.json --svg <picture>` with its
// standard output on `descriptor` and SIGPIPE at its default action.
pid_t start_compile(int descriptor, const std::string& picture) {
  std::vector<std::string> words{MESHWEAVE_TOOL_BINARY, "compile",
                                 source_path("examples/broadcast.json"), "--svg", picture};
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, descriptor, 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGTERM);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return spawned == 0 ? child : -1;
}

int signal_that_ended(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
  }
  return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

// The listing (740 kB) fills a pipe nobody reads, so the run blocks with its
// picture written to a temporary; SIGTERM must take the temporary away.
TEST(OutputGuarantee, TerminatedRunLeavesNoTemporary) {
  const std::string directory = scratch_directory("terminated");
  const std::string fifo = directory + "/stdout";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  const int writer = ::open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(reader, 0);
  ASSERT_GE(writer, 0);
  const pid_t child = start_compile(writer, directory + "/picture.svg");
  ::close(writer);
  ASSERT_GT(child, 0);
  const auto has_temporary = [&] {
    const auto names = entries(directory);
    return std::any_of(names.begin(), names.end(), [](const std::string& name) {
      return name.find(".meshweave-") != std::string::npos;
    });
  };
  // Wait (generously) until the temporary exists: the handler is in place by then.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!has_temporary() && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const bool staged = has_temporary();
  ::kill(child, SIGTERM);
  EXPECT_EQ(signal_that_ended(child), SIGTERM);
  ::close(reader);
  EXPECT_TRUE(staged);
  EXPECT_EQ(entries(directory), std::vector<std::string>{"stdout"});
  fs::remove_all(directory);
}

// A reader that went away (`meshweave compile ... | head -1`) ends the run by
// SIGPIPE; the picture must not be left behind, whole or in part.
TEST(OutputGuarantee, BrokenPipeLeavesNoTemporary) {
  const std::string directory = scratch_directory("broken_pipe");
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);
  const pid_t child = start_compile(ends[1], directory + "/picture.svg");
  ::close(ends[1]);
  ASSERT_GT(child, 0);
  EXPECT_EQ(signal_that_ended(child), SIGPIPE);
  EXPECT_TRUE(entries(directory).empty());
  fs::remove_all(directory);
}

}  // namespace
}  // namespace meshweave::tool::testing
