#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <cstdio>

#include "session.hpp"

using namespace std::string_literals;

namespace {

using On = Session::Mode;
char const *const where[] = {"pipes", "nonblocking", "terminal", "console"};

struct Step {
  std::string typed;
  bool waits;
  std::string out; // what the run shows then (Session::view): on a terminal, typing echoed and LF as CR LF
};

struct Script {
  On on;
  std::vector<Step> steps;
  int status = 0;
  bool to_file = false;               // standard output is sent to a file, which is then what the run shows
  std::optional<std::string> input{}; // standard input is taken from a file holding this
};

void PrintTo(Step const &step, std::ostream *os) { *os << shown(step.typed); }
void PrintTo(Script const &script, std::ostream *os) {
  *os << where[static_cast<int>(script.on)] << (script.input ? " from " + shown(*script.input) : "") << " "
      << testing::PrintToString(script.steps) << (script.to_file ? " to a file" : "");
}

class Live : public testing::TestWithParam<Script> {};

// Input held open as at a console: after each step, the program either waits
// showing exactly `out`, or has ended showing it.
TEST_P(Live, WaitsExactlyWhenItShould) {
  auto const &row = GetParam();
  char const *const skip =
      row.on >= On::terminal && !Session::has_terminal() ? "needs a pseudo-terminal, and none can be had here"
      : row.on == On::nonblocking && windows_build()
          ? "Wine waits for a pipe set not to block, so it never says EAGAIN"
      : row.on == On::terminal && !Session::tells_waits()
          ? "a terminal row needs /proc to tell a wait (Linux), and a program that reads the terminal "
            "itself, not Wine"
      : row.on == On::console && (!windows_build() || !drawn(""))
          ? "a console row needs a Windows build under Wine, and libvterm to draw its console"
          : nullptr;
  if (skip != nullptr) {
    GTEST_SKIP() << skip;
  }
  std::unique_ptr<std::FILE, int (*)(std::FILE *)> const output(std::tmpfile(), std::fclose),
      input(std::tmpfile(), std::fclose);
  ASSERT_TRUE(output && input);
  int const out = fileno(output.get()), in = fileno(input.get());
  std::string const given = row.input.value_or("");
  ASSERT_EQ(pwrite(in, given.data(), given.size(), 0), static_cast<ssize_t>(given.size()));
  Session s(row.on, [&] {
    if (row.to_file)
      dup2(out, 1);
    if (row.input)
      dup2(in, 0);
  });
  if (row.to_file) {
    s.shows = [out] {
      std::string bytes(static_cast<std::size_t>(lseek(out, 0, SEEK_END)), '\0');
      return pread(out, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()) ? bytes
                                                                                             : "(unread)";
    };
  }
  // "<y>" in a row stands for a name of 100,000 y's, made only as the row runs.
  auto const made = [](std::string const &text) {
    return std::regex_replace(text, std::regex("<y>"), std::string(100000, 'y'));
  };
  for (auto const &step : row.steps) {
    SCOPED_TRACE("after typing " + shown(step.typed));
    std::string const screen =
        row.on == On::console && !row.to_file ? drawn(made(step.out)).value_or("") : made(step.out);
    s.type(made(step.typed));
    if (step.waits) {
      ASSERT_TRUE(s.waits(screen));
    } else {
      EXPECT_EQ(s.end(screen), row.status);
    }
  }
}

std::vector<Script> live() {
  bool const waits = true, ends = false;
  std::string const screen = dialogue("Ann", "Ann\r\n");
  std::string const half_block(2048, 'z'); // a terminal line holds at most 4095 bytes
  std::string const full_block = half_block + half_block;
  std::string const xs(4095, 'x'); // the next letter's two halves straddle a read of 4096
  std::string euros;               // 9000 bytes: a letter straddles a piece of a write of 8192
  while (euros.size() < 9000) {
    euros += "€";
  }
  // One row a line: where, then each step as {typed, waits or ends, what it shows}.
  // clang-format off
  return {
      {On::pipes, {{"", waits, prompt}, {"Ann\n", waits, dialogue("Ann")}, {"e\n", ends, dialogue("Ann")}}},
      {On::pipes, {{"\n \n\t\n", waits, prompt}, {"An", waits, prompt}, {"n\n", waits, dialogue("Ann")}, {"\n\n", waits, dialogue("Ann")}, {"exit", ends, dialogue("Ann")}}},
      {On::pipes, {{"Ann Lee\n", ends, dialogue("Ann")}}},
      {On::pipes, {{"Ann\0"s, ends, dialogue("Ann")}}},
      {On::pipes, {{"<y>\n", waits, dialogue("<y>")}, {"e", ends, dialogue("<y>")}}},
      // EAGAIN is no end of the input, and no failed write: the name goes on, the output goes out whole.
      {On::nonblocking, {{"Ann", waits, prompt}, {"Lee\ne", ends, dialogue("AnnLee")}}},
      {On::nonblocking, {{"<y> e", ends, dialogue("<y>")}}},
      {On::terminal, {{"", waits, prompt}, {"Ann\n", waits, screen}, {"\n", waits, screen + "\r\n"}, {"e\n", ends, screen + "\r\ne\r\n"}}},
      {On::terminal, {{"", waits, prompt}, {"\x04", ends, dialogue("", "")}}},
      {On::terminal, {{"", waits, prompt}, {"Ann\n", waits, screen}, {"\x04", ends, screen}}},
      {On::terminal, {{"", waits, prompt}, {"Ann\x04", waits, prompt + "Ann"}, {"\x04", ends, dialogue("Ann", "Ann")}}},
      {On::terminal, {{"", waits, prompt}, {half_block + "\x04", waits, prompt + half_block}, {half_block + "\x04", waits, prompt + full_block}, {"\x04", ends, dialogue(full_block, full_block)}}},
      {On::terminal, {{"", waits, prompt}, {"An", waits, prompt + "An"}, {"\x03", ends, prompt + "An^C"}}, 128 + SIGINT},
      {On::terminal, {{"", waits, prompt}, {"Ann\n", waits, screen}, {"\x03", ends, screen + "^C"}}, 128 + SIGINT},
      // Typed before the prompt is out, keys would meet the terminal before
      // Wine's console has taken it over.
      {On::console, {{"", waits, prompt}, {"Zoë\r", waits, dialogue("Zoë", "Zoë\r\n")}, {"e\r", ends, dialogue("Zoë", "Zoë\r\n") + "e"}}},
      {On::console, {{"", waits, prompt}, {"Анна-Мария Łukasz\r", ends, dialogue("Анна-Мария", "Анна-Мария Łukasz\r\n")}}},
      {On::console, {{"", waits, prompt}, {"山田太郎\r", waits, dialogue("山田太郎", "山田太郎\r\n")}, {"\r", waits, dialogue("山田太郎", "山田太郎\r\n")}, {"e\r", ends, dialogue("山田太郎", "山田太郎\r\n") + "\r\ne"}}},
      {On::console, {{"", waits, prompt}, {"a😀b\r", waits, dialogue("a😀b")}, {"e\r", ends, dialogue("a😀b")}}, 0, true},
      {On::console, {{"", waits, prompt}, {xs, waits, prompt}, {"😀\r", waits, dialogue(xs + "😀")}, {"e\r", ends, dialogue(xs + "😀")}}, 0, true},
      // Ctrl-Z ends the input at once, without Enter.
      {On::console, {{"", waits, prompt}, {"Ann\x1a", ends, dialogue("Ann", "Ann")}}},
      {On::console, {{"", waits, prompt}, {"\x1a", ends, dialogue("", "")}}},
      {On::console, {{"", waits, prompt}, {"Ann\r", waits, dialogue("Ann", "Ann\r\n")}, {"\x1a", ends, dialogue("Ann", "Ann\r\n")}}},
      {On::console, {{"", waits, prompt}, {"Ann\x1a", ends, dialogue("Ann")}}, 0, true},
      // Bytes that are not UTF-8 show as U+FFFD, the letters after them intact.
      {On::console, {{"", ends, dialogue("Zo\uFFFD(", "")}}, 0, false, "Zo\xeb\xc3(\n"},
      {On::console, {{"", ends, dialogue(euros, "")}}, 0, false, euros},
      {On::console, {{"", ends, dialogue("Ren\uFFFDe", "")}}, 0, false, "Ren\xe9" "e\n"},
      {On::console, {{"", ends, dialogue("\uFFFDAndré", "")}}, 0, false, "\xed" "Andr\xc3\xa9\n"}};
  // clang-format on
}

// Named by where they run, so that `ctest -R console` picks the console rows.
INSTANTIATE_TEST_SUITE_P(Rows, Live, testing::ValuesIn(live()), [](auto const &row) {
  return where[static_cast<int>(row.param.on)] + std::to_string(row.index);
});

// All input is there and then ends: the run ends quietly with status 0 and
// shows `name` back, byte for byte, or nothing where its output goes
// elsewhere.  Arguments change nothing, and broken streams only cut the
// output short; the SIGPIPE default is restored in the child, so a reader
// that has gone would kill it.
struct Closed {
  std::string input;
  std::optional<std::string> name;
  char const *what = nullptr; // how the run differs from a plain one on pipes
  Session::Redirect redirect{};
  char const *skip = nullptr;         // why the row cannot run here
  std::vector<std::string> command{}; // the program alone
  std::size_t xs = 0;                 // x's before both the input and the name, made as the row runs
};

void PrintTo(Closed const &row, std::ostream *os) {
  *os << (row.what ? row.what : (row.xs ? std::to_string(row.xs) + " x, then " : "") + shown(row.input));
}

class ClosedInput : public testing::TestWithParam<Closed> {};
int scratch = -1; // the running row's temporary file, made where any builder can make one

TEST_P(ClosedInput, EndsQuietlyWithTheWholeDialogue) {
  auto const &row = GetParam();
  if (row.skip != nullptr) {
    GTEST_SKIP() << row.skip;
  }
  std::string const xs(row.xs, 'x');
  std::unique_ptr<std::FILE, int (*)(std::FILE *)> const file(std::tmpfile(), std::fclose);
  scratch = file ? fileno(file.get()) : -1;
  Session s(Session::Mode::pipes, row.redirect, row.command);
  s.type(xs + row.input);
  s.close_input();
  EXPECT_EQ(s.end(row.name ? dialogue(xs + *row.name) : ""), 0);
}

std::vector<Closed> closed() {
  auto const row = [](std::string const &input, std::string const &name, std::size_t xs = 0) {
    return Closed{input, name, nullptr, {}, nullptr, {}, xs};
  };
  std::string const ann = "Ann\ne\n";
  // clang-format off
  return {row("Ann\ne\n", "Ann"), row("Ann\nx\n", "Ann"), row("Ann Lee\n", "Ann"), row(" \t\n\n\v\f\r  Ann\te\n", "Ann"),
          row("Ann\r\ne\r\n", "Ann"), row("", ""), row(" \n\t\n", ""), row("Ann", "Ann"), row("Ann\n", "Ann"),
          row("An\0n\n"s, "An"), row("\0Ann\n"s, ""), row("\x01\x1c\x1d\x1e\x1f\x7f\n", "\x01\x1c\x1d\x1e\x1f\x7f"),
          row("\xa0\x85\xff\x80-\n", "\xa0\x85\xff\x80-"),
          row("Анна-Мария e\n", "Анна-Мария"), // 10 letters, 19 bytes
          row("abcdefghijklmnopqrs\n", "abcdefghijklmnopqrs"), row("abcdefghijklmnopqrst\n", "abcdefghijklmnopqrst"),
          row(" e", "", 4096), row("\0e"s, "", 8191), row("\ne\n", "", 3 << 20),
          {ann, "Ann", "arguments", {}, nullptr, {program(), "--help", "--version", "-x", "Bob"}},
          {ann, {}, "stdout's reader gone", [] { std::array<int, 2> fds{}; if (pipe(fds.data()) == 0) { close(fds[0]); dup2(fds[1], 1); } }},
          {ann, {}, "stdout closed", [] { close(1); }},
          {ann, {}, "stdout read-only", [] { open_as(1, "/dev/null", O_RDONLY); }},
          {ann, {}, "stdout full", [] { open_as(1, "/dev/full", O_WRONLY); },
           access("/dev/full", W_OK) == 0 ? nullptr : "no /dev/full here to fill"},
          {ann, {}, "stdout past a file-size limit", [] { rlimit const one{1, 1}; dup2(scratch, 1); setrlimit(RLIMIT_FSIZE, &one); },
           windows_build() ? "the limit's signal meets Wine's own process, not the program" : nullptr},
          // Its peer gone with a byte unread, a socket fails the read after Ann with ECONNRESET.
          {"", "Ann", "stdin reset after Ann", [] { std::array<int, 2> s{}; if (socketpair(AF_UNIX, SOCK_STREAM, 0, s.data()) == 0 && write(s[0], "Ann", 3) + write(s[1], "!", 1) == 4) { dup2(s[1], 0); close(s[0]); } }},
          {ann, "", "stdin closed", [] { close(0); }},
          {ann, "", "stdin a directory", [] { open_as(0, "/", O_RDONLY); }}};
  // clang-format on
}

INSTANTIATE_TEST_SUITE_P(Rows, ClosedInput, testing::ValuesIn(closed()));

// A name far larger than the memory the program may use, from a file: it
// comes back whole, and the offset is left at the end of what was taken.
TEST(Memory, NameLargerThanItMayHoldComesBackWhole) {
#ifdef ASKNAME_SANITIZED
  if (program() == ASKNAME_EXE) {
    GTEST_SKIP() << "a sanitizer maps memory of its own as it runs";
  }
#endif
  if (!Session::tells_waits() || std::system("prlimit --version >/dev/null 2>&1") != 0) {
    GTEST_SKIP()
        << "limits the memory of a process, which needs Linux's prlimit and a program that is not Wine's";
  }
  Session probe;
  ASSERT_TRUE(probe.waits(prompt));
  std::string const name((std::size_t{16} << 20) + 7, 'x');
  std::string const text = name + " e rest";
  std::unique_ptr<std::FILE, int (*)(std::FILE *)> const file(std::tmpfile(), std::fclose);
  int const in = file ? fileno(file.get()) : -1;
  ASSERT_EQ(pwrite(in, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
  auto const limit = std::to_string(probe.peak() + (std::size_t{2} << 20));
  Session s(Session::Mode::pipes, [in] { dup2(in, 0); }, {"prlimit", "--as=" + limit, "--core=0", program()});
  EXPECT_EQ(s.end(dialogue(name)), 0);
  EXPECT_EQ(lseek(in, 0, SEEK_CUR), static_cast<off_t>(name.size() + 2)); // just past the answer, e
}

} // namespace
