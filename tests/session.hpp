#pragma once

#include <spawn.h>
#include <sys/types.h>

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The program under test, and whether it is a Windows build run under Wine
// (ASKNAME_WINDOWS=1), whose text mode the manual page describes.
std::string env(char const *name); // the environment variable, or "" where it is unset
std::string program();
bool windows_build();

// One run of askname (the executable named by $ASKNAME, else the built one),
// driven as a person at a console drives it: through pipes, or through a
// pseudo-terminal that is its standard input, output and error.
class Session {
public:
  using Redirect = std::function<void(posix_spawn_file_actions_t &)>; // after the pipes are in place
  // `command` starts the program: by default, the program alone.
  static Session piped(Redirect const &redirect = {}, std::vector<std::string> const &command = {program()}) {
    return Session(false, redirect, command);
  }
  static Session on_terminal(Redirect const &redirect = {}) { return Session(true, redirect, {program()}); }

  // Whether a wait for input can be told (from Linux's /proc/PID/syscall, of
  // a program not run by Wine); elsewhere waits() sees only that it runs on.
  static bool tells_waits();
  static bool has_terminal(); // whether a pseudo-terminal can be had here

  ~Session();
  Session(Session const &) = delete;
  Session &operator=(Session const &) = delete;

  void type(std::string_view bytes) { pending_.append(bytes); }
  void close_input();
  // Runs until the program waits for input with `screen` shown (true) or has
  // ended (false).
  bool waits(std::string_view screen);
  // Runs until the program ends; gives its exit status, or 128 + the signal.
  int end();
  // The most bytes the running program has had mapped at once; 0 but on Linux.
  std::size_t peak() const;

  std::string out{}; // standard output so far (the screen, on a terminal)
  std::string err{}; // standard error so far
  // What the run shows, which waits() and the tests compare: `out`, Wine's
  // console as drawn, or what a test names, such as a file it writes to.
  std::function<std::string()> shows{};
  std::string view() const;

private:
  enum class Until { typed, waiting, ended };
  Session(bool terminal, Redirect const &redirect, std::vector<std::string> const &command);
  bool run(Until until, std::string_view screen = {});
  bool blocked_on_input() const;

  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1; // -1 once closed
  bool terminal_;
  std::string pending_{}; // typed, not yet sent
  std::size_t fed_ = 0;   // bytes it has been given through the pipe or terminal
  std::size_t read_ = 0;  // the furthest offset of its standard input seen
  int status_ = -1;
};

extern std::string const prompt;
// The whole output for `name`; with `echo`, the terminal's screen, on which
// what was typed at the prompt shows as `echo` and a line feed as CR LF.
std::string dialogue(std::string const &name, std::optional<std::string> const &echo = {});
std::string shown(std::string const &bytes); // printable, and short when long
// The text a terminal of 25 rows and 80 columns shows after `bytes`, as drawn
// by libvterm, less each row's trailing blanks and the empty rows at the end,
// a run of U+FFFD as one (converters differ in how many they write); nullopt
// without libvterm.
std::optional<std::string> drawn(std::string const &bytes);
std::array<int, 2> cloexec_pipe(); // a pipe no child inherits unasked
