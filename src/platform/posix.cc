// The POSIX side of the platform unit: descriptors, file identities, renames and signals.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/process.h"

namespace tpjconv::platform {

namespace {

int open_retrying(const char* path, int flags, mode_t mode) {
  for (;;) {
    const int fd = ::open(path, flags | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

FileKind kind_of(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::regular;
  if (S_ISDIR(mode)) return FileKind::directory;
  return FileKind::special;
}

FileIdentity identity_of(const struct stat& info) {
  FileIdentity id;
  id.kind = kind_of(info.st_mode);
  id.device = static_cast<std::uint64_t>(info.st_dev);
  id.index = static_cast<std::uint64_t>(info.st_ino);
  id.known = true;
  return id;
}

// The directory part of a name ("." when it has none) and the last part.
std::string directory_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string base_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// Opening and closing are friends of File; this gathers them in one place.
struct Opener {
  static File make(int fd, bool owned) { return File(fd, owned); }
};

IoResult File::read(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0) return {static_cast<std::size_t>(n), 0};
    if (errno != EINTR) return {0, errno};
  }
}

IoResult File::write(const char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd_, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return {done, n < 0 ? errno : EIO};
    done += static_cast<std::size_t>(n);
  }
  return {done, 0};
}

int File::close() {
  if (fd_ < 0) return 0;
  const int fd = fd_;
  fd_ = -1;
  if (!owned_) return 0;
  return ::close(fd) == 0 ? 0 : errno;
}

Opened open_for_reading(const std::string& path) {
  const int fd = open_retrying(path.c_str(), O_RDONLY, 0);
  if (fd < 0) return {File(), errno};
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    return {File(), EISDIR};
  }
  return {Opener::make(fd, true), 0};
}

Opened open_for_writing(const std::string& path) {
  const int fd = open_retrying(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return {File(), errno};
  return {Opener::make(fd, true), 0};
}

Opened create_new(const std::string& path, int permissions) {
  const int fd = open_retrying(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (fd < 0) return {File(), errno};
  if (permissions >= 0) ::fchmod(fd, static_cast<mode_t>(permissions));
  return {Opener::make(fd, true), 0};
}

std::string link_target(const std::string& path) {
  std::string current = path;
  // A loop of links ends the search; opening the name then fails on its own.
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info;
    if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    std::string target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 256), '\0');
    for (;;) {
      const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
      if (n < 0) return current;
      if (static_cast<std::size_t>(n) < target.size()) {
        target.resize(static_cast<std::size_t>(n));
        break;
      }
      target.resize(target.size() * 2);
    }
    current = target.starts_with('/') ? target : directory_of(current) + "/" + target;
  }
  return current;
}

FileIdentity identify(const std::string& path) {
  if (path.empty() || path.back() == '/') return {};
  struct stat info;
  if (::stat(path.c_str(), &info) == 0) return identity_of(info);
  FileIdentity id;
  if (errno != ENOENT) return id;
  // A file that does not exist yet is the name it will get in the directory it will be made in.
  const std::string target = link_target(path);
  struct stat directory;
  if (::stat(directory_of(target).c_str(), &directory) != 0 || !S_ISDIR(directory.st_mode)) {
    return id;
  }
  id = identity_of(directory);
  id.kind = FileKind::missing;
  id.name = base_of(target);
  return id;
}

FileIdentity identify_standard(int stream) {
  struct stat info;
  if (::fstat(stream, &info) != 0) return {};
  return identity_of(info);
}

bool same_file(const FileIdentity& a, const FileIdentity& b) {
  if (!a.known || !b.known || a.kind != b.kind) return false;
  if (a.kind != FileKind::regular && a.kind != FileKind::missing) return false;
  return a.device == b.device && a.index == b.index && a.name == b.name;
}

int permissions_of(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return -1;
  return static_cast<int>(info.st_mode & 07777);
}

bool write_protected(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0;
}

std::string base_name(const std::string& path) { return base_of(path); }

std::string sibling_path(const std::string& path, const std::string& file) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? file : path.substr(0, slash + 1) + file;
}

int replace_file(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

void remove_file(const std::string& path) { ::unlink(path.c_str()); }

std::string error_text(int error) { return std::strerror(error); }

// ---- the process ----

namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// The files to remove when a signal ends the run. Changed only while the signals are blocked,
// so the handler never sees it half changed.
std::vector<std::string>& doomed_files() {
  static std::vector<std::string> files;
  return files;
}

sigset_t ending_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int s : kEndingSignals) sigaddset(&set, s);
  return set;
}

extern "C" void remove_files_and_end(int signal_number) {
  for (const std::string& path : doomed_files()) ::unlink(path.c_str());
  // The handler was reset to the default when it was entered: the signal, raised again, ends
  // the process with its usual status once this handler returns.
  ::raise(signal_number);
}

void install_handlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (const int s : kEndingSignals) {
    struct sigaction old;
    if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = remove_files_and_end;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    ::sigaction(s, &action, nullptr);
  }
}

}  // namespace

void open_closed_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is taken, and every one below this is open.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) ::close(opened);
  }
}

unsigned long process_id() { return static_cast<unsigned long>(::getpid()); }

void remove_on_signal(const std::string& path) {
  const sigset_t set = ending_signals();
  sigset_t old;
  ::sigprocmask(SIG_BLOCK, &set, &old);
  install_handlers();
  doomed_files().push_back(path);
  ::sigprocmask(SIG_SETMASK, &old, nullptr);
}

void keep_on_signal(const std::string& path) {
  const sigset_t set = ending_signals();
  sigset_t old;
  ::sigprocmask(SIG_BLOCK, &set, &old);
  auto& files = doomed_files();
  for (auto it = files.begin(); it != files.end(); ++it) {
    if (*it == path) {
      files.erase(it);
      break;
    }
  }
  ::sigprocmask(SIG_SETMASK, &old, nullptr);
}

void hold_signals() {
  const sigset_t set = ending_signals();
  ::sigprocmask(SIG_BLOCK, &set, nullptr);
}

void release_signals() {
  const sigset_t set = ending_signals();
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

}  // namespace tpjconv::platform
