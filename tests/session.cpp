#include "session.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#ifdef ASKNAME_VTERM
#include <vterm.h>
#endif

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <regex>
#include <stdexcept>
#include <tuple>

extern char **environ;

namespace {

void check(bool ok, std::string const &what) {
  if (!ok) {
    throw std::runtime_error(what);
  }
}

// Reads what is there; false once the writer has gone (end of file, or EIO
// on a terminal whose last user has gone).
bool drain(int fd, std::string &into) {
  char buf[65536];
  ssize_t n = 0;
  while ((n = read(fd, buf, sizeof buf)) > 0) {
    into.append(buf, static_cast<size_t>(n));
  }
  return n < 0 && errno == EAGAIN;
}

std::string proc(pid_t pid, char const *file) { return "/proc/" + std::to_string(pid) + "/" + file; }

// The system call a process is in, as /proc/PID/syscall numbers it, if on descriptor 0; else -1.
long call_on_stdin(pid_t pid) {
  std::ifstream file(proc(pid, "syscall"));
  long number = -1;
  std::string fd;
  return file >> number >> fd && fd == "0x0" ? number : -1;
}

// That number for a process asleep in read(0), as a child shows it: the kernel's, not
// this binary's SYS_read where qemu-user runs it; -1 where nothing tells it.
long read_syscall() {
  static long const number = [] {
    auto const fds = cloexec_pipe();
    pid_t const child = fork();
    if (child == 0) {
      char byte = 0;
      close(fds[1]);
      _exit(dup2(fds[0], 0) == 0 && read(0, &byte, 1) == 0 ? 0 : 1);
    }
    long seen = -2, found = -1; // found once seen twice
    for (int look = 0; look < 500 && found < 0 && child > 0; ++look, usleep(10000)) {
      long const n = call_on_stdin(child);
      found = n >= 0 && n == seen ? n : -1;
      seen = n;
    }
    close(fds[0]);
    close(fds[1]); // its read ends
    waitpid(child, nullptr, 0);
    return found;
  }();
  return number;
}

// The number after `key` in /proc/PID/FILE; 0 where there is none.
std::size_t proc_value(pid_t pid, char const *file, std::string const &key) {
  std::ifstream in(proc(pid, file));
  std::string word;
  std::size_t value = 0;
  while (in >> word && word != key) {
  }
  in >> value;
  return value;
}

// The CPU time of a process so far, in clock ticks; 0 where it cannot be read.
long cpu_of(pid_t pid) {
  std::ifstream fields(proc(pid, "stat"));
  std::string field;
  std::getline(fields, field, ')'); // the name, which has no ')' in the programs looked at
  long user = 0, system = 0;
  for (int skip = 0; skip < 11 && fields >> field; ++skip) { // to field 14, utime
  }
  fields >> user >> system;
  return user + system;
}

// For a Windows build, the CPU time of Wine's processes but `pid`: there the
// program waits on Wine's server and services, which a slow machine slows
// as much.  0 elsewhere.
long cpu_of_wine_besides(pid_t pid) {
  long ticks = 0;
  std::unique_ptr<DIR, int (*)(DIR *)> const dir(windows_build() ? opendir("/proc") : nullptr, closedir);
  while (dirent const *entry = dir ? readdir(dir.get()) : nullptr) {
    std::ifstream file(std::string("/proc/") + entry->d_name + "/comm");
    std::string name;
    static std::regex const names("^wineserver|\\.exe$");
    bool const wine = std::getline(file, name) && std::regex_search(name, names);
    ticks += wine && std::atoi(entry->d_name) != pid ? cpu_of(std::atoi(entry->d_name)) : 0;
  }
  return ticks;
}

// A child, forked before any run's pipes exist, told of each process group
// started and ended: when this process ends, however it ends, it ends them,
// so that no program under test outlives its test.
int watchdog() {
  static int const fd = [] {
    auto const fds = cloexec_pipe();
    if (fork() == 0) {
      close(fds[1]);
      for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) { // it ends when this process has
        signal(sig, SIG_IGN);
      }
      std::vector<pid_t> groups;
      for (pid_t g = 0; read(fds[0], &g, sizeof g) == sizeof g;) {
        g > 0 ? groups.push_back(g)
              : static_cast<void>(groups.erase(std::remove(groups.begin(), groups.end(), -g), groups.end()));
      }
      for (pid_t const g : groups) {
        kill(-g, SIGKILL);
      }
      _exit(0);
    }
    close(fds[0]);
    return fds[1];
  }();
  return fd;
}

