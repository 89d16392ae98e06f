// Files as the operating system gives them. This header and its two sides, posix.cc and
// windows.cc, are the only code of the tool that speaks to the system about files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tpjconv/error.h"
#include "tpjconv/io.h"

namespace tpjconv {

namespace platform {

struct FileIdentity;

// An open file, read and written as bytes: nothing is translated, line ends included. Closed
// when destroyed, unless it is one of the standard streams.
class File final : public ByteSource, public ByteSink {
 public:
  File() = default;
  File(File&& other) noexcept : fd_(other.fd_), owned_(other.owned_), readable_(other.readable_) {
    other.fd_ = -1;
  }
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = other.fd_;
      owned_ = other.owned_;
      readable_ = other.readable_;
      other.fd_ = -1;
    }
    return *this;
  }
  ~File() override { close(); }

  // Standard input (0), output (1) or error (2); close() leaves it open.
  static File standard(int stream) { return File(stream, false); }

  bool is_open() const { return fd_ >= 0; }
  IoResult read(char* buffer, std::size_t size) override;
  IoResult write(const char* data, std::size_t size) override;
  int close() override;

  // Empties the file. Returns 0 or the errno.
  int truncate() { return truncate_to(0); }
  // Cuts the file to `size` bytes. Returns 0 or the errno.
  int truncate_to(std::uint64_t size);
  // Moves to the start of the file, where the next read or write begins. Returns 0 or the errno.
  int seek_start();
  // False for a file opened to be written only: its content cannot be read back.
  bool readable() const { return readable_; }
  // Gives the file an owner and a group. Returns 0 or the errno; Windows keeps no owners: 0.
  int set_owner(std::uint32_t owner, std::uint32_t group);
  // Sets the permission bits to `mode`. Returns 0 or the errno; 0 on Windows.
  int set_mode(int mode);
  // Clears the setuid and setgid bits where they are set. Returns 0 or the errno.
  int clear_set_id_bits();
  // True when this is the file behind standard stream `stream` (0, 1 or 2), of whatever kind.
  bool is_standard(int stream) const;

 private:
  friend struct Opener;
  friend class CommitLock;
  friend FileIdentity identify_open(const File& file);
  File(int fd, bool owned, bool readable = true) : fd_(fd), owned_(owned), readable_(readable) {}

  int fd_ = -1;
  bool owned_ = true;
  bool readable_ = true;
};

// Opens a file to read: the file, or the error (ErrorKind::open, the errno, the path, and the
// message "PATH: REASON"). A directory is no file to read: EISDIR, "is a directory".
Result<File> open_for_reading(const std::string& path);

// Opens a file to write where it stands, created with mode 0666 less the umask when missing, and
// not emptied: File::truncate() does that. The error is ErrorKind::create.
Result<File> open_in_place(const std::string& path);

// Opens an existing regular file to be written over where it stands, neither created nor
// emptied: read and written, or written only (File::readable() false) where it may not be read.
// The error is ErrorKind::create.
Result<File> open_to_rewrite(const std::string& path);

// Creates a file that must not exist yet, readable and writable by its owner only. The error is
// ErrorKind::create.
Result<File> create_new(const std::string& path);

// The error of a file `path` that could not be opened: "PATH: REASON", the reason of EISDIR
// being "is a directory".
Error open_error(ErrorKind kind, int error, const std::string& path);

enum class FileKind {
  missing,    // nothing there yet
  regular,
  special,    // terminal, device, FIFO, socket: may be named by several arguments
  directory,
};

// Which file a name stands for, once symbolic links are followed. An existing file is known by
// its device and index; a missing one by the device and index of its directory and its name.
struct FileIdentity {
  FileKind kind = FileKind::missing;
  std::uint64_t device = 0;
  std::uint64_t index = 0;
  std::string name;  // a missing file's name in its directory
  bool known = false;  // false: neither the file nor its directory could be found
};

FileIdentity identify(const std::string& path);

