#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "session.hpp"

using namespace std::string_literals;

namespace {

std::string const prompt = "Enter Your Name : ";

struct Closed {
  std::string input, name;
};

void PrintTo(Closed const &row, std::ostream *os) { *os << shown(row.input); }

class ClosedInput : public testing::TestWithParam<Closed> {};

// All input is there and then ends: the output is the whole dialogue, byte for byte.
TEST_P(ClosedInput, WritesTheWholeDialogue) {
  Session s;
  s.type(GetParam().input);
  s.close_input();
  EXPECT_EQ(s.end(), 0);
  EXPECT_EQ(s.out, dialogue(GetParam().name));
  EXPECT_EQ(s.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ClosedInput,
    testing::Values(Closed{"Ann\ne\n", "Ann"}, Closed{"Ann\nx\n", "Ann"}, Closed{"Ann Lee\n", "Ann"},
                    Closed{" \t\n\n\v\f\r  Ann\te\n", "Ann"}, Closed{"Ann\r\ne\r\n", "Ann"}, Closed{"", ""},
                    Closed{" \n\t\n", ""}, Closed{"Ann", "Ann"}, Closed{"An\0n\n"s, "An"},
                    Closed{"\0Ann\n"s, ""}, Closed{"\x01\x7f\n", "\x01\x7f"},
                    Closed{"\xa0\x85\xff\x80-\n", "\xa0\x85\xff\x80-"},
                    Closed{"Анна-Мария e\n", "Анна-Мария"}, // 19 letters, 34 bytes
                    Closed{"abcdefghijklmnopqrs\n", "abcdefghijklmnopqrs"},
                    Closed{"abcdefghijklmnopqrst\n", "abcdefghijklmnopqrst"},
                    Closed{std::string(4096, 'x') + " e", std::string(4096, 'x')},
                    Closed{std::string(8191, 'x') + "\0e"s, std::string(8191, 'x')},
                    Closed{std::string(300000, 'x') + "\ne\n", std::string(300000, 'x')}));

struct Step {
  std::string typed;
  bool close;
  bool waits;
  std::string out; // on a terminal: the screen, typing echoed and LF shown as CR LF
};

struct Script {
  bool terminal;
  std::vector<Step> steps;
  int status;
};

void PrintTo(Step const &step, std::ostream *os) { *os << shown(step.typed) << (step.close ? " EOF" : ""); }
void PrintTo(Script const &script, std::ostream *os) {
  *os << (script.terminal ? "terminal " : "") << testing::PrintToString(script.steps);
}

class Live : public testing::TestWithParam<Script> {};

// Input held open as at a console: after each step, the program either waits
// with exactly `out` written, or has ended with it.
TEST_P(Live, WaitsExactlyWhenItShould) {
  auto const &steps = GetParam().steps;
  if (GetParam().terminal && windows_build()) {
    GTEST_SKIP() << "Wine puts a console of its own between a terminal and a Windows program";
  }
  if (!Session::tells_waits() &&
      std::any_of(steps.begin(), steps.end(), [](auto &step) { return step.waits; })) {
    GTEST_SKIP() << (windows_build() ? "cannot tell a wait under Wine, which reads for the program"
                                     : "cannot tell a wait from a run on this system");
  }
  Session s({{}, {}, GetParam().terminal});
  for (auto const &step : steps) {
    SCOPED_TRACE("after typing " + shown(step.typed));
    s.type(step.typed);
    if (step.close) {
      s.close_input();
    }
    // A terminal takes in typed keys later than we write them, so there an end
    // is awaited rather than told apart from a wait.
    if (GetParam().terminal && !step.waits) {
      s.end();
    } else {
      ASSERT_EQ(s.waits(step.out), step.waits);
    }
    EXPECT_EQ(s.out, step.out);
  }
  EXPECT_EQ(s.end(), GetParam().status);
  EXPECT_EQ(s.err, "");
}

bool const pipes = false, terminal = true, held = false, closed = true, waits = true, ends = false;
std::string const screen = "Enter Your Name : Ann\r\nYour Name is : Ann\r\n Perss 'e' To Exit..";
std::string const ctrl_d_screen = "Enter Your Name : Your Name is : \r\n Perss 'e' To Exit..";
std::string const long_name(100000, 'y');
std::string const half_block(2048, 'z'); // a terminal line holds at most 4095 bytes

INSTANTIATE_TEST_SUITE_P(
    Rows, Live,
    testing::Values(
        Script{pipes,
               {{"", held, waits, prompt},
                {"Ann\n", held, waits, dialogue("Ann")},
                {"e\n", held, ends, dialogue("Ann")}},
               0},
        Script{pipes,
               {{"\n \n\t\n", held, waits, prompt},
                {"An", held, waits, prompt},
                {"n\n", held, waits, dialogue("Ann")},
                {"\n\n", held, waits, dialogue("Ann")},
                {"exit", held, ends, dialogue("Ann")}},
               0},
        Script{pipes, {{"Ann Lee\n", held, ends, dialogue("Ann")}}, 0},
        Script{pipes, {{"Ann\0"s, held, ends, dialogue("Ann")}}, 0},
        Script{pipes, {{"Ann", closed, ends, dialogue("Ann")}}, 0},
        Script{pipes, {{"", closed, ends, dialogue("")}}, 0},
        Script{pipes, {{"Ann\n", closed, ends, dialogue("Ann")}}, 0},
        Script{pipes,
               {{long_name + "\n", held, waits, dialogue(long_name)}, {"e", held, ends, dialogue(long_name)}},
               0},
        Script{terminal,
               {{"", held, waits, prompt},
                {"Ann\n", held, waits, screen},
                {"\n", held, waits, screen + "\r\n"},
                {"e\n", held, ends, screen + "\r\ne\r\n"}},
               0},
        Script{terminal, {{"", held, waits, prompt}, {"\x04", held, ends, ctrl_d_screen}}, 0},
        Script{terminal,
               {{"", held, waits, prompt}, {"Ann\n", held, waits, screen}, {"\x04", held, ends, screen}},
               0},
        Script{terminal,
               {{"", held, waits, prompt},
                {"Ann\x04", held, waits, prompt + "Ann"},
                {"\x04", held, ends, "Enter Your Name : AnnYour Name is : Ann\r\n Perss 'e' To Exit.."}},
               0},
        Script{terminal,
               {{"", held, waits, prompt},
                {half_block + "\x04", held, waits, prompt + half_block},
                {half_block + "\x04", held, waits, prompt + half_block + half_block},
                {"\x04", held, ends,
                 prompt + half_block + half_block + "Your Name is : " + half_block + half_block +
                     "\r\n Perss 'e' To Exit.."}},
               0},
        Script{terminal,
               {{"", held, waits, prompt},
                {"An", held, waits, prompt + "An"},
                {"\x03", held, ends, prompt + "An^C"}},
               128 + SIGINT},
        Script{
            terminal,
            {{"", held, waits, prompt}, {"Ann\n", held, waits, screen}, {"\x03", held, ends, screen + "^C"}},
            128 + SIGINT}));

TEST(Arguments, ChangeNothing) {
  Session s({{"--help", "-x", "Bob"}, {}});
  s.type("Ann\ne\n");
  EXPECT_EQ(s.end(), 0);
  EXPECT_EQ(s.out, dialogue("Ann"));
}

struct Fault {
  char const *what;
  Session::Redirect redirect;
  std::string out;
  char const *not_on_wine = nullptr; // why the row cannot run there
};

void PrintTo(Fault const &row, std::ostream *os) { *os << row.what; }

class Faults : public testing::TestWithParam<Fault> {};

// Broken streams end the run quietly with status 0; the SIGPIPE default is
// restored in the child, so a reader that has gone would kill it.
TEST_P(Faults, EndQuietlyWithStatusZero) {
  if (windows_build() && GetParam().not_on_wine != nullptr) {
    GTEST_SKIP() << GetParam().not_on_wine;
  }
  Session s({{}, GetParam().redirect});
  s.type("Ann\ne\n");
  EXPECT_EQ(s.end(), 0) << GetParam().what;
  EXPECT_EQ(s.out, GetParam().out) << GetParam().what;
  EXPECT_EQ(s.err, "") << GetParam().what;
}

void stdout_reader_gone(posix_spawn_file_actions_t &a) {
  // One pipe for all runs: its reader is gone for good.
  static int const writer = [] {
    auto const fds = cloexec_pipe();
    close(fds[0]);
    return fds[1];
  }();
  posix_spawn_file_actions_adddup2(&a, writer, 1);
}

// Input that holds "Ann" and then fails: a read of a pipe that is kept open but
// empty, set not to block, is an error (EAGAIN).
void stdin_fails_after_ann(posix_spawn_file_actions_t &a) {
  static std::array<int, 2> const fds = [] {
    auto const pair = cloexec_pipe();
    fcntl(pair[0], F_SETFL, O_NONBLOCK);
    return pair;
  }();
  EXPECT_EQ(write(fds[1], "Ann", 3), 3);
  posix_spawn_file_actions_adddup2(&a, fds[0], 0);
}

std::vector<Fault> faults() {
  std::vector<Fault> rows{
      {"stdout's reader gone", stdout_reader_gone, ""},
      {"stdout closed", [](auto &a) { posix_spawn_file_actions_addclose(&a, 1); }, ""},
      {"stdout read-only", [](auto &a) { posix_spawn_file_actions_addopen(&a, 1, "/dev/null", O_RDONLY, 0); },
       ""},
      {"stdin closed", [](auto &a) { posix_spawn_file_actions_addclose(&a, 0); }, dialogue("")},
      {"stdin a directory", [](auto &a) { posix_spawn_file_actions_addopen(&a, 0, "/", O_RDONLY, 0); },
       dialogue("")},
      {"stdin fails after Ann", stdin_fails_after_ann, dialogue("Ann"),
       "Wine waits for a pipe set not to block, so the read never fails"}};
#ifdef __linux__ // elsewhere there is no /dev/full to fill
  rows.push_back({"stdout full",
                  [](auto &a) { posix_spawn_file_actions_addopen(&a, 1, "/dev/full", O_WRONLY, 0); }, ""});
#endif
  return rows;
}

INSTANTIATE_TEST_SUITE_P(Rows, Faults, testing::ValuesIn(faults()));

// A name larger than the memory the program may use: it keeps the part it
// could hold, like any other failed read.
TEST(Memory, NameLargerThanItMayHoldEndsQuietly) {
#ifdef ASKNAME_SANITIZED
  if (char const *named = std::getenv("ASKNAME"); named == nullptr || *named == '\0') {
    GTEST_SKIP() << "a sanitizer's operator new aborts instead of throwing";
  }
#endif
  if (windows_build()) {
    GTEST_SKIP() << "a limit on Wine's memory is not one on the Windows program's";
  }
  if (!Session::tells_waits()) {
    GTEST_SKIP() << "limits the memory of a running process, which needs Linux";
  }
  Session s;
  ASSERT_TRUE(s.waits());
  s.limit_memory(std::size_t{64} << 20);
  std::string const input(std::size_t{128} << 20, 'x');
  s.type(input);
  s.close_input();
  EXPECT_EQ(s.end(), 0);
  EXPECT_EQ(s.err, "");
  auto const length = s.out.size() - dialogue("").size();
  EXPECT_GT(length, 0U);
  EXPECT_LT(length, input.size());
  EXPECT_EQ(s.out, dialogue(input.substr(0, length)));
}

} // namespace
