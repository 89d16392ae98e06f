// The POSIX side of the platform unit: descriptors, file identities, renames and signals.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "text/iso_time.h"
#include "platform/process.h"
#include "text/printable.h"

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
  static File make(int fd, bool owned, bool readable = true) { return File(fd, owned, readable); }
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

Result<File> open_for_reading(const std::string& path) {
  const int fd = open_retrying(path.c_str(), O_RDONLY, 0);
  if (fd < 0) return open_error(ErrorKind::open, errno, path);
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    return open_error(ErrorKind::open, EISDIR, path);
  }
  return Opener::make(fd, true);
}

Result<File> open_in_place(const std::string& path) {
  const int fd = open_retrying(path.c_str(), O_WRONLY | O_CREAT, 0666);
  if (fd < 0) return open_error(ErrorKind::create, errno, path);
  return Opener::make(fd, true);
}

Result<File> open_to_rewrite(const std::string& path) {
  bool readable = true;
  int fd = open_retrying(path.c_str(), O_RDWR, 0);
  if (fd < 0 && errno == EACCES) {
    readable = false;
    fd = open_retrying(path.c_str(), O_WRONLY, 0);
  }
  if (fd < 0) return open_error(ErrorKind::create, errno, path);
  return Opener::make(fd, true, readable);
}

Result<File> create_new(const std::string& path) {
  const int fd = open_retrying(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (fd < 0) return open_error(ErrorKind::create, errno, path);
  return Opener::make(fd, true);
}

int File::truncate_to(std::uint64_t size) {
  for (;;) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) == 0) return 0;
    if (errno != EINTR) return errno;
  }
}

int File::seek_start() { return ::lseek(fd_, 0, SEEK_SET) == 0 ? 0 : errno; }

// Both leave a file that already has what is asked alone: a filesystem that keeps no owners or
// modes of its own (a FAT volume, say) may refuse even a change to the same values.
int File::set_owner(std::uint32_t owner, std::uint32_t group) {
  struct stat info;
  if (::fstat(fd_, &info) != 0) return errno;
  if (info.st_uid == static_cast<uid_t>(owner) && info.st_gid == static_cast<gid_t>(group)) {
    return 0;
  }
  return ::fchown(fd_, static_cast<uid_t>(owner), static_cast<gid_t>(group)) == 0 ? 0 : errno;
}

int File::set_mode(int mode) {
  struct stat info;
  if (::fstat(fd_, &info) != 0) return errno;
  if ((info.st_mode & 07777) == static_cast<mode_t>(mode)) return 0;
  return ::fchmod(fd_, static_cast<mode_t>(mode)) == 0 ? 0 : errno;
}

int File::clear_set_id_bits() {
  struct stat info;
  if (::fstat(fd_, &info) != 0) return errno;
  if ((info.st_mode & (S_ISUID | S_ISGID)) == 0) return 0;
  return set_mode(static_cast<int>(info.st_mode & 07777 & ~(S_ISUID | S_ISGID)));
}

bool File::is_standard(int stream) const {
  struct stat mine, standard;
  if (::fstat(fd_, &mine) != 0 || ::fstat(stream, &standard) != 0) return false;
  return mine.st_dev == standard.st_dev && mine.st_ino == standard.st_ino;
}

