#include "tool_process.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace meshweave::tool::testing {

namespace fs = std::filesystem;

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

void write_file(const std::string& path, const std::string& contents) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << contents;
  if (!file) throw std::runtime_error("cannot write " + path);
}

std::string source_path(const std::string& relative) {
  return std::string{MESHWEAVE_SOURCE_DIR} + "/" + relative;
}

std::string scratch_directory(const std::string& name) {
  const fs::path directory = fs::temp_directory_path() /
                             ("meshweave_tool_test_" + std::to_string(::getpid()) + "_" + name);
  fs::remove_all(directory);
  fs::create_directories(directory);
  return directory.string();
}

ToolRun run_tool(const std::vector<std::string>& arguments, const std::string& input,
                 const std::string& output_path) {
  const std::string directory = scratch_directory("process");
  const std::string in_path = directory + "/in";
  const std::string out_path = output_path.empty() ? directory + "/out" : output_path;
  const std::string err_path = directory + "/err";
  write_file(in_path, input);

  std::vector<std::string> words{MESHWEAVE_TOOL_BINARY};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in_path.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error(std::string{"cannot start "} + MESHWEAVE_TOOL_BINARY);

  int wait_status = 0;
  while (::waitpid(child, &wait_status, 0) < 0) {
  }
  ToolRun run;
  run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  if (output_path.empty()) run.out = read_file(out_path);
  run.err = read_file(err_path);
  fs::remove_all(directory);
  return run;
}

}  // namespace meshweave::tool::testing
