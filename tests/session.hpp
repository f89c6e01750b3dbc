#pragma once

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
// driven as a person at a console drives it: through pipes, through pipes
// set not to block (its output's holding a single page), or through a
// pseudo-terminal that is its standard input, output and error (a console,
// where a Windows build under Wine draws it).  Each run
// is judged as it goes, and a fault throws at once, saying what it saw.
class Session {
public:
  enum class Mode { pipes, nonblocking, terminal, console };
  using Redirect = std::function<void()>; // run in the child once its streams are in place
  explicit Session(Mode mode = Mode::pipes, Redirect redirect = {},
                   std::vector<std::string> const &command = {});

  // Whether a wait for input can be told from /proc (Linux, a program not
  // run by Wine); elsewhere waits() takes a screen shown for a second as one.
  static bool tells_waits();
  static bool has_terminal(); // whether a pseudo-terminal can be had here

  ~Session();
  Session(Session const &) = delete;
  Session &operator=(Session const &) = delete;

  void type(std::string_view bytes) { pending_.append(bytes); }
  void close_input();
  // Runs until the program waits for input showing `screen` (true) or has
  // ended showing it (false).
  bool waits(std::string_view screen);
  // Runs until the program ends showing `screen`; gives its exit status, or
  // 128 + the signal.
  int end(std::string_view screen);
  std::size_t peak() const; // the most bytes the program has had mapped at once; 0 but on Linux

  std::string out{}; // standard output so far (the screen, on a terminal)
  // What the run shows, where not `out`: a file that a test sends it to.
  std::function<std::string()> shows{};
  std::string view() const; // `out`, what `shows` gives, or Wine's console as drawn

private:
  enum class Until { typed, waiting, ended };
  bool run(Until until, std::string_view screen = {});
  void collect(); // reads what it wrote
  bool blocked_on_input() const;
  void judge(std::string_view screen, bool whole);

  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1; // -1 once closed
  bool terminal_;
  std::string pending_{}; // typed, not yet sent
  std::string err_text_{};
  std::size_t fed_ = 0;    // bytes sent to it
  std::size_t judged_ = 0; // bytes of the view found as they should be
  int status_ = -1;
};

void open_as(int fd, char const *path, int flags); // in a child: `path` opened as its descriptor `fd`

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
