#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

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
                    Closed{std::string(300000, 'x') + "\ne\n", std::string(300000, 'x')}));

struct Step {
  std::string typed;
  bool close;
  bool waits;
  std::string out;
};

void PrintTo(Step const &step, std::ostream *os) { *os << shown(step.typed) << (step.close ? " EOF" : ""); }

class Live : public testing::TestWithParam<std::vector<Step>> {};

// Input held open as at a console: after each step, the program either waits
// with exactly `out` written, or has ended with it.
TEST_P(Live, WaitsExactlyWhenItShould) {
  Session s;
  for (auto const &step : GetParam()) {
    SCOPED_TRACE("after typing " + shown(step.typed));
    s.type(step.typed);
    if (step.close) {
      s.close_input();
    }
    ASSERT_EQ(s.waits(), step.waits);
    EXPECT_EQ(s.out, step.out);
  }
  EXPECT_EQ(s.end(), 0);
  EXPECT_EQ(s.err, "");
}

bool const held = false, closed = true, waits = true, ends = false;

INSTANTIATE_TEST_SUITE_P(Rows, Live,
                         testing::Values(std::vector<Step>{{"", held, waits, prompt},
                                                           {"Ann\n", held, waits, dialogue("Ann")},
                                                           {"e\n", held, ends, dialogue("Ann")}},
                                         std::vector<Step>{{"\n \n\t\n", held, waits, prompt},
                                                           {"An", held, waits, prompt},
                                                           {"n\n", held, waits, dialogue("Ann")},
                                                           {"\n\n", held, waits, dialogue("Ann")},
                                                           {"exit", held, ends, dialogue("Ann")}},
                                         std::vector<Step>{{"Ann Lee\n", held, ends, dialogue("Ann")}},
                                         std::vector<Step>{{"Ann\0"s, held, ends, dialogue("Ann")}},
                                         std::vector<Step>{{"Ann", closed, ends, dialogue("Ann")}},
                                         std::vector<Step>{{"", closed, ends, dialogue("")}},
                                         std::vector<Step>{{"Ann\n", closed, ends, dialogue("Ann")}},
                                         std::vector<Step>{
                                             {std::string(100000, 'y') + "\n", held, waits,
                                              dialogue(std::string(100000, 'y'))},
                                             {"e", held, ends, dialogue(std::string(100000, 'y'))}}));

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
};

void PrintTo(Fault const &row, std::ostream *os) { *os << row.what; }

class Faults : public testing::TestWithParam<Fault> {};

// Broken streams end the run quietly with status 0; the SIGPIPE default is
// restored in the child, so a reader that has gone would kill it.
TEST_P(Faults, EndQuietlyWithStatusZero) {
  Session s({{}, GetParam().redirect});
  s.type("Ann\ne\n");
  EXPECT_EQ(s.end(), 0) << GetParam().what;
  EXPECT_EQ(s.out, GetParam().out) << GetParam().what;
  EXPECT_EQ(s.err, "") << GetParam().what;
}

void stdout_reader_gone(posix_spawn_file_actions_t &a) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  posix_spawn_file_actions_adddup2(&a, fds[1], 1);
  close(fds[0]);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Faults,
    testing::Values(
        Fault{"stdout's reader gone", stdout_reader_gone, ""},
        Fault{"stdout closed", [](auto &a) { posix_spawn_file_actions_addclose(&a, 1); }, ""},
        Fault{"stdout read-only",
              [](auto &a) { posix_spawn_file_actions_addopen(&a, 1, "/dev/null", O_RDONLY, 0); }, ""},
        Fault{"stdout full",
              [](auto &a) { posix_spawn_file_actions_addopen(&a, 1, "/dev/full", O_WRONLY, 0); }, ""},
        Fault{"stdin closed", [](auto &a) { posix_spawn_file_actions_addclose(&a, 0); }, dialogue("")},
        Fault{"stdin a directory", [](auto &a) { posix_spawn_file_actions_addopen(&a, 0, "/", O_RDONLY, 0); },
              dialogue("")}));

} // namespace
