#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#ifdef ASKNAME_VTERM
#include <vterm.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

inline void check(bool ok, std::string const &what) {
  if (!ok) {
    throw std::runtime_error(what);
  }
}

// The environment variable, or "" where it is unset; the program under test,
// never its source: the one $ASKNAME names, else the built one; and whether it
// is a Windows build run under Wine (ASKNAME_WINDOWS=1), whose text mode the
// manual page describes.
inline std::string env(char const *name) { return std::getenv(name) != nullptr ? std::getenv(name) : ""; }
inline std::string program() { return env("ASKNAME").empty() ? ASKNAME_EXE : env("ASKNAME"); }
inline bool windows_build() { return env("ASKNAME_WINDOWS") == "1"; }

inline std::string proc(pid_t pid, std::string const &file) {
  return "/proc/" + std::to_string(pid) + "/" + file;
}

// The system call a process sleeps in, as /proc/PID/syscall shows it: its
// number and arguments, in hexadecimal; "running" where it runs.
inline std::vector<std::string> call_of(std::string const &path) {
  std::ifstream file(path);
  return {std::istream_iterator<std::string>(file), std::istream_iterator<std::string>()};
}

// The number /proc gives read, learnt from this process's own, so that where
// qemu runs a program it is the host's: a read of /proc/self/syscall shows
// that read itself.  "" without /proc.
inline std::string read_call() {
  static auto const call = call_of("/proc/self/syscall");
  return call.empty() ? "" : call[0];
}

// Field `n` of /proc/PID/stat (3 is the state); "" where there is none.
inline std::string stat_of(pid_t pid, int n) {
  std::ifstream stat(proc(pid, "stat"));
  std::string word;
  std::getline(stat, word, ')'); // the name, which has no ')' in the programs looked at
  for (int at = 2; at < n && stat >> word; ++at) {
  }
  return stat ? word : "";
}

// The CPU time of a process so far, in clock ticks; 0 where it cannot be read.
inline long cpu_of(pid_t pid) {
  return std::atol(stat_of(pid, 14).c_str()) + std::atol(stat_of(pid, 15).c_str());
}

// Whether a program, or for a Windows build one of Wine's processes, on
// whose server and services it waits, runs or waits only for a CPU or a
// disk, which a slow machine delays but never turns into idleness.  Wine's
// CPU time does not count: its services wake now and then whatever the
// program does.
inline bool runs_or_ready(pid_t pid) {
  bool runs = false;
  auto const add = [&](pid_t each) {
    std::string const state = stat_of(each, 3);
    runs = runs || state == "R" || state == "D";
  };
  add(pid);
  std::unique_ptr<DIR, int (*)(DIR *)> const dir(windows_build() ? opendir("/proc") : nullptr, closedir);
  while (dirent const *entry = dir ? readdir(dir.get()) : nullptr) {
    std::ifstream file(std::string("/proc/") + entry->d_name + "/comm");
    std::string name;
    static std::regex const names("^wineserver|\\.exe$");
    if (std::getline(file, name) && std::regex_search(name, names) && std::atoi(entry->d_name) != pid) {
      add(std::atoi(entry->d_name));
    }
  }
  return runs;
}

// A pseudo-terminal's own side, its other side ready to be opened; -1 where none can be had.
inline int open_terminal() {
  int const fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd >= 0 && (grantpt(fd) != 0 || unlockpt(fd) != 0)) {
    close(fd);
    return -1;
  }
  return fd;
}

inline std::array<int, 2> cloexec_pipe() { // a pipe no child inherits unasked
  std::array<int, 2> fds{-1, -1};
  check(pipe2(fds.data(), O_CLOEXEC) == 0, "pipe failed");
  return fds;
}

// In a child: `path` opened as its descriptor `fd`.
inline void open_as(int fd, char const *path, int flags) {
  int const opened = open(path, flags, 0600);
  dup2(opened, fd);
  if (opened != fd) {
    close(opened);
  }
}

inline std::string const prompt = "Enter Your Name : ";

