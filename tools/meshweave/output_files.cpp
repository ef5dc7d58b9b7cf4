#include "output_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <system_error>
#include <vector>

#include "descriptor_buffer.hpp"
#include "diagnostics.hpp"
#include "temporary_files.hpp"

namespace meshweave::tool {
namespace {

namespace fs = std::filesystem;

// Links followed before giving up, as the kernel does (ELOOP).
constexpr int max_link_hops = 40;
// Longest name of one directory entry on the usual file systems (NAME_MAX).
constexpr std::size_t max_file_name_length = 255;

// Which file a name denotes, however it is spelled.
struct FileIdentity {
  bool standard_output = false;
  std::optional<std::pair<dev_t, ino_t>> inode;  // when the file exists
  fs::path canonical;                            // also for files yet to be created
};

bool same_file(const FileIdentity& a, const FileIdentity& b) {
  if (a.standard_output && b.standard_output) return true;
  if (a.inode && b.inode) return *a.inode == *b.inode;
  return !a.standard_output && !b.standard_output && !a.canonical.empty() &&
         a.canonical == b.canonical;
}

// Where a name ends up once every symbolic link is followed, also when the
// last link dangles (writing then creates the file it points to).
std::expected<fs::path, int> follow_links(fs::path path) {
  for (int hop = 0; hop < max_link_hops; ++hop) {
    std::error_code ignored;
    if (!fs::is_symlink(fs::symlink_status(path, ignored))) return path;
    std::error_code error;
    const fs::path link = fs::read_symlink(path, error);
    if (error) return std::unexpected(error.value());
    path = link.is_absolute() ? link : path.parent_path() / link;
  }
  return std::unexpected(ELOOP);
}

FileIdentity identity_of(const std::string& path) {
  FileIdentity identity;
  struct stat status{};
  if (path == "-") {
    identity.standard_output = true;
    // Redirected into a file (`> out.svg`), standard output is that file too.
    if (::fstat(STDOUT_FILENO, &status) == 0 && S_ISREG(status.st_mode)) {
      identity.inode = std::pair{status.st_dev, status.st_ino};
    }
    return identity;
  }
  if (::stat(path.c_str(), &status) == 0) identity.inode = std::pair{status.st_dev, status.st_ino};
  if (const auto target = follow_links(path)) {
    std::error_code error;
    identity.canonical = fs::weakly_canonical(fs::absolute(*target, error), error);
    if (error) identity.canonical.clear();
  }
  return identity;
}

std::string shown_name(const OutputName& name) {
  return name.path == "-" ? "<stdout>" : echo(name.path, file_name_echo_limit);
}

OutputError usage_error(const OutputName& name, std::string what) {
  // Built by appending: GCC 12 warns falsely (-Wrestrict) on a chain of + around a literal.
  std::string where = name.option;
  if (!name.path.empty()) where.append(" ").append(echo(name.path, file_name_echo_limit));
  return {std::move(where), std::move(what), true};
}

OutputError write_error(const OutputName& name, int error) {
  return {shown_name(name),
          error != 0 ? "cannot write: " + std::generic_category().message(error) : "cannot write"};
}

std::expected<void, OutputError> check(std::span<const OutputName> names,
                                       std::string_view input_path) {
  std::vector<FileIdentity> identities;
  for (const OutputName& name : names) {
    if (name.path.empty()) return std::unexpected(usage_error(name, "the file name is empty"));
    identities.push_back(identity_of(name.path));
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (!same_file(identities[i], identities[j])) continue;
      std::string what;
      if (identities[i].standard_output && identities[j].standard_output) {
        what = "standard output already receives " + names[j].option;
      } else if (identities[i].standard_output || identities[j].standard_output) {
        what = "names the file standard output goes to";
      } else {
        what = "names the same file as " + names[j].option + " " +
               echo(names[j].path, file_name_echo_limit);
      }
      // Name the file, not standard output, when only one of them is standard output.
      const bool only_i_is_standard_output =
          identities[i].standard_output && !identities[j].standard_output;
      const OutputName& named = only_i_is_standard_output ? names[j] : names[i];
      return std::unexpected(usage_error(named, std::move(what)));
    }
  }
  if (!input_path.empty() && input_path != "-") {
    const FileIdentity input = identity_of(std::string{input_path});
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (same_file(identities[i], input)) {
        return std::unexpected(usage_error(names[i], "is the input file"));
      }
    }
  }
  return {};
}

// How one output is written.
enum class Route {
  staged,  // a regular file, new or existing: a temporary renamed into place
  direct,  // an existing special file (terminal, pipe, device): written as it is
  standard_output,
};

struct Destination {
  Route route = Route::staged;
  fs::path target;  // links followed, so the link itself stays
  bool existing = false;
  fs::perms permissions = fs::perms::none;
  std::unique_ptr<TemporaryFile> temporary;
};

