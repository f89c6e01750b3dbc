// askname: asks for a name on the console and shows it back.

#include <algorithm>
#include <array>
#include <csignal>
#include <cstddef>
#include <ios>
#include <iostream>
#include <istream>
#include <string>

namespace {

constexpr std::size_t chunk_bytes = 4096;

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
  try {
    std::streambuf &buf = *in.rdbuf();
    // Bytes are taken a buffer at a time, and those after the end of the
    // word put back (they are still in the buffer, so that cannot fail): a
    // long name costs a copy per byte, not a call.
    std::array<char, chunk_bytes> chunk{};
    for (;;) {
      if (traits::eq_int_type(buf.sgetc(), traits::eof())) {
        state |= std::ios_base::eofbit;
        break;
      }
      // Only what is already buffered, so that this never waits for more.
      auto const got = buf.sgetn(chunk.data(), std::min<std::streamsize>(buf.in_avail(), chunk.size()));
      char const *const first = chunk.data();
      char const *const end = first + got;
      char const *const stop = std::find_if(first, end, ends_word);
      word.append(first, stop);
      if (stop != end) {
        for (auto left = end - stop; left > 0; --left) {
          buf.sungetc();
        }
        break;
      }
    }
  } catch (...) {
    // A stream buffer that cannot read throws (libstdc++'s does when standard
    // input is closed or a directory), as does a name larger than memory;
    // like the standard extractors, we take that as the end of the input.
    state |= std::ios_base::badbit;
  }
  if (word.empty()) {
    state |= std::ios_base::failbit;
  }
  in.setstate(state);
  return in;
}

} // namespace

int main() {
#ifdef SIGPIPE
  // A reader that has gone away must not kill us: like any other failed
  // write it is ignored, and the status stays 0.
  static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
#endif
  // Our own stream buffers are much faster than C stdio's.  std::cin stays
  // tied to std::cout, which is what flushes each prompt before a read.
  std::ios_base::sync_with_stdio(false);

  char b = 'n';
  std::string a;
  std::cout << "Enter Your Name : ";
  read_word(std::cin, a);
  std::cout << "Your Name is : " << a << "\n Perss 'e' To Exit..";
  // A failed name read leaves std::cin failed, so this returns at once.
  std::cin >> b;
  return 0;
}
