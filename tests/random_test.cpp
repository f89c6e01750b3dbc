#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>

#include "session.hpp"

namespace {

struct Reading {
  std::string name;
  bool complete; // a byte after the name ended it
  bool answered; // the input read so far also holds the answer
};

// The reading rules again, as plainly as they can be put.
Reading model(std::string const &input) {
  std::string const blanks(" \t\n\v\f\r");
  auto const start = std::min(input.find_first_not_of(blanks), input.size());
  auto const stop = std::min(input.find_first_of(blanks + '\0', start), input.size());
  bool const complete = stop < input.size();
  // An empty name fails the stream, and a failed stream reads no answer.
  bool const answered =
      complete && (stop == start || input.find_first_not_of(blanks, stop) != std::string::npos);
  return {input.substr(start, stop - start), complete, answered};
}

// Random inputs from the bytes the rules care about, first held open, then ended.
TEST(Random, FollowsTheReadingRules) {
  char const *const env = std::getenv("ASKNAME_SEED");
  auto const seed = env != nullptr ? std::strtoul(env, nullptr, 10) : 20261207UL;
  std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
  std::string const alphabet[] = {
      "a",    "Z",    "9",    "-",       " ", "\t", "\n", "\v", "\f", "\r", std::string(1, '\0'),
      "\xa0", "\x85", "\xff", "\xc3\xa9"};
  std::uniform_int_distribution<std::size_t> length(0, 8), pick(0, std::size(alphabet) - 1);
  for (int run = 0; run < 300; ++run) {
    std::string input;
    for (auto n = length(random); n > 0; --n) {
      input += alphabet[pick(random)];
    }
    SCOPED_TRACE("ASKNAME_SEED=" + std::to_string(seed) + ", run " + std::to_string(run) + ", input " +
                 shown(input));
    Session s;
    s.type(input);
    auto const expected = model(input);
    if (Session::tells_waits) {
      ASSERT_EQ(s.waits(), !expected.answered);
      ASSERT_EQ(s.out, expected.complete ? dialogue(expected.name) : "Enter Your Name : ");
    }
    s.close_input();
    ASSERT_EQ(s.end(), 0);
    ASSERT_EQ(s.out, dialogue(expected.name));
    ASSERT_EQ(s.err, "");
  }
}

} // namespace