// The whole output for `name`; with `echo`, the terminal's screen, on which
// what was typed at the prompt shows as `echo` and a line feed as CR LF.
inline std::string dialogue(std::string const &name, std::optional<std::string> const &echo = {}) {
  char const *const eol = echo || windows_build() ? "\r\n" : "\n";
  return prompt + echo.value_or("") + "Your Name is : " + name + eol + " Perss 'e' To Exit..";
}

// Printable, and short when long.
inline std::string shown(std::string const &bytes) {
  std::string text = bytes.empty() ? "(nothing)" : "";
  for (char const byte : bytes.substr(0, 40)) {
    auto const c = static_cast<unsigned char>(byte);
    char const hex[] = {'\\', 'x', "0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15], '\0'};
    text += c >= ' ' && c < 0x7f && c != '\\' ? std::string(1, byte) : hex;
  }
  return bytes.size() > 40 ? text + "...(" + std::to_string(bytes.size()) + " bytes)" : text;
}

// The text a terminal of 25 rows and 80 columns shows after `bytes`, as drawn
// by libvterm, less each row's trailing blanks and the empty rows at the end,
// a run of U+FFFD as one (converters differ in how many they write); nullopt
// without libvterm.
inline std::optional<std::string> drawn(std::string const &bytes) {
#ifdef ASKNAME_VTERM
  std::unique_ptr<VTerm, void (*)(VTerm *)> const vt(vterm_new(25, 80), vterm_free);
  vterm_set_utf8(vt.get(), 1);
  VTermScreen *const screen = vterm_obtain_screen(vt.get());
  vterm_screen_reset(screen, 1);
  vterm_input_write(vt.get(), bytes.data(), bytes.size());
  std::string text(25 * 81 * 4 * VTERM_MAX_CHARS_PER_CELL, '\0');
  text.resize(vterm_screen_get_text(screen, text.data(), text.size(), VTermRect{0, 25, 0, 80}));
  static std::regex const trailing_blanks(" +(\n|$)"), replacement_run("(\uFFFD)+");
  text = std::regex_replace(std::regex_replace(text, trailing_blanks, "$1"), replacement_run, "\uFFFD");
  return text.erase(text.find_last_not_of('\n') + 1);
#else
  static_cast<void>(bytes);
  return std::nullopt;
#endif
}

// One run of the program, driven as a person at a console drives it: through
// pipes, through pipes set not to block (its output's holding a single page),
// or through a pseudo-terminal that is its standard input, output and error
// (a console, where a Windows build under Wine draws it).  Each run is judged
// as it goes, and a fault throws at once, saying what it saw.
class Session {
public:
  enum class Mode { pipes, nonblocking, terminal, console };
  using Redirect = std::function<void()>; // run in the child once its streams are in place

  explicit Session(Mode mode = Mode::pipes, Redirect redirect = {},
                   std::vector<std::string> const &command = {})
      : terminal_(mode >= Mode::terminal) {
    // A pipe end must not land on 0, 1 or 2 when the runner was started without
    // them, and a reader that has gone must give EPIPE, not kill the runner.  A
    // terminal's encoding is told by the locale (Wine's console reads it so),
    // and ours, drawn by libvterm, is UTF-8.
    [[maybe_unused]] static bool const ready = [] {
      for (int fd = 0; fd >= 0 && fd <= 2;) {
        fd = open("/dev/null", O_RDWR | O_CLOEXEC); // which the program's own 0, 1 and 2 replace
      }
      signal(SIGPIPE, SIG_IGN);
      unsetenv("LC_ALL");
      unsetenv("LC_CTYPE");
      return setenv("LANG", "C.UTF-8", 1) == 0;
    }();
    if (terminal_ && windows_build()) {
      // The first program of a new Wine server starts Wine's services, which
      // keep its standard streams open as long as the server lives, so that a
      // terminal's end would never come: one piped run, which ends when the
      // program has, starts them first.
      [[maybe_unused]] static int const warm = [] {
        Session s;
        s.close_input();
        return s.end(dialogue(""));
      }();
    }
    std::array<int, 3> child{-1, -1, -1}; // its ends of the pipes
    std::string terminal;
    if (terminal_) {
      out_ = open_terminal();
      check(out_ >= 0, "no pseudo-terminal");
      in_ = fcntl(out_, F_DUPFD_CLOEXEC, 0);
      terminal = ptsname(out_);
      winsize const size{25, 80, 0, 0};
      ioctl(out_, TIOCSWINSZ, &size);
      // Ctrl-Z is a key for the program, as at a Windows console: not the
      // terminal's suspend, which would stop Wine before its console saw it.
      termios modes{};
      tcgetattr(out_, &modes);
      modes.c_cc[VSUSP] = _POSIX_VDISABLE;
      tcsetattr(out_, TCSANOW, &modes);
    } else {
      auto const input = cloexec_pipe(), output = cloexec_pipe(), errors = cloexec_pipe();
      std::tie(in_, out_, err_) = std::tie(input[1], output[0], errors[0]);
      child = {input[0], output[1], errors[1]};
      if (mode == Mode::nonblocking) {
        fcntl(child[0], F_SETFL, O_NONBLOCK);
        fcntl(child[1], F_SETFL, O_NONBLOCK);
        fcntl(child[1], F_SETPIPE_SZ, 4096);
      }
    }
    std::vector<std::string> const words = command.empty() ? std::vector{program()} : command;
    std::vector<char *> argv(words.size() + 1, nullptr);
    std::transform(words.begin(), words.end(), argv.begin(),
                   [](auto &w) { return const_cast<char *>(w.c_str()); });
    pid_t const parent = getpid();
    // The child shares this process's memory until it execs, as a spawn does:
    // no page of the test process is copied, and nothing in it is changed.
    pid_ = vfork();
    if (pid_ == 0) {
      // Ended with this process, however it ends; in a process group of its
      // own, so that a wrapper and what it starts end together.  As a session
      // leader it takes the terminal it opens as its own, so that Ctrl-C
      // reaches it.  The runner may ignore SIGPIPE, SIGINT and SIGXFSZ (a shell
      // does the second for background jobs); the program must meet them as a
      // console starts it.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent || (terminal_ ? setsid() : setpgid(0, 0)) < 0) {
        _exit(127);
      }
      if (terminal_) {
        open_as(0, terminal.c_str(), O_RDWR);
      }
      for (int fd = 0; fd < 3; ++fd) {
        dup2(terminal_ ? 0 : child.at(static_cast<std::size_t>(fd)), fd);
      }
      if (redirect) {
        redirect();
      }
      for (int const sig : {SIGPIPE, SIGINT, SIGXFSZ}) {
        signal(sig, SIG_DFL);
      }
      execvp(argv[0], argv.data());
      _exit(127);
    }
    for (int fd : child) { // -1 where there is none, which fails harmlessly, as below
      close(fd);
    }
    check(pid_ > 0, "cannot start " + words[0]);
    for (int fd : {in_, out_, err_}) {
      fcntl(fd, F_SETFL, O_NONBLOCK);
    }
  }

  ~Session() {
    if (status_ < 0 && pid_ > 0) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    for (int fd : {in_, out_, err_}) {
      close(fd);
    }
  }
  Session(Session const &) = delete;
  Session &operator=(Session const &) = delete;

  // Whether a wait for input can be told from /proc (Linux, a program not
  // run by Wine); elsewhere waits() takes a screen shown for a second as one.
  static bool tells_waits() { return !windows_build() && !read_call().empty(); }
  static bool has_terminal() { // whether a pseudo-terminal can be had here
    static bool const has = close(open_terminal()) == 0;
    return has;
  }

  void type(std::string_view bytes) { pending_.append(bytes); }
  void close_input() {
    run(Until::typed);
    close(in_);
    in_ = -1;
  }
  // Runs until the program waits for input showing `screen` (true) or has
  // ended showing it (false).
  bool waits(std::string_view screen) { return run(Until::waiting, screen); }
  // Runs until the program ends showing `screen`; gives its exit status, or
  // 128 + the signal.
  int end(std::string_view screen) {
    run(Until::ended, screen);
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
  }

  // The most bytes the program has had mapped at once; 0 but on Linux.
  std::size_t peak() const {
    std::ifstream status(proc(pid_, "status"));
    std::string word;
    while (status >> word && word != "VmPeak:") {
    }
    std::size_t kib = 0;
    status >> kib;
    return kib * 1024;
  }

  std::string out{}; // standard output so far (the screen, on a terminal)
  // What the run shows, where not `out`: a file that a test sends it to.
  std::function<std::string()> shows{};
  // `out`, what `shows` gives, or Wine's console as drawn.
  std::string view() const {
    return shows ? shows() : terminal_ && windows_build() ? drawn(out).value_or(out) : out;
  }

private:
  enum class Until { typed, waiting, ended };

  // Closes a stream once its writer has gone (end of file, or EIO on a
  // terminal whose last user has gone).
  void collect() {
    for (auto [fd, into] : {std::pair{&out_, &out}, std::pair{&err_, &err_text_}}) {
      char buf[65536];
      ssize_t n = -1;
      while (*fd >= 0 && (n = read(*fd, buf, sizeof buf)) > 0) {
        into->append(buf, static_cast<size_t>(n));
      }
      if (*fd >= 0 && (n >= 0 || errno != EAGAIN)) {
        close(*fd);
        *fd = -1;
      }
    }
  }

  // Whether the program sleeps in read(0), or in a poll of descriptor 0 alone
  // (of an input set not to block), with nothing left for it to read: a wait
  // that only more input can end.  A poll is told by its arguments, as poll
  // and ppoll take the same first two: one pollfd, asking for input on 0.
  bool blocked_on_input() const {
    int unread = 0;
    if (!pending_.empty() || (!terminal_ && (ioctl(in_, FIONREAD, &unread) != 0 || unread != 0))) {
      return false;
    }
    auto const call = call_of(proc(pid_, "syscall"));
    pollfd polled{-1, 0, 0};
    if (call.size() > 2 && call[2] == "0x1") {
      std::ifstream memory(proc(pid_, "mem"), std::ios::binary);
      memory.seekg(static_cast<std::streamoff>(std::stoull(call[1], nullptr, 16)));
      memory.read(reinterpret_cast<char *>(&polled), sizeof polled);
    }
    return (call.size() > 1 && call[0] == read_call() && call[1] == "0x0") ||
           (polled.fd == 0 && polled.events == POLLIN);
  }

  // Fails the run where what it shows is not `screen`, or not yet the `whole`
  // of it: a view that streams (pipes, a terminal, a file) at its first wrong
  // byte, or its first byte past the end; Wine's console, which is drawn, only
  // whole, and as it grows only past a size that no drawing of it reaches.
  void judge(std::string_view screen, bool whole) {
    std::string const file = shows ? shows() : "";
    std::string const &seen = shows ? file : out;
    auto const fail = [&](std::string const &what) {
      throw std::runtime_error("askname " + what + "; it shows " + shown(view()) + " where it should show " +
                               shown(std::string(screen)));
    };
    if (!err_text_.empty()) {
      fail("wrote " + shown(err_text_) + " to standard error");
    }
    if (terminal_ && windows_build() && !shows) {
      if ((whole && view() != screen) || out.size() > 4 * screen.size() + 65536) {
        fail(whole ? "ended" : "has written more than its screen");
      }
      return;
    }
    std::size_t at = std::min(judged_, seen.size());
    while (at < seen.size() && at < screen.size() && seen[at] == screen[at]) {
      ++at;
    }
    if (at < seen.size()) {
      fail("wrote " + shown(seen.substr(at, 8)) + " at byte " + std::to_string(at) +
           (at < screen.size() ? ", not " + shown(std::string(screen.substr(at, 8))) : ", past the end"));
    }
    judged_ = at;
    if (whole && at < screen.size()) {
      fail(status_ >= 0 ? "ended" : "waits for input");
    }
  }

  // Feeds the typed input and collects the output until `until` holds; false
  // once the program has ended, its output all read.  Judged by what it shows
  // and by its state, the program fails at once where it shows a wrong byte,
  // or sleeps in a read of its input showing less than it should, or where it
  // should end.  It fails too where it spends a second of CPU time without
  // taking input or writing output, or sleeps for three seconds (thirty where
  // CPU time cannot be read) neither writing nor running, nor ready to: a
  // sound one never does, and one that sleeps where it should not does.
  bool run(Until until, std::string_view screen = {}) {
    using namespace std::chrono_literals;
    using clock = std::chrono::steady_clock;
    auto looked = clock::now(), idle_since = looked;
    std::optional<clock::time_point> shown_since;
    long const tick = sysconf(_SC_CLK_TCK);
    long cpu_at_progress = cpu_of(pid_), busy = -1;
    std::size_t progress = 0;
    judged_ = 0;
    for (;;) {
      if (!pending_.empty() && in_ >= 0) {
        ssize_t const n = write(in_, pending_.data(), pending_.size());
        auto const sent = static_cast<std::size_t>(std::max<ssize_t>(n, 0));
        fed_ += sent;
        pending_.erase(0, n < 0 && errno != EAGAIN ? std::string::npos : sent); // all, where no more is read
      }
      // Reaped first, then read: what it wrote is all there to be read.
      if (status_ < 0 && waitpid(pid_, &status_, WNOHANG) != pid_) {
        status_ = -1;
      }
      collect();
      // On a terminal, Wine's console may still be drawing: there, the end is
      // when its last user has let go of it.
      bool const ended = status_ >= 0 && (!terminal_ || out_ < 0);
      if (until != Until::typed) {
        judge(screen, ended);
      }
      if (ended || (until == Until::typed && pending_.empty())) {
        return !ended;
      }
      if (until != Until::typed && tells_waits() && blocked_on_input()) {
        collect(); // all it wrote before it slept
        // A terminal's echo comes when the terminal gives it.
        if (until == Until::waiting && (!terminal_ || view() == screen)) {
          judge(screen, true);
          return true;
        }
        if (until == Until::ended && !terminal_) {
          throw std::runtime_error("askname waits for input where it should end; it shows " + shown(view()));
        }
      }
      // Where waits are not told, a program that has shown `screen` and is
      // still running a second later is taken to wait.
      if (until == Until::waiting && !tells_waits()) {
        shown_since =
            view() == screen ? shown_since.value_or(clock::now()) : std::optional<clock::time_point>();
        if (shown_since && clock::now() - *shown_since >= 1s) {
          return true;
        }
      }
      auto const now = clock::now();
      if (now - looked >= 250ms) {
        looked = now;
        long const used = cpu_of(pid_);
        std::size_t const moved = fed_ + out.size();
        if (moved != progress) {
          cpu_at_progress = used;
        }
        if (moved != progress || used != busy || runs_or_ready(pid_)) {
          idle_since = now;
        }
        std::tie(progress, busy) = std::tuple(moved, used);
        // Where no CPU time is seen, a slow start could look idle: a longer look.
        if (now - idle_since >= (tick > 0 && access("/proc/self/stat", R_OK) == 0 ? 3s : 30s)) {
          throw std::runtime_error("askname has neither run nor written for seconds, now in system call " +
                                   call_of(proc(pid_, "syscall")).at(0) + "; it shows " + shown(view()));
        }
        if (used - cpu_at_progress >= tick) {
          throw std::runtime_error("askname has spent a second of CPU time without taking input or writing "
                                   "output; it shows " +
                                   shown(view()));
        }
      }
      pollfd fds[] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}, {pending_.empty() ? -1 : in_, POLLOUT, 0}};
      poll(fds, 3, 10);
    }
  }

  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1; // -1 once closed
  bool terminal_;
  std::string pending_{}; // typed, not yet sent
  std::string err_text_{};
  std::size_t fed_ = 0;    // bytes sent to it
  std::size_t judged_ = 0; // bytes of the view found as they should be
  int status_ = -1;
};
