#pragma once

#include <spawn.h>
#include <sys/types.h>

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// One run of askname (the executable named by $ASKNAME, else the built one),
// driven as a person at a console drives it.  Its standard input and output
// are pipes, or with `terminal` one pseudo-terminal for input, output and
// errors.
class Session {
public:
  using Redirect = std::function<void(posix_spawn_file_actions_t &)>;
  struct Options {
    std::vector<std::string> args;
    Redirect redirect; // applied after the pipes are in place
    bool terminal = false;
  };

  // Telling a wait for input from a run that goes on needs Linux's
  // /proc/PID/syscall, and a program that reads for itself rather than
  // through Wine; elsewhere the tests that ask it are skipped.
  static bool tells_waits();

  Session() : Session(Options{}) {}
  explicit Session(Options const &options);
  ~Session();
  Session(Session const &) = delete;
  Session &operator=(Session const &) = delete;

  void type(std::string_view bytes);
  void close_input();
  // Runs until the program waits for input (true) or has ended (false).  On a
  // terminal, the screen must first show `screen`: the terminal's own echo
  // reaches the program later than our bytes reach the terminal.
  bool waits(std::string_view screen = {});
  // Runs until the program ends; gives its exit status, or 128 + the signal.
  int end();
  // Lets the waiting program map at most `bytes` more memory (Linux only).
  void limit_memory(std::size_t bytes) const;

  std::string out{}; // standard output so far (the screen, on a terminal)
  std::string err{}; // standard error so far

private:
  enum class Until { typed, waiting, ended };
  bool run(Until until, std::string_view screen);
  pid_t reader() const;
  bool blocked_on_input() const;

  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
  bool terminal_ = false;
  bool out_open_ = true, err_open_ = true;
  std::string pending_{};
  std::size_t sent_ = 0; // of pending_
  int status_ = -1;
};

// Whether the program under test is a Windows build (ASKNAME_WINDOWS=1), run
// here under Wine: its text mode writes a line feed as CR LF, and a 0x1A byte
// ends its input.
bool windows_build();
std::string dialogue(std::string const &name); // the whole output for `name`
std::string shown(std::string const &bytes);   // printable, and short when long
std::array<int, 2> cloexec_pipe();             // a pipe no child inherits unasked