std::string link_target(const std::string& path, int* error) {
  std::string current = path;
  // A loop of links ends the search; opening the name then fails on its own.
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info;
    if (::lstat(current.c_str(), &info) != 0) {
      // A link to a name that does not exist yet points where the new file goes.
      if (errno != ENOENT && error != nullptr) *error = errno;
      return current;
    }
    if (!S_ISLNK(info.st_mode)) return current;
    std::string target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 256), '\0');
    for (;;) {
      const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
      if (n < 0) {
        if (error != nullptr) *error = errno;
        return current;
      }
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

FileIdentity identify_open(const File& file) {
  struct stat info;
  if (::fstat(file.fd_, &info) != 0) return {};
  return identity_of(info);
}

bool same_file(const FileIdentity& a, const FileIdentity& b) {
  if (!a.known || !b.known || a.kind != b.kind) return false;
  if (a.kind != FileKind::regular && a.kind != FileKind::missing) return false;
  return a.device == b.device && a.index == b.index && a.name == b.name;
}

namespace {

// The answer of access(2) for this process's effective user: 1 allowed, 0 refused, or -errno
// when the question could not be answered.
int allowed(const std::string& path, int what) {
  if (::faccessat(AT_FDCWD, path.c_str(), what, AT_EACCESS) == 0) return 1;
  // A read-only filesystem is said as such, not as a refusal.
  if (errno == EACCES || errno == EPERM || errno == ETXTBSY) return 0;
  return -errno;
}

bool in_my_groups(gid_t group) {
  if (group == ::getegid()) return true;
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int got = ::getgroups(count, groups.data());
  for (int i = 0; i < got; ++i) {
    if (groups[static_cast<std::size_t>(i)] == group) return true;
  }
  return false;
}

// True when the file carries a POSIX access ACL (more than its permission bits say).
bool has_access_acl(const std::string& path) {
  return ::getxattr(path.c_str(), "system.posix_acl_access", nullptr, 0) > 0;
}

}  // namespace

OutputFacts look_at_output(const std::string& path) {
  OutputFacts facts;
  if (path.empty() || path.back() == '/') {
    facts.error = path.empty() ? ENOENT : EISDIR;
    return facts;
  }
  struct stat info;
  if (::stat(path.c_str(), &info) == 0) {
    facts.kind = kind_of(info.st_mode);
    facts.device = static_cast<std::uint64_t>(info.st_dev);
    facts.index = static_cast<std::uint64_t>(info.st_ino);
  } else if (errno != ENOENT) {
    facts.error = errno;
    return facts;
  }
  if (facts.kind == FileKind::directory) {
    facts.error = EISDIR;
    return facts;
  }
  if (facts.kind == FileKind::special) {
    facts.replaceable = false;
    return facts;
  }
  int link_error = 0;
  facts.target = link_target(path, &link_error);
  if (link_error != 0) {
    // Replacing the link itself would cut it from its file.
    facts.error = link_error;
    facts.link_error = true;
    return facts;
  }
  if (facts.kind == FileKind::regular) {
    // A link whose text names no path to the same file (a descriptor of /proc, say) cannot be
    // replaced by name.
    struct stat at_target;
    if (::stat(facts.target.c_str(), &at_target) != 0 || at_target.st_dev != info.st_dev ||
        at_target.st_ino != info.st_ino) {
      facts.replaceable = false;
      return facts;
    }
  }
  facts.directory = directory_of(facts.target);
  struct stat directory;
  if (::stat(facts.directory.c_str(), &directory) != 0) {
    facts.error = errno;
    return facts;
  }
  if (!S_ISDIR(directory.st_mode)) {
    facts.error = ENOTDIR;
    return facts;
  }
  facts.directory_device = static_cast<std::uint64_t>(directory.st_dev);
  facts.directory_index = static_cast<std::uint64_t>(directory.st_ino);
  const int may_add = allowed(facts.directory, W_OK | X_OK);
  if (may_add < 0) {
    facts.error = -may_add;
    return facts;
  }
  facts.may_add = may_add == 1;
  if (facts.kind != FileKind::regular) return facts;
  facts.owner = static_cast<std::uint32_t>(info.st_uid);
  facts.group = static_cast<std::uint32_t>(info.st_gid);
  facts.mode = static_cast<int>(info.st_mode & 07777);
  facts.keep_file = info.st_nlink > 1 || has_access_acl(facts.target);
  const int may_write = allowed(facts.target, W_OK);
  if (may_write < 0) {
    facts.error = -may_write;
    return facts;
  }
  facts.may_write = may_write == 1;
  const uid_t me = ::geteuid();
  const bool root = me == 0;
  facts.may_own = root || (info.st_uid == me && in_my_groups(info.st_gid));
  facts.rename_refused = (directory.st_mode & S_ISVTX) != 0 && !root && info.st_uid != me &&
                         directory.st_uid != me;
  return facts;
}

std::string base_name(const std::string& path) { return base_of(path); }

std::string sibling_path(const std::string& path, const std::string& file) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? file : path.substr(0, slash + 1) + file;
}

