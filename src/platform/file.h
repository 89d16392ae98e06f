// Files as the operating system gives them. This header and its two sides, posix.cc and
// windows.cc, are the only code of the tool that speaks to the system about files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tpjconv {

// What one read or write moved, or the error (an errno value) that stopped it.
struct IoResult {
  std::size_t bytes = 0;
  int error = 0;
};

// Where a reader takes its bytes from: a file, or a stand-in that a test puts in its place.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to `size` bytes; no bytes and no error at the end of the input.
  virtual IoResult read(char* buffer, std::size_t size) = 0;
};

// Where a writer hands its bytes: a file, or a stand-in.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all of `data`, or stops at the first error.
  virtual IoResult write(const char* data, std::size_t size) = 0;
  // Closes the file; the errno of a failed close, or 0.
  virtual int close() = 0;
};

namespace platform {

// An open file, read and written as bytes: nothing is translated, line ends included. Closed
// when destroyed, unless it is one of the standard streams.
class File final : public ByteSource, public ByteSink {
 public:
  File() = default;
  File(File&& other) noexcept : fd_(other.fd_), owned_(other.owned_) { other.fd_ = -1; }
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = other.fd_;
      owned_ = other.owned_;
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

 private:
  friend struct Opener;
  File(int fd, bool owned) : fd_(fd), owned_(owned) {}

  int fd_ = -1;
  bool owned_ = true;
};

// A file opened by name, or the errno that kept it closed.
struct Opened {
  File file;
  int error = 0;
};

// Opens a file to read. A directory is no file to read: EISDIR.
Opened open_for_reading(const std::string& path);

// Opens a file to write, created with mode 0666 less the umask or emptied.
Opened open_for_writing(const std::string& path);

// Creates a file that must not exist yet. With `permissions` -1 it gets 0666 less the umask,
// otherwise exactly those permission bits.
Opened create_new(const std::string& path, int permissions);

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

// The file behind a standard stream (0, 1 or 2).
FileIdentity identify_standard(int stream);

// True when both name the same file that can be written: regular files and missing ones.
bool same_file(const FileIdentity& a, const FileIdentity& b);

// The name a chain of symbolic links ends at: where a new version of `path` has to be put so
// that the link keeps pointing to it. `path` itself when it is no link.
std::string link_target(const std::string& path);

// The permission bits of an existing file, or -1 when there is none.
int permissions_of(const std::string& path);

// True when an existing file may not be written by this process.
bool write_protected(const std::string& path);

// The last part of a name, and the name of `file` in the directory of `path`.
std::string base_name(const std::string& path);
std::string sibling_path(const std::string& path, const std::string& file);

// Puts `from` in the place of `to`, replacing it in one step. Returns 0 or the errno.
int replace_file(const std::string& from, const std::string& to);

// Removes a file; errors are ignored, there is nothing left to do about them.
void remove_file(const std::string& path);

// The system's text for an errno value.
std::string error_text(int error);

}  // namespace platform
}  // namespace tpjconv
