// A library for LD_PRELOAD that counts the system calls a run of tpjconv makes through the C
// library and fails chosen ones: built for the tests only. It acts in a process named tpjconv
// alone, so that a setpriv or shell in front of the tool is left alone.
//
//   TPJCONV_FAULTS=RULE[,RULE...]   RULE is CALL:N[:TIMES[:WHAT]]: from the Nth call of CALL
//                                   on (counted from 1), TIMES calls (default 1; 0: every one
//                                   from then on) fail with errno WHAT (a name such as EIO;
//                                   default: the usual error of that call), or, when WHAT is
//                                   SIGTERM, SIGINT, SIGKILL or SIGSTOP, the process gets that
//                                   signal and the call goes on (after SIGCONT, for SIGSTOP): a
//                                   test stops a run at a chosen call that way. CALL is one of the names below, or * for
//                                   every call counted.
//   TPJCONV_FAULT_COUNT=FILE        the number of calls counted, written at exit
//   TPJCONV_FAULT_LOG=FILE          one line for each call failed: "N CALL ERRNO"
//   TPJCONV_HOST_NAME=NAME          the name gethostname gives (when that call is not failed)
//
// Calls: open (open, openat and their 64 forms), create (an open with O_CREAT and O_EXCL, also
// counted as open), read, write, close, stat, lstat, fstat, rename, link, unlink, fchmod, fchown,
// flock, readlink, access, opendir, ftruncate, lseek, kill, gethostname, pthread_create.
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Rule {
  char call[32] = {};
  long first = 0;
  long times = 1;  // 0: no end
  int error = 0;   // 0: the call's usual error
  int signal = 0;
  std::atomic<long> seen{0};
};

constexpr int kMaxRules = 8;
Rule rules[kMaxRules];
int rule_count = 0;
std::atomic<long> total{0};
bool active = false;
const char* count_file = nullptr;
const char* log_file = nullptr;
const char* host_name = nullptr;

int error_named(const char* name) {
  static const struct {
    const char* name;
    int value;
  } kErrors[] = {{"EIO", EIO},       {"ENOSPC", ENOSPC}, {"EPERM", EPERM},   {"EACCES", EACCES},
                 {"EBUSY", EBUSY},   {"EEXIST", EEXIST}, {"EAGAIN", EAGAIN}, {"ENOLCK", ENOLCK},
                 {"EXDEV", EXDEV},   {"EMLINK", EMLINK}, {"EROFS", EROFS},   {"ENOENT", ENOENT},
                 {"EINTR", EINTR},   {"EDQUOT", EDQUOT}, {"ENOMEM", ENOMEM}, {"EMFILE", EMFILE},
                 {"EINVAL", EINVAL}, {"ENOTSUP", ENOTSUP}, {"EOPNOTSUPP", EOPNOTSUPP},
                 {"ENOSYS", ENOSYS}, {"ESPIPE", ESPIPE}};
  for (const auto& e : kErrors) {
    if (std::strcmp(e.name, name) == 0) return e.value;
  }
  return 0;
}

int signal_named(const char* name) {
  if (std::strcmp(name, "SIGTERM") == 0) return SIGTERM;
  if (std::strcmp(name, "SIGINT") == 0) return SIGINT;
  if (std::strcmp(name, "SIGKILL") == 0) return SIGKILL;
  if (std::strcmp(name, "SIGSTOP") == 0) return SIGSTOP;
  return 0;
}

// Writes without going through the calls counted here.
void raw_write_file(const char* path, const char* text, bool append) {
  const int fd = static_cast<int>(syscall(SYS_openat, AT_FDCWD, path,
                                          O_WRONLY | O_CREAT | O_CLOEXEC |
                                              (append ? O_APPEND : O_TRUNC),
                                          0666));
  if (fd < 0) return;
  syscall(SYS_write, fd, text, std::strlen(text));
  syscall(SYS_close, fd);
}

__attribute__((constructor)) void set_up() {
  if (std::strcmp(program_invocation_short_name, "tpjconv") != 0) return;
  active = true;
  count_file = std::getenv("TPJCONV_FAULT_COUNT");
  log_file = std::getenv("TPJCONV_FAULT_LOG");
  host_name = std::getenv("TPJCONV_HOST_NAME");
  const char* setting = std::getenv("TPJCONV_FAULTS");
  if (setting == nullptr) return;
  char text[512];
  std::snprintf(text, sizeof text, "%s", setting);
  char* save = nullptr;
  for (char* item = strtok_r(text, ",", &save); item != nullptr && rule_count < kMaxRules;
       item = strtok_r(nullptr, ",", &save)) {
    Rule& rule = rules[rule_count];
    char* part_save = nullptr;
    const char* call = strtok_r(item, ":", &part_save);
    const char* first = strtok_r(nullptr, ":", &part_save);
    const char* times = strtok_r(nullptr, ":", &part_save);
    const char* what = strtok_r(nullptr, ":", &part_save);
    if (call == nullptr || first == nullptr) continue;
    std::snprintf(rule.call, sizeof rule.call, "%s", call);
    rule.first = std::atol(first);
    if (times != nullptr) rule.times = std::atol(times);
    if (what != nullptr) {
      rule.error = error_named(what);
      rule.signal = signal_named(what);
    }
    ++rule_count;
  }
}

