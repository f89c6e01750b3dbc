// askname: asks for a name on the console and shows it back.

#include <csignal>
#include <cstddef>
#include <iostream>
#include <string>

#include "console.hpp"

#ifndef _WIN32
#include <stdio.h> // NOLINT(modernize-deprecated-headers): POSIX declares ftello, fileno and off_t here
#include <unistd.h>
#endif

namespace {

// The word takes room a piece at a time and its bytes one by one: for a
// name of 5 MB, callgrind counts 0.94 times the instructions of the library's
// own operator>>, with libstdc++ as with libc++.  The piece is below the
// capacity each library first grows a string to (20 bytes or more), so the
// library's own step, not the piece, sets each new capacity, as it would
// byte by byte.
constexpr std::size_t piece_bytes = 16;

bool ends_word(char c) { return c == '\0' || c == ' ' || (c >= '\t' && c <= '\r'); }

// operator>> into a string would stop only at whitespace; the name also ends
// at a NUL, which must stay in the input to become the answer.
std::istream &read_word(std::istream &in, std::string &word) {
  word.clear();
  // The sentry passes over leading whitespace.
  std::istream::sentry const ok(in);
  if (!ok) {
    return in;
  }
  using traits = std::istream::traits_type;
  std::ios_base::iostate state = std::ios_base::goodbit;
  std::streambuf &buf = *in.rdbuf();
  std::size_t used = 0;
  // A name that outgrows memory ends like a failed read: room is taken
  // before a byte is, so the name keeps every byte taken from the input and
  // the rest stays there.  The stream is marked bad, which ends the input.
  try {
    // sgetc() looks at the next byte without taking it, so the byte that ends
    // the word stays in the input with no putback needed.  Once it has said
    // end of input it is not asked again: a terminal says so only once.
    for (auto c = buf.sgetc();; c = buf.snextc()) {
      if (traits::eq_int_type(c, traits::eof())) {
        state |= std::ios_base::eofbit;
        break;
      }
      if (ends_word(traits::to_char_type(c))) {
        break;
      }
      if (used == word.size()) {
        word.resize(used + piece_bytes);
      }
      word[used++] = traits::to_char_type(c);
    }
  } catch (...) {
    state |= std::ios_base::badbit;
  }
  word.resize(used);
  if (word.empty()) {
    state |= std::ios_base::failbit;
  }
  in.setstate(state);
  return in;
}

// A shell script expects the rest of a seekable input to be left for the
// next reader.  std::cin, in step with C stdio as it is by default, reads
// through stdin, so ftello() is just past the last byte the dialogue took.
// fflush() drops stdio's read-ahead: glibc and musl would otherwise give it
// back at exit(), relative to the lseek() below.  FreeBSD leaves the offset
// at the end of the read-ahead, and NetBSD, OpenBSD up to 7.7 and Android
// fail with EBADF, hence no check: on those the lseek() alone gives it back.
// Where the descriptor does not seek, ftello() fails, and what was read
// ahead is gone.
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
  std::string a;
  // Each prompt is flushed before its read.  The read flushes std::cout, tied
  // to std::cin, too, but the standard lets a library skip that while the
  // put area is empty, as it may always be for a stream in step with stdio.
  std::cout << "Enter Your Name : " << std::flush;
  read_word(std::cin, a);
  std::cout << "Your Name is : " << a << "\n Perss 'e' To Exit.." << std::flush;
  // A failed name read leaves std::cin failed, so this returns at once.
  std::cin >> b;
  give_back_unread();
  return 0;
}