void watch(pid_t group) { [[maybe_unused]] auto const told = write(watchdog(), &group, sizeof group); }

} // namespace

std::string env(char const *name) { return std::getenv(name) != nullptr ? std::getenv(name) : ""; }
std::string program() { return env("ASKNAME").empty() ? ASKNAME_EXE : env("ASKNAME"); }
bool windows_build() { return env("ASKNAME_WINDOWS") == "1"; }

bool Session::tells_waits() { return !windows_build() && read_syscall() >= 0; }

bool Session::has_terminal() {
  static bool const has = [] {
    int const fd = posix_openpt(O_RDWR | O_NOCTTY);
    bool const usable = fd >= 0 && grantpt(fd) == 0 && unlockpt(fd) == 0;
    close(fd);
    return usable;
  }();
  return has;
}

std::array<int, 2> cloexec_pipe() {
  std::array<int, 2> fds{-1, -1};
  check(pipe2(fds.data(), O_CLOEXEC) == 0, "pipe failed");
  return fds;
}

std::string const prompt = "Enter Your Name : ";

std::string dialogue(std::string const &name, std::optional<std::string> const &echo) {
  char const *const eol = echo || windows_build() ? "\r\n" : "\n";
  return prompt + echo.value_or("") + "Your Name is : " + name + eol + " Perss 'e' To Exit..";
}