int replace_file(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int make_link(const std::string& existing, const std::string& name) {
  return ::link(existing.c_str(), name.c_str()) == 0 ? 0 : errno;
}

bool link_unsupported(int error) {
  return error == EPERM || error == EXDEV || error == EMLINK || error == ENOTSUP ||
         error == EOPNOTSUPP || error == ENOSYS;
}

int remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

Listing list_directory(const std::string& directory) {
  Listing listing;
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) {
    listing.error = errno;
    return listing;
  }
  for (;;) {
    errno = 0;
    const struct dirent* entry = ::readdir(dir);
    if (entry == nullptr) {
      listing.error = errno;
      break;
    }
    const std::string name = entry->d_name;
    if (name != "." && name != "..") listing.names.push_back(name);
  }
  ::closedir(dir);
  return listing;
}

CommitLock::~CommitLock() {
  if (handle_ < 0) return;
  // The descriptor may share its lock with another (a file written in place): released first.
  ::flock(static_cast<int>(handle_), LOCK_UN);
  ::close(static_cast<int>(handle_));
}

namespace {

// Tries the lock on `fd`, which it closes unless the lock is had. Returns 0 with *held set, or
// CommitLock::kBusy, or the errno; a filesystem without locks (some network filesystems) is no
// failure.
int try_flock(int fd, std::intptr_t* held) {
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      *held = fd;
      return 0;
    }
    const int error = errno;
    if (error == EINTR) continue;
    ::close(fd);
    if (error == EWOULDBLOCK) return CommitLock::kBusy;
    return error == ENOLCK || error == EOPNOTSUPP || error == EINVAL ? 0 : error;
  }
}

}  // namespace

int CommitLock::try_directory(const std::string& directory) {
  const int fd = open_retrying(directory.c_str(), O_RDONLY | O_DIRECTORY, 0);
  if (fd < 0) {
    // A directory this process may not read cannot be locked by it: the run goes on without.
    return errno == EACCES ? 0 : errno;
  }
  return try_flock(fd, &handle_);
}

int CommitLock::try_file(const File& file) {
  // A descriptor of its own, sharing the file's open description and so its lock.
  const int fd = ::fcntl(file.fd_, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return errno;
  return try_flock(fd, &handle_);
}

std::string temporary_path(const std::string& file) {
  const char* directory = ::getenv("TMPDIR");
  std::string path = directory != nullptr && directory[0] == '/' ? directory : "/tmp";
  if (path.back() != '/') path += '/';
  return path + file;
}

std::string error_text(int error) { return std::strerror(error); }

Error open_error(ErrorKind kind, int error, const std::string& path) {
  return Error{kind, error, path, 0,
               printable(path) + ": " + (error == EISDIR ? "is a directory" : error_text(error))};
}

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

std::string local_time() {
  const time_t now = ::time(nullptr);
  struct tm local {};
  if (now == static_cast<time_t>(-1) || ::localtime_r(&now, &local) == nullptr) return "";
  return iso_time(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, local.tm_gmtoff / 60);
}

std::string host_name() {
  std::string name(256, '\0');
  if (::gethostname(name.data(), name.size()) != 0) return {};
  name.resize(std::strlen(name.c_str()));
  return name;
}

bool process_runs(unsigned long id) {
  // 0 and numbers beyond a pid would name a group of processes, or none.
  if (id == 0 || id > static_cast<unsigned long>(INT_MAX)) return true;
  return ::kill(static_cast<pid_t>(id), 0) == 0 || errno != ESRCH;
}

int file_creation_mask() {
  // Read where the system shows it, so that the mask is never changed, not even for a moment in
  // which another thread of the process creates a file.
  const int fd = open_retrying("/proc/self/status", O_RDONLY, 0);
  if (fd >= 0) {
    std::string status(4096, '\0');
    std::size_t size = 0;
    for (ssize_t got = 0; size < status.size(); size += static_cast<std::size_t>(got)) {
      got = ::read(fd, status.data() + size, status.size() - size);
      if (got <= 0) break;
    }
    ::close(fd);
    status.resize(size);
    const std::size_t at = status.find("\nUmask:");
    if (at != std::string::npos) {
      int mask = 0;
      std::size_t i = at + 8;
      while (i < status.size() && (status[i] == ' ' || status[i] == '\t')) ++i;
      const std::size_t first = i;
      for (; i < status.size() && status[i] >= '0' && status[i] <= '7'; ++i) {
        mask = mask * 8 + (status[i] - '0');
      }
      if (i > first) return mask & 0777;
    }
  }
  // Where the system does not show it, it is read by setting it and setting it back.
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return static_cast<int>(mask);
}

bool is_terminal(int stream) { return ::isatty(stream) == 1; }

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
