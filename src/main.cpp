// askname: asks for a name on the console and shows it back.

#include <array>
#include <csignal>
#include <cstddef>
#include <ios>
#include <iostream>
#include <istream>
#include <string>

#ifndef _WIN32
#include <stdio.h> // NOLINT(modernize-deprecated-headers): POSIX declares ftello, fseeko and fileno here
#include <sys/types.h>
#include <unistd.h>
#endif

namespace {

constexpr std::size_t block_bytes = 4096;

bool ends_word(char c) { return c == '\0' || c == ' ' || (c >= '\t' && c <= '\r'); }

// operator>> into a string would stop only at whitespace; the name also ends
// at a NUL, which must stay in the input to become the answer.  The word grows
// as needed, so a long name (a UTF-8 one reaches 20 bytes soon) is never cut.
std::istream &read_word(std::istream &in, std::string &word) {
  word.clear();
  // The sentry flushes the tied std::cout, so the prompt is on screen before
  // we wait, and passes over leading whitespace.
  std::istream::sentry const ok(in);
  if (!ok) {
    return in;
  }
  using traits = std::istream::traits_type;
  std::ios_base::iostate state = std::ios_base::goodbit;
  std::streambuf &buf = *in.rdbuf();
  // Bytes join the word a block at a time: a byte at a time, a long name
  // took a tenth longer and nearly twice its own size in memory.
  std::array<char, block_bytes> block{};
  std::size_t held = 0;
  // A stream buffer may throw when the read itself fails, and the word when
  // it outgrows memory: like the standard extractors, we keep what was read
  // and mark the stream bad, which ends the input.
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
      if (held == block.size()) {
        word.append(block.data(), held);
        held = 0;
      }
      block[held++] = traits::to_char_type(c);
    }
  } catch (...) {
    state |= std::ios_base::badbit;
  }
  try {
    word.append(block.data(), held);
  } catch (...) {
    state |= std::ios_base::badbit;
  }
  if (word.empty()) {
    state |= std::ios_base::failbit;
  }
  in.setstate(state);
  return in;
}

// std::cin, in step with C stdio as it is by default, reads through stdin,
// whose position is thus just past the last byte the dialogue took; a shell
// script expects the rest of a seekable input to be left there for the next
// reader.  C libraries differ in what fflush() and exit() do with stdio's
// read-ahead.  Where fflush() seeks back over it and drops it, exit() then
// finds nothing to give back; where it does not, exit() gives back nothing
// either.  So stdin is set to its own position, flushed, and the offset then
// set outright.  A pipe or terminal cannot seek: what was read ahead there
// is gone.
void give_back_unread() {
#ifndef _WIN32 // text mode: a position there is not a count of bytes taken
  off_t const at = ftello(stdin);
  if (at >= 0 && fseeko(stdin, at, SEEK_SET) == 0) {
    // Unchecked: where fflush() fails on an input stream, lseek() still
    // sets the offset.
    static_cast<void>(fflush(stdin));
    static_cast<void>(lseek(fileno(stdin), at, SEEK_SET));
  }
#endif
}

} // namespace

int main() {
#ifdef SIGPIPE
  // A reader that has gone away must not kill us: like any other failed
  // write it is ignored, and the status stays 0.
  static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
#endif
  char b = 'n';
  std::string a;
  std::cout << "Enter Your Name : ";
  read_word(std::cin, a);
  std::cout << "Your Name is : " << a << "\n Perss 'e' To Exit..";
  // A failed name read leaves std::cin failed, so this returns at once.
  std::cin >> b;
  give_back_unread();
  return 0;
}