__attribute__((destructor)) void tear_down() {
  if (!active || count_file == nullptr) return;
  char text[32];
  std::snprintf(text, sizeof text, "%ld\n", total.load());
  raw_write_file(count_file, text, false);
}

// Counts a call of `call` (and of `also`, when given); the errno it is to fail with, or 0.
int fault(const char* call, int usual, const char* also = nullptr) {
  if (!active) return 0;
  const long n = ++total;
  for (int i = 0; i < rule_count; ++i) {
    Rule& rule = rules[i];
    const bool star = std::strcmp(rule.call, "*") == 0;
    if (!star && std::strcmp(rule.call, call) != 0 &&
        (also == nullptr || std::strcmp(rule.call, also) != 0)) {
      continue;
    }
    const long k = star ? n : ++rule.seen;
    if (k < rule.first || (rule.times != 0 && k >= rule.first + rule.times)) continue;
    if (rule.signal != 0) {
      ::kill(getpid(), rule.signal);
      continue;
    }
    const int error = rule.error != 0 ? rule.error : usual;
    if (log_file != nullptr) {
      char line[96];
      std::snprintf(line, sizeof line, "%ld %s %s\n", n, also != nullptr ? also : call,
                    strerrorname_np(error));
      raw_write_file(log_file, line, true);
    }
    return error;
  }
  return 0;
}

template <typename F>
F real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

int mode_of(int flags, va_list& args) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, int) : 0;
}

int open_fault(int flags) {
  const bool create = (flags & O_CREAT) != 0 && (flags & O_EXCL) != 0;
  return fault("open", (flags & O_CREAT) != 0 ? ENOSPC : EIO, create ? "create" : nullptr);
}

}  // namespace

#define FAIL_WITH(error, value) \
  do {                          \
    errno = (error);            \
    return (value);             \
  } while (0)