// The file behind a standard stream (0, 1 or 2), and an open file.
FileIdentity identify_standard(int stream);
FileIdentity identify_open(const File& file);

// True when both name the same file that can be written: regular files and missing ones.
bool same_file(const FileIdentity& a, const FileIdentity& b);

// The name a chain of symbolic links ends at: where a new version of `path` has to be put so
// that the link keeps pointing to it. `path` itself when it is no link. When a link on the way
// cannot be looked at or read, `*error` (when given) gets the errno and the name returned is
// the last one reached; a link to a name that does not exist yet is no error.
std::string link_target(const std::string& path, int* error = nullptr);

// What a run must know of an output's name before it opens anything: the file the name stands for,
// and whether a new file may take its place.
struct OutputFacts {
  int error = 0;  // errno: the name or its directory cannot be looked at, or names a directory
  bool link_error = false;  // `error` came from a symbolic link on the way that could not be read
  FileKind kind = FileKind::missing;
  // False: the name cannot be replaced by another file (a device, a FIFO, a link whose text names
  // no path to its file); it is written where it stands.
  bool replaceable = true;
  std::string target;     // the name to replace: where a chain of symbolic links ends
  std::string directory;  // the directory of `target`
  std::uint64_t directory_device = 0;
  std::uint64_t directory_index = 0;
  bool may_add = false;        // files may be created in, and renamed within, the directory
  bool may_write = true;       // the existing file may be written by this process
  bool may_own = true;         // a new file may get the existing file's owner and group
  bool rename_refused = false; // a sticky directory keeps the existing file from being replaced
  std::uint32_t owner = 0;     // of the existing file
  std::uint32_t group = 0;
  int mode = -1;               // permission bits of the existing file (07777), -1 when none
  // The existing file has more than one name (hard links), or an access ACL: a new file in its
  // place would break the links or lose the ACL, so it is written over where it stands.
  bool keep_file = false;
  std::uint64_t device = 0;    // of the existing file
  std::uint64_t index = 0;
};
OutputFacts look_at_output(const std::string& path);

// The last part of a name, and the name of `file` in the directory of `path`.
std::string base_name(const std::string& path);
std::string sibling_path(const std::string& path, const std::string& file);

// Puts `from` in the place of `to`, replacing it in one step. Returns 0 or the errno.
int replace_file(const std::string& from, const std::string& to);

// Gives the existing file `existing` the second name `name` (a hard link). Returns 0 or the
// errno; link_unsupported() tells the errors that mean the filesystem makes no such links.
int make_link(const std::string& existing, const std::string& name);
bool link_unsupported(int error);

// Removes a file. Returns 0 or the errno.
int remove_file(const std::string& path);

// The names in a directory, "." and ".." left out, or the errno that kept it from being read.
struct Listing {
  std::vector<std::string> names;
  int error = 0;
};
Listing list_directory(const std::string& directory);

// An advisory lock on a directory, or on a file written over where it stands, which every run
// of the tool takes before it puts files in place there: runs on the same outputs put them in
// place one at a time. Released when destroyed.
class CommitLock {
 public:
  // What try_directory() and try_file() return while another process holds the lock.
  static constexpr int kBusy = -1;

  CommitLock() = default;
  CommitLock(const CommitLock&) = delete;
  CommitLock& operator=(const CommitLock&) = delete;
  CommitLock(CommitLock&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }
  ~CommitLock();

  // Tries once, without waiting. Returns 0 when the lock is had, kBusy, or the errno of a
  // failure; a filesystem that keeps no locks, or a directory this process may not read, is no
  // failure: the run goes on without.
  int try_directory(const std::string& directory);
  int try_file(const File& file);

 private:
  std::intptr_t handle_ = -1;
};

// The system's directory for temporary files ($TMPDIR, else /tmp; on Windows its temp folder),
// and a name `file` in it.
std::string temporary_path(const std::string& file);

// The system's text for an errno value.
std::string error_text(int error);

}  // namespace platform
}  // namespace tpjconv
