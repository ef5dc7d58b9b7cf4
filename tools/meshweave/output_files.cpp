#include "output_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

namespace meshweave::tool {
namespace {

namespace fs = std::filesystem;

// Where one file goes. Regular files (new or existing) are written to a
// temporary beside the target and renamed into place. Anything else that
// already exists (a terminal, a pipe, /dev/null) cannot be replaced that way:
// renaming over it would swap the device for a plain file, so it is written
// directly, after every regular file is in place.
struct Destination {
  const OutputFile* file = nullptr;
  fs::path target;  // symbolic links resolved, so the link itself stays
  bool direct = false;
  bool existing = false;
  fs::perms permissions = fs::perms::none;
  fs::path temporary;
};

std::string failure(const std::string& path, int error) {
  return "cannot write " + path + ": " + std::generic_category().message(error);
}

// Writes all of `contents` to `fd`; the errno of the first failure, or 0.
int write_all(int fd, std::string_view contents) {
  while (!contents.empty()) {
    const ssize_t written = ::write(fd, contents.data(), contents.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    contents.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

// Writes `contents` to a file opened with `flags`; the errno of the first failure, or 0.
int write_file(const fs::path& path, int flags, std::string_view contents,
               fs::perms permissions = fs::perms::none) {
  const int fd = ::open(path.c_str(), flags | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  int error = write_all(fd, contents);
  if (error == 0 && permissions != fs::perms::none &&
      ::fchmod(fd, static_cast<mode_t>(permissions)) != 0) {
    error = errno;
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

void remove_temporaries(const std::vector<Destination>& destinations, std::size_t from = 0) {
  for (std::size_t i = from; i < destinations.size(); ++i) {
    if (destinations[i].temporary.empty()) continue;
    std::error_code ignored;
    fs::remove(destinations[i].temporary, ignored);
  }
}

std::expected<Destination, std::string> resolve(const OutputFile& file) {
  Destination destination;
  destination.file = &file;
  destination.target = file.path;
  std::error_code error;
  // status() follows links the way open() does, /proc/self/fd links included.
  const fs::file_status status = fs::status(destination.target, error);
  if (fs::is_directory(status)) return std::unexpected(failure(file.path, EISDIR));
  destination.existing = fs::exists(status);
  destination.direct = destination.existing && !fs::is_regular_file(status);
  if (destination.existing) destination.permissions = status.permissions();
  if (!destination.direct && fs::is_symlink(destination.target, error)) {
    destination.target = fs::weakly_canonical(destination.target, error);
    if (error) return std::unexpected(failure(file.path, error.value()));
  }
  return destination;
}

}  // namespace

std::expected<void, std::string> write_output_files(std::span<const OutputFile> files) {
  std::vector<Destination> destinations;
  destinations.reserve(files.size());
  for (const OutputFile& file : files) {
    auto destination = resolve(file);
    if (!destination) return std::unexpected(destination.error());
    destinations.push_back(std::move(*destination));
  }

  for (std::size_t i = 0; i < destinations.size(); ++i) {
    Destination& destination = destinations[i];
    if (destination.direct) continue;
    // O_EXCL: never write through something that already sits at the temporary name.
    destination.temporary = destination.target;
    destination.temporary += ".meshweave-" + std::to_string(::getpid()) + "-" + std::to_string(i);
    const int error = write_file(destination.temporary, O_CREAT | O_EXCL,
                                 destination.file->contents, destination.permissions);
    if (error != 0) {
      if (error == EEXIST) destination.temporary.clear();  // not ours to remove
      remove_temporaries(destinations);
      return std::unexpected(failure(destination.file->path, error));
    }
  }
  for (std::size_t i = 0; i < destinations.size(); ++i) {
    if (destinations[i].direct) continue;
    std::error_code error;
    fs::rename(destinations[i].temporary, destinations[i].target, error);
    if (error) {
      remove_temporaries(destinations, i);
      return std::unexpected(failure(destinations[i].file->path, error.value()));
    }
  }
  for (const Destination& destination : destinations) {
    if (!destination.direct) continue;
    const int error = write_file(destination.target, O_TRUNC, destination.file->contents);
    if (error != 0) return std::unexpected(failure(destination.file->path, error));
  }
  return {};
}

}  // namespace meshweave::tool
