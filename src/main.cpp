// askname: asks for a name on the console and shows it back.

#include <array>
#include <csignal>
#include <cstddef>
#include <iostream>

#include "console.hpp"

#ifndef _WIN32
#include <stdio.h> // NOLINT(modernize-deprecated-headers): POSIX declares ftello, fileno and off_t here
#include <unistd.h>
#endif

namespace {

// Room for the longest line a terminal or console hands over at once: 4095
// bytes at a Linux terminal, 4096 UTF-16 units (12 KiB of UTF-8) at a
// Windows console.  A longer name passes through it a part at a time.
constexpr std::size_t name_room = 16384;
using name_part = std::array<char, name_room>;

bool ends_word(char c) { return c == '\0' || c == ' ' || (c >= '\t' && c <= '\r'); }

// Takes the name's next bytes into `a`, as many as it holds, NUL-ended; true
// once the name has ended.  One sbumpc() a byte, not sgetc() first: on a
// stream in step with stdio, one getc() a byte instead of three.  A blank
// that ends the name goes with it, as the answer's read would take it next
// anyway; a NUL after a name is the answer, so it goes back for that read
// (libc++ keeps it in its own buffer, not in stdin, which that read passes).
bool read_word(std::istream &in, name_part &a) {
  using traits = std::istream::traits_type;
  std::streambuf &buf = *in.rdbuf();
  std::size_t used = 0;
  for (;;) {
    auto const c = buf.sbumpc();
    if (traits::eq_int_type(c, traits::eof())) {
      // A terminal says end of input once, so it is not asked again.
      in.setstate(std::ios_base::eofbit);
      break;
    }
    char const byte = traits::to_char_type(c);
    if (ends_word(byte)) {
      if (byte == '\0') {
        buf.sputbackc(byte);
      }
      break;
    }
    a[used++] = byte;
    if (used == a.size() - 1) {
      a[used] = '\0';
      return false;
    }
  }
  a[used] = '\0';
  return true;
}

// A shell script expects the rest of a seekable input to be left for the
// next reader.  std::cin, in step with C stdio as it is by default, reads
// through stdin, so ftello() is just past the last byte the dialogue took.
// Some C libraries give stdio's read-ahead back to the descriptor at exit()
// and some do not (tests/stdio_standin.c names them); fflush() drops it
// where it can, and lseek() puts the offset where ftello() said, so every
// one ends at that offset.  Where the descriptor does not seek, ftello()
// fails, and what was read ahead is gone.
void give_back_unread() {
#ifndef _WIN32 // text mode: a position there is not a count of bytes taken
  off_t const at = ftello(stdin);
  if (at >= 0) {
    static_cast<void>(fflush(stdin));
    static_cast<void>(lseek(fileno(stdin), at, SEEK_SET));
  }
#endif
}

} // namespace

int main() {
  use_console();
#ifdef SIGPIPE
  // A reader that has gone away must not kill us: like any other failed
  // write it is ignored, and the status stays 0.
  static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
#endif
  char b = 'n';
  name_part a;
  // Each prompt is flushed before its read.  The read flushes std::cout, tied
  // to std::cin, too, but the standard lets a library skip that while the
  // put area is empty, as it may always be for a stream in step with stdio.
  std::cout << "Enter Your Name : " << std::flush;
  a[0] = '\0';
  // The sentry passes over the blanks before the name, or fails at the end.
  // A NUL there is only looked at: it stays in the input for the next reader.
  bool ended = !std::istream::sentry(std::cin) || std::cin.peek() == '\0' || read_word(std::cin, a);
  if (a[0] == '\0') {
    std::cin.setstate(std::ios_base::failbit); // no name, so no answer is read
  }
  std::cout << "Your Name is : ";
  // A name longer than `a` is shown as it is read, `a` reused for each part.
  for (; !ended; ended = read_word(std::cin, a)) {
    std::cout << a.data();
  }
  std::cout << a.data() << "\n Perss 'e' To Exit.." << std::flush;
  // A failed name read leaves std::cin failed, so this returns at once.
  std::cin >> b;
  give_back_unread();
  return 0;
}