std::expected<Destination, OutputError> resolve(const OutputName& name) {
  Destination destination;
  if (name.path == "-") {
    destination.route = Route::standard_output;
    return destination;
  }
  std::error_code ignored;
  // status() follows links the way open() does, /proc/self/fd links included.
  const fs::file_status status = fs::status(name.path, ignored);
  if (fs::is_directory(status)) return std::unexpected(write_error(name, EISDIR));
  destination.existing = fs::exists(status);
  if (destination.existing && !fs::is_regular_file(status)) {
    destination.route = Route::direct;
    destination.target = name.path;
    return destination;
  }
  if (destination.existing) destination.permissions = status.permissions();
  const auto target = follow_links(name.path);
  if (!target) return std::unexpected(write_error(name, target.error()));
  destination.target = *target;
  return destination;
}

// Renders `contents` into `out`; false when the writer gave up.
bool render(const std::variant<std::string, OutputWriter>& contents, std::ostream& out) {
  if (const auto* text = std::get_if<std::string>(&contents)) {
    out.write(text->data(), static_cast<std::streamsize>(text->size()));
    return true;
  }
  const OutputWriter& writer = std::get<OutputWriter>(contents);
  return writer && writer(out);
}

// Renders into a file descriptor (closed here); the errno of the first
// failure, or EIO when the writer gave up without one.
int render_into(int descriptor, const std::variant<std::string, OutputWriter>& contents,
                fs::perms permissions) {
  DescriptorBuffer buffer(descriptor);
  std::ostream stream(&buffer);
  const bool rendered = render(contents, stream);
  stream.flush();
  int error = buffer.error();
  if (error == 0 && !rendered) error = EIO;
  if (error == 0 && permissions != fs::perms::none &&
      ::fchmod(descriptor, static_cast<mode_t>(permissions)) != 0) {
    error = errno;
  }
  if (::close(descriptor) != 0 && error == 0) error = errno;
  return error;
}

int stage(Destination& destination, const OutputFile& file, std::size_t index) {
  const std::string suffix =
      ".meshweave-" + std::to_string(::getpid()) + "-" + std::to_string(index);
  fs::path temporary = destination.target;
  // A name near the limit of its directory gets a short temporary of its own.
  if (destination.target.filename().native().size() + suffix.size() > max_file_name_length) {
    temporary.replace_filename(suffix);
  } else {
    temporary += suffix;
  }
  destination.temporary = std::make_unique<TemporaryFile>(temporary.string());
  // O_EXCL: never write through something that already sits at the temporary
  // name. Private until the permissions of the file it replaces are copied.
  const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                                destination.existing ? 0600 : 0666);
  if (descriptor < 0) {
    const int error = errno;
    destination.temporary->keep();  // not ours to remove
    return error;
  }
  return render_into(descriptor, file.contents, destination.permissions);
}

int write_direct(const Destination& destination, const OutputFile& file) {
  const int descriptor = ::open(destination.target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (descriptor < 0) return errno;
  return render_into(descriptor, file.contents, fs::perms::none);
}

int write_standard_output(std::ostream& out, const OutputFile& file) {
  errno = 0;
  const bool rendered = render(file.contents, out);
  out.flush();
  if (out) return rendered ? 0 : EIO;
  return errno != 0 ? errno : EIO;
}

}  // namespace

std::expected<void, OutputError> check_output_names(std::span<const OutputName> names,
                                                    std::string_view input_path) {
  return check(names, input_path);
}

std::expected<void, OutputError> write_outputs(std::span<const OutputFile> files,
                                               std::ostream& standard_output) {
  std::vector<OutputName> names;
  for (const OutputFile& file : files) names.push_back(file.name);
  if (auto checked = check(names, ""); !checked) return checked;

  std::vector<Destination> destinations;
  for (const OutputFile& file : files) {
    auto destination = resolve(file.name);
    if (!destination) return std::unexpected(destination.error());
    destinations.push_back(std::move(*destination));
  }
  // Temporaries still held when returning early are removed by their owners.
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (destinations[i].route != Route::staged) continue;
    if (const int error = stage(destinations[i], files[i], i); error != 0) {
      return std::unexpected(write_error(files[i].name, error));
    }
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    int error = 0;
    if (destinations[i].route == Route::direct) error = write_direct(destinations[i], files[i]);
    if (destinations[i].route == Route::standard_output) {
      error = write_standard_output(standard_output, files[i]);
    }
    if (error != 0) return std::unexpected(write_error(files[i].name, error));
  }
  const SignalsDeferred deferred;
  for (std::size_t i = 0; i < files.size(); ++i) {
    Destination& destination = destinations[i];
    if (destination.route != Route::staged) continue;
    if (::rename(destination.temporary->path().c_str(), destination.target.c_str()) != 0) {
      return std::unexpected(write_error(files[i].name, errno));
    }
    destination.temporary->keep();
  }
  return {};
}

}  // namespace meshweave::tool
