// The process as the operating system gives it: its standard streams, its identity and the
// signals that end it. Implemented by posix.cc and windows.cc beside this header.
#pragma once

#include <string>

namespace tpjconv::platform {

// Opens the standard streams that are closed on the null device, so that no file the run
// opens later takes their place.
void open_closed_standard_streams();

// A number that no other running process has: part of the names of new files.
unsigned long process_id();

// The name of this machine, or empty when it cannot be had.
std::string host_name();

// The time now on this machine's clock, in its time zone, as ISO 8601 with the offset from UTC:
// "2026-12-07T10:08:09+01:00". Empty when the clock cannot be read.
std::string local_time();

// True unless process `id` is known to have ended on this machine.
bool process_runs(unsigned long id);

// The permission bits a new file loses (the umask); 0 on Windows.
int file_creation_mask();

// True when standard stream `stream` is a terminal.
bool is_terminal(int stream);

// Files that are removed when an interrupt, a termination request, a hang-up or a broken pipe
// ends the process, before it ends with the status of that signal. The list is kept here
// because the signal handler can reach nothing else.
void remove_on_signal(const std::string& path);
void keep_on_signal(const std::string& path);

// While held, those signals wait; released, a waiting one takes effect. Used around the step
// that puts every finished output in place, so that it happens whole or not at all.
void hold_signals();
void release_signals();

// Holds those signals while it lives.
class SignalsHeld {
 public:
  SignalsHeld() { hold_signals(); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;
  ~SignalsHeld() { release_signals(); }
};

}  // namespace tpjconv::platform