std::string shown(std::string const &bytes) {
  std::string text = bytes.empty() ? "(nothing)" : "";
  for (char const byte : bytes.substr(0, 40)) {
    auto const c = static_cast<unsigned char>(byte);
    char const hex[] = {'\\', 'x', "0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15], '\0'};
    text += c >= ' ' && c < 0x7f && c != '\\' ? std::string(1, byte) : hex;
  }
  return bytes.size() > 40 ? text + "...(" + std::to_string(bytes.size()) + " bytes)" : text;
}

std::optional<std::string> drawn(std::string const &bytes) {
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

Session::Session(bool terminal, Redirect const &redirect, std::vector<std::string> const &command)
    : terminal_(terminal) {
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
  watchdog(); // forked before this run's pipes exist, so it holds none of them
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  std::array<int, 3> child{-1, -1, -1}; // its ends of the pipes
  // Its own process group, so that a wrapper and what it starts end together.
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP;
  if (terminal_ && windows_build()) {
    // The first program of a new Wine server starts Wine's services, which
    // keep its standard streams open as long as the server lives, so that a
    // terminal's end would never come: one piped run, which ends when the
    // program has, starts them first.
    [[maybe_unused]] static int const warm = [] {
      auto s = Session::piped();
      s.close_input();
      return s.end();
    }();
  }
  if (terminal_) {
    out_ = posix_openpt(O_RDWR | O_NOCTTY);
    check(out_ >= 0 && grantpt(out_) == 0 && unlockpt(out_) == 0, "no pseudo-terminal");
    fcntl(out_, F_SETFD, FD_CLOEXEC);
    in_ = fcntl(out_, F_DUPFD_CLOEXEC, 0);
#ifdef __linux__
    // As a session leader the program takes the terminal it opens as its own,
    // so that Ctrl-C reaches it.  Elsewhere that needs TIOCSCTTY, which
    // posix_spawn cannot do; the terminal rows need Linux anyway.
    flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID;
#endif
    winsize const size{25, 80, 0, 0};
    ioctl(out_, TIOCSWINSZ, &size);
    // Ctrl-Z is a key for the program, as at a Windows console: not the
    // terminal's suspend, which would stop Wine before its console saw it.
    termios modes{};
    tcgetattr(out_, &modes);
    modes.c_cc[VSUSP] = _POSIX_VDISABLE;
    tcsetattr(out_, TCSANOW, &modes);
    posix_spawn_file_actions_addopen(&actions, 0, ptsname(out_), O_RDWR, 0);
    posix_spawn_file_actions_adddup2(&actions, 0, 1);
    posix_spawn_file_actions_adddup2(&actions, 0, 2);
  } else {
    auto const input = cloexec_pipe(), output = cloexec_pipe(), errors = cloexec_pipe();
    std::tie(in_, out_, err_) = std::tie(input[1], output[0], errors[0]);
    child = {input[0], output[1], errors[1]};
    for (std::size_t fd = 0; fd < 3; ++fd) {
      posix_spawn_file_actions_adddup2(&actions, child.at(fd), static_cast<int>(fd));
    }
  }
  if (redirect) {
    redirect(actions);
  }
  // The runner may ignore these (a shell does so for background jobs); the
  // program must meet them as a console starts it.
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, flags);

  std::vector<char *> argv(command.size() + 1, nullptr);
  std::transform(command.begin(), command.end(), argv.begin(),
                 [](auto &w) { return const_cast<char *>(w.c_str()); });
  int const spawned = posix_spawnp(&pid_, argv[0], &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  for (int fd : child) { // -1 where there is none, which fails harmlessly, as below
    close(fd);
  }
  check(spawned == 0, "cannot start " + command[0]);
  watch(pid_);
  for (int fd : {in_, out_, err_}) {
    fcntl(fd, F_SETFL, O_NONBLOCK);
  }
}

Session::~Session() {
  if (status_ < 0 && pid_ > 0) {
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    watch(-pid_);
  }
  for (int fd : {in_, out_, err_}) {
    close(fd);
  }
}

void Session::close_input() {
  run(Until::typed);
  close(in_);
  in_ = -1;
}

bool Session::waits(std::string_view screen) { return run(Until::waiting, screen); }

std::string Session::view() const {
  return shows ? shows() : terminal_ && windows_build() ? drawn(out).value_or(out) : out;
}

int Session::end() {
  run(Until::ended);
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
}

// Whether the program sleeps in read(0) with nothing left for it to read: a
// wait that only more input can end.
bool Session::blocked_on_input() const {
  // Input first: a reader being woken by it still shows as asleep in read.
  int unread = 0;
  if (!pending_.empty() || (!terminal_ && (ioctl(in_, FIONREAD, &unread) != 0 || unread != 0))) {
    return false;
  }
  return call_on_stdin(pid_) == read_syscall();
}

std::size_t Session::peak() const { return proc_value(pid_, "status", "VmPeak:") * 1024; }

// Feeds the typed input and collects the output until `until` holds; false
// once the program has ended and its output is all read.  A slow machine only
// stretches a run: a program that neither runs nor writes for three seconds
// will not change, and one that spends a second of CPU time without taking
// input or writing output spins.  Either fails at once where it should not
// be, as does one that writes more than a dialogue.
bool Session::run(Until until, std::string_view screen) {
  using clock = std::chrono::steady_clock;
  using std::chrono::seconds;
  auto const started = clock::now();
  std::optional<clock::time_point> shown_since;
  auto idle_since = started, looked = started;
  std::size_t taken = 0, wrote = out.size() + err.size();
  long const ticks_per_second = sysconf(_SC_CLK_TCK);
  // Where no CPU time is seen, a slow start could look idle: a longer look.
  auto const idle_limit = seconds(ticks_per_second > 0 && access("/proc/self/stat", R_OK) == 0 ? 3 : 30);
  long cpu_at_progress = cpu_of(pid_), busy = -1;
  auto const fail = [&](std::string const &what) {
    throw std::runtime_error(
        "askname " + what +
        (until == Until::waiting ? ", where it should wait showing " + shown(std::string(screen)) : "") +
        "; it shows " + shown(view()));
  };
  for (;;) {
    if (!pending_.empty() && in_ >= 0) {
      ssize_t const n = write(in_, pending_.data(), pending_.size());
      auto const sent = static_cast<std::size_t>(std::max<ssize_t>(n, 0));
      fed_ += sent;
      pending_.erase(0, n < 0 && errno != EAGAIN ? std::string::npos : sent); // all, where no more is read
    }
    // Reaped first, then read: what it wrote is all there to be read.
    if (status_ < 0) {
      bool const reaped = waitpid(pid_, &status_, WNOHANG) == pid_;
      reaped ? watch(-pid_) : static_cast<void>(status_ = -1); // its group may soon be another's
    }
    for (auto [fd, into] : {std::pair{&out_, &out}, std::pair{&err_, &err}}) {
      if (*fd >= 0 && !drain(*fd, *into)) {
        close(*fd);
        *fd = -1;
      }
    }
    // On a terminal, Wine's console may still be drawing: there, the end is
    // when its last user has let go of it.
    if (status_ >= 0 && (!terminal_ || out_ < 0)) {
      return false;
    }
    if (until == Until::typed && pending_.empty()) {
      return true;
    }
    if (until == Until::waiting && status_ < 0) {
      // A wait is a wait, but a terminal's echo comes later than our bytes are taken.
      if (tells_waits() && blocked_on_input() && (!terminal_ || view() == screen)) {
        drain(out_, out);
        return true;
      }
      // Where waits are not told, a program that has shown `screen` and is
      // still running a second later is taken to wait: a sound one is never
      // failed so, and one that ends where it should wait is caught.
      shown_since =
          view() == screen ? shown_since.value_or(clock::now()) : std::optional<clock::time_point>();
      if (!tells_waits() && shown_since && clock::now() - *shown_since >= seconds(1)) {
        return true;
      }
    }
    auto const now = clock::now();
    if (status_ < 0 && now - looked >= std::chrono::milliseconds(250)) {
      looked = now;
      long const used = cpu_of(pid_), busy_now = used + cpu_of_wine_besides(pid_);
      // Progress is input taken, from us or from a file, or output.  A sound
      // program writes the texts and the name, and a terminal echoes what was
      // typed.  A program that has just ended shows no offset, so the last one
      // seen stays, and it is not judged on what it wrote since.
      read_ = std::max(read_, proc_value(pid_, "fdinfo/0", "pos:"));
      std::size_t const took = fed_ + read_, writes = out.size() + err.size();
      siginfo_t ended{};
      waitid(P_PID, static_cast<id_t>(pid_), &ended, WEXITED | WNOHANG | WNOWAIT);
      if (ended.si_pid == 0 && writes > (terminal_ ? 3 : 1) * took + 65536) {
        fail("has written more than a dialogue for what it was given");
      }
      bool const moved = took != taken || writes != wrote;
      cpu_at_progress = moved ? used : cpu_at_progress;
      idle_since = moved || busy_now != busy ? now : idle_since;
      std::tie(busy, taken, wrote) = std::tuple(busy_now, took, writes);
      if (now - idle_since >= idle_limit) {
        fail("has done nothing for seconds");
      }
      if (used - cpu_at_progress >= ticks_per_second) {
        fail("has spent a second of CPU time without taking input or writing output");
      }
    }
    if (now - started >= std::chrono::minutes(10)) {
      fail("neither waited nor ended within 10 minutes");
    }
    pollfd fds[] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}, {pending_.empty() ? -1 : in_, POLLOUT, 0}};
    // Quick at first, then easy on a slow machine's CPU time.
    poll(fds, 3, now - started < std::chrono::milliseconds(100) ? 1 : 10);
  }
}