extern "C" {

int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int mode = mode_of(flags, args);
  va_end(args);
  if (const int e = open_fault(flags)) FAIL_WITH(e, -1);
  return real<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int mode = mode_of(flags, args);
  va_end(args);
  if (const int e = open_fault(flags)) FAIL_WITH(e, -1);
  return real<int (*)(const char*, int, ...)>("open64")(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int mode = mode_of(flags, args);
  va_end(args);
  if (const int e = open_fault(flags)) FAIL_WITH(e, -1);
  return real<int (*)(int, const char*, int, ...)>("openat")(dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int mode = mode_of(flags, args);
  va_end(args);
  if (const int e = open_fault(flags)) FAIL_WITH(e, -1);
  return real<int (*)(int, const char*, int, ...)>("openat64")(dir, path, flags, mode);
}

ssize_t read(int fd, void* buffer, size_t size) {
  if (const int e = fault("read", EIO)) FAIL_WITH(e, -1);
  return real<ssize_t (*)(int, void*, size_t)>("read")(fd, buffer, size);
}

ssize_t write(int fd, const void* data, size_t size) {
  if (const int e = fault("write", ENOSPC)) FAIL_WITH(e, -1);
  return real<ssize_t (*)(int, const void*, size_t)>("write")(fd, data, size);
}

int close(int fd) {
  if (const int e = fault("close", EIO)) {
    // A close that fails still releases the descriptor.
    real<int (*)(int)>("close")(fd);
    FAIL_WITH(e, -1);
  }
  return real<int (*)(int)>("close")(fd);
}

int stat(const char* path, struct stat* info) {
  if (const int e = fault("stat", EIO)) FAIL_WITH(e, -1);
  return real<int (*)(const char*, struct stat*)>("stat")(path, info);
}

int lstat(const char* path, struct stat* info) {
  if (const int e = fault("lstat", EIO)) FAIL_WITH(e, -1);
  return real<int (*)(const char*, struct stat*)>("lstat")(path, info);
}

int fstat(int fd, struct stat* info) {
  if (const int e = fault("fstat", EIO)) FAIL_WITH(e, -1);
  return real<int (*)(int, struct stat*)>("fstat")(fd, info);
}

int stat64(const char* path, struct stat64* info) {
  if (const int e = fault("stat", EIO)) FAIL_WITH(e, -1);
  return real<int (*)(const char*, struct stat64*)>("stat64")(path, info);
}

int lstat64(const char* path, struct stat64* info) {
  if (const int e = fault("lstat", EIO)) FAIL_WITH(e, -1);
  return real<int (*)(const char*, struct stat64*)>("lstat64")(path, info);
}

int fstat64(int fd, struct stat64* info) {
  if (const int e = fault("fstat", EIO)) FAIL_WITH(e, -1);
  return real<int (*)(int, struct stat64*)>("fstat64")(fd, info);
}

int rename(const char* from, const char* to) {
  if (const int e = fault("rename", EBUSY)) FAIL_WITH(e, -1);
  return real<int (*)(const char*, const char*)>("rename")(from, to);
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  if (const int e = fault("rename", EBUSY)) FAIL_WITH(e, -1);
  return real<int (*)(int, const char*, int, const char*)>("renameat")(from_dir, from, to_dir, to);
}

int link(const char* existing, const char* name) {
  if (const int e = fault("link", EIO)) FAIL_WITH(e, -1);
  return real<int (*)(const char*, const char*)>("link")(existing, name);
}

int linkat(int from_dir, const char* existing, int to_dir, const char* name, int flags) {
  if (const int e = fault("link", EIO)) FAIL_WITH(e, -1);
  return real<int (*)(int, const char*, int, const char*, int)>("linkat")(from_dir, existing,
                                                                          to_dir, name, flags);
}

int unlink(const char* path) {
  if (const int e = fault("unlink", EIO)) FAIL_WITH(e, -1);
  return real<int (*)(const char*)>("unlink")(path);
}

int unlinkat(int dir, const char* path, int flags) {
  if (const int e = fault("unlink", EIO)) FAIL_WITH(e, -1);
  return real<int (*)(int, const char*, int)>("unlinkat")(dir, path, flags);
}

int fchmod(int fd, mode_t mode) {
  if (const int e = fault("fchmod", EPERM)) FAIL_WITH(e, -1);
  return real<int (*)(int, mode_t)>("fchmod")(fd, mode);
}

int fchown(int fd, uid_t owner, gid_t group) {
  if (const int e = fault("fchown", EPERM)) FAIL_WITH(e, -1);
  return real<int (*)(int, uid_t, gid_t)>("fchown")(fd, owner, group);
}

int flock(int fd, int operation) {
  if (const int e = fault("flock", ENOLCK)) FAIL_WITH(e, -1);
  return real<int (*)(int, int)>("flock")(fd, operation);
}

ssize_t readlink(const char* path, char* buffer, size_t size) {
  if (const int e = fault("readlink", EIO)) FAIL_WITH(e, -1);
  return real<ssize_t (*)(const char*, char*, size_t)>("readlink")(path, buffer, size);
}

int access(const char* path, int what) {
  if (const int e = fault("access", EIO)) FAIL_WITH(e, -1);
  return real<int (*)(const char*, int)>("access")(path, what);
}

int faccessat(int dir, const char* path, int what, int flags) {
  if (const int e = fault("access", EIO)) FAIL_WITH(e, -1);
  return real<int (*)(int, const char*, int, int)>("faccessat")(dir, path, what, flags);
}

DIR* opendir(const char* path) {
  if (const int e = fault("opendir", EIO)) FAIL_WITH(e, nullptr);
  return real<DIR* (*)(const char*)>("opendir")(path);
}

int ftruncate(int fd, off_t size) {
  if (const int e = fault("ftruncate", EIO)) FAIL_WITH(e, -1);
  return real<int (*)(int, off_t)>("ftruncate")(fd, size);
}

int ftruncate64(int fd, off64_t size) {
  if (const int e = fault("ftruncate", EIO)) FAIL_WITH(e, -1);
  return real<int (*)(int, off64_t)>("ftruncate64")(fd, size);
}

off_t lseek(int fd, off_t offset, int whence) {
  if (const int e = fault("lseek", EIO)) FAIL_WITH(e, -1);
  return real<off_t (*)(int, off_t, int)>("lseek")(fd, offset, whence);
}

off64_t lseek64(int fd, off64_t offset, int whence) {
  if (const int e = fault("lseek", EIO)) FAIL_WITH(e, -1);
  return real<off64_t (*)(int, off64_t, int)>("lseek64")(fd, offset, whence);
}

int kill(pid_t pid, int signal_number) {
  // The signals this library sends itself are not counted.
  if (pid != getpid()) {
    if (const int e = fault("kill", EPERM)) FAIL_WITH(e, -1);
  }
  return real<int (*)(pid_t, int)>("kill")(pid, signal_number);
}

int gethostname(char* name, size_t size) {
  if (const int e = fault("gethostname", ENAMETOOLONG)) FAIL_WITH(e, -1);
  if (host_name != nullptr) {
    if (std::strlen(host_name) >= size) FAIL_WITH(ENAMETOOLONG, -1);
    std::memcpy(name, host_name, std::strlen(host_name) + 1);
    return 0;
  }
  return real<int (*)(char*, size_t)>("gethostname")(name, size);
}

int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                   void* argument) {
  if (const int e = fault("pthread_create", EAGAIN)) return e;
  return real<int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*)>(
      "pthread_create")(thread, attributes, start, argument);
}

}  // extern "C"
