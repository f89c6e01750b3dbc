// askname: asks for a name on the console and shows it back.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iostream>

#include "streams.hpp"

namespace {

// The name's room, on a stack that may be limited to 16 KiB.  A longer name
// passes through it a part at a time, a write a part: 4096 bytes doubled the
// writes of a long name, 12288 outgrew such a stack.  A typed line (4095
// bytes at a Linux terminal) fits whole.
constexpr std::size_t name_room = 8192;
using name_part = std::array<char, name_room>;

constexpr bool ends_word(char c) { return c == '\0' || c == ' ' || (c >= '\t' && c <= '\r'); }

// The first byte in [from, to) that ends a word.  Eight bytes at a time are
// passed over while none is below 0x21: a check of bits that finds such a
// byte wherever there is one, and every byte that ends a word is one.
static_assert([] {
  for (int c = 0x21; c <= 0xFF; ++c) {
    if (ends_word(static_cast<char>(c))) {
      return false;
    }
  }
  return true;
}());
char const *word_end(char const *from, char const *to) {
  constexpr std::uint64_t ones = 0x0101010101010101U;
  for (std::uint64_t eight = 0; to - from >= 8; from += 8) {
    std::memcpy(&eight, from, 8);
    if (((eight - 0x21 * ones) & ~eight & 0x80 * ones) != 0) {
      break;
    }
  }
  return std::find_if(from, to, ends_word);
}

// A stream buffer's get area, which the standard lets only the buffer itself
// see, reached through a member pointer named in a class derived from it.
// The name is scanned and copied from it in bulk, not a call a byte.
struct get_area : std::streambuf {
  static std::size_t held(std::streambuf &buf) {
    return static_cast<std::size_t>((buf.*&get_area::egptr)() - (buf.*&get_area::gptr)());
  }
  static char const *next(std::streambuf &buf) { return (buf.*&get_area::gptr)(); }
  static void take(std::streambuf &buf, std::size_t n) {
    if (held(buf) >= n) {
      (buf.*&get_area::gbump)(static_cast<int>(n)); // n is at most name_room
    } else if (n > 0) {
      buf.sbumpc(); // a buffer that keeps no get area hands over one byte
    }
  }
};

// Takes the name's next bytes into `a`, as many as it holds, NUL-ended; true
// once the name has ended.  The byte that ends it stays in the input.
bool read_word(std::istream &in, name_part &a) {
  using traits = std::istream::traits_type;
  std::streambuf &buf = *in.rdbuf();
  std::size_t used = 0;
  bool ended = false;
  while (!ended && used < a.size() - 1) {
    auto const c = buf.sgetc();
    if (traits::eq_int_type(c, traits::eof())) {
      in.setstate(std::ios_base::eofbit); // a terminal says the end once: it is not asked again
      break;
    }
    // A buffer in step with C stdio keeps no get area: there, the byte sgetc() saw.
    char const first = traits::to_char_type(c);
    char const *const from = get_area::held(buf) > 0 ? get_area::next(buf) : &first;
    std::size_t const room = std::min(std::max<std::size_t>(get_area::held(buf), 1), a.size() - 1 - used);
    char const *const stop = word_end(from, from + room);
    std::memcpy(a.data() + used, from, static_cast<std::size_t>(stop - from));
    used += static_cast<std::size_t>(stop - from);
    ended = stop != from + room;
    get_area::take(buf, static_cast<std::size_t>(stop - from));
  }
  a[used] = '\0';
  return ended || in.eof();
}

} // namespace

int main() {
  own_streams();
  char b = 'n';
  name_part a;
  // Each prompt is flushed before its read.  The read flushes std::cout, tied
  // to std::cin, too, but the standard lets a library skip that while the
  // put area is empty, as it may always be for an unbuffered stream.
  std::cout << "Enter Your Name : " << std::flush;
  a[0] = '\0';
  // The sentry passes over the blanks before the name, or fails at the end.
  // A NUL there is only looked at: it stays in the input for the next reader.
  bool ended = !std::istream::sentry(std::cin) || std::cin.peek() == '\0';
  // A name longer than `a` is shown as it is read, `a` reused for each part.
  bool first = true;
  do {
    ended = ended || read_word(std::cin, a);
    if (first) {
      if (a[0] == '\0') {
        std::cin.setstate(std::ios_base::failbit); // no name, so no answer is read
      }
      std::cout << "Your Name is : ";
      first = false;
    }
    std::cout << a.data();
  } while (!ended);
  std::cout << "\n Perss 'e' To Exit.." << std::flush;
  // A failed name read leaves std::cin failed, so this returns at once.
  std::cin >> b;
  return 0;
}
