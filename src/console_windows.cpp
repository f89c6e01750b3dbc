// At a Windows console, std::cin and std::cout read and write through the
// console's UTF-16 calls.  Through the C runtime, the console would hand over
// what was typed in its code page, and a letter outside it would be lost.
// Files and pipes are left to the C runtime: bytes, in text mode.

#include "streams.hpp"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <iostream>
#include <streambuf>
#include <string>

namespace {

constexpr wchar_t ctrl_z = 0x1A;

// What was typed, as UTF-8.  Ctrl-Z ends the input for good, wherever it is
// typed; what came before it on the line is kept.  CR LF stays as typed: both
// are blanks to the dialogue, and nothing read at a console is given back.
class console_reader : public std::streambuf {
public:
  explicit console_reader(HANDLE console) : console_(console) {}

protected:
  int_type underflow() override {
    int size = 0;
    while (size == 0 && !ended_) {
      std::size_t const got = read_keys();
      wchar_t *const end = units_.data() + held_ + got;
      wchar_t *const stop = std::find(units_.data(), end, ctrl_z);
      ended_ = ended_ || stop != end;
      size = convert(stop);
    }
    setg(bytes_.data(), bytes_.data(), bytes_.data() + size);
    return size == 0 ? traits_type::eof() : traits_type::to_int_type(bytes_[0]);
  }

private:
  // Reads what is typed into units_, after a unit held there; gives how many
  // units came.  A failed read, or one of nothing, is the end of the input.
  std::size_t read_keys() {
    for (;;) {
      // Ctrl-Z hands over what is typed at once, without Enter.
      CONSOLE_READCONSOLE_CONTROL control{sizeof control, 0, 1UL << ctrl_z, 0};
      DWORD got = 0;
      SetLastError(ERROR_SUCCESS);
      BOOL const ok = ReadConsoleW(console_, units_.data() + held_, static_cast<DWORD>(units_.size() - held_),
                                   &got, &control);
      if (ok == 0 || got != 0 || GetLastError() != ERROR_OPERATION_ABORTED) {
        ended_ = ok == 0 || got == 0;
        return ok != 0 ? got : 0;
      }
      // Ctrl-C: the console's default handler is ending the process, and
      // the dialogue must not run on to its end meanwhile.
      Sleep(100);
    }
  }

  // Converts the units before `stop` into bytes_, as UTF-8; gives how many
  // bytes they make, 0 for none (as for a failure).  A surrogate without its
  // partner becomes U+FFFD, but a pair's first half at the end waits for its
  // second, kept at units_[0].  In line mode a read ends at CR LF or a full
  // buffer, so only a full one can end between the two, and the rest of the
  // line is already there; without line input, which a parent may have
  // turned off, a read hands over keys as they come.
  int convert(wchar_t const *stop) {
    bool const half = !ended_ && stop != units_.data() && (stop[-1] & 0xFC00) == 0xD800;
    int const size = WideCharToMultiByte(CP_UTF8, 0, units_.data(),
                                         static_cast<int>(stop - units_.data()) - (half ? 1 : 0),
                                         bytes_.data(), static_cast<int>(bytes_.size()), nullptr, nullptr);
    if (half) {
      units_[0] = stop[-1];
    }
    held_ = half ? 1 : 0;
    return size;
  }

  static constexpr std::size_t line_units = 4096; // a typed line of Windows 10's console
  HANDLE console_;
  std::array<wchar_t, line_units> units_{};
  std::size_t held_ = 0;                     // a pair's first half, kept at units_[0] for its second
  std::array<char, 3 * line_units> bytes_{}; // three bytes at most for each unit
  bool ended_ = false;
};

// How many of the bytes may go to a converter: not a sequence that their end
// cuts short, into whose U+FFFD a converter may take the bytes after it
// (Wine's takes up to two, letters too).  It is held back from the earliest
// lead byte among the last three whose length runs past the end.
std::size_t whole(std::string const &bytes) {
  std::size_t ready = bytes.size();
  for (std::size_t at = bytes.size(); at > 0 && bytes.size() - at < 3;) {
    auto const byte = static_cast<unsigned char>(bytes[--at]);
    std::size_t const length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    ready = at + length > bytes.size() ? at : ready;
  }
  return ready;
}

// What is written, as UTF-8, shown by each write, not at a flush (which a
// library may skip); only a sequence that a write cuts short waits for the
// next.  Bytes that are not UTF-8 show as Windows' converter makes them.
class console_writer : public std::streambuf {
public:
  explicit console_writer(HANDLE console) : console_(console) {}
  ~console_writer() override { show(held_.size()); } // a sequence never finished

protected:
  // In pieces that end on a sequence's boundary, so that no size overflows an
  // int, and a cut-short sequence waits for the next piece or write.
  std::streamsize xsputn(char const *s, std::streamsize n) override {
    for (auto left = static_cast<std::size_t>(n);;) {
      std::size_t const take = std::min(left, piece_bytes - held_.size());
      held_.append(s, take);
      s += take;
      left -= take;
      show(whole(held_));
      if (left == 0) {
        return n;
      }
    }
  }

  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      char const one = traits_type::to_char_type(c);
      xsputn(&one, 1);
    }
    return traits_type::not_eof(c);
  }

private:
  static constexpr std::size_t piece_bytes = 8192;

  // Shows the first `size` bytes held.  LF as CR LF, as text mode writes it,
  // so that the next line starts at the left.  A console that fails to show
  // text fails like any other output: the rest is dropped, quietly.
  void show(std::size_t size) {
    std::string bytes;
    for (char const byte : held_.substr(0, size)) {
      if (byte == '\n') {
        bytes += '\r';
      }
      bytes += byte;
    }
    held_.erase(0, size);
    // Nothing to convert gives 0, as a failure does.
    int const units = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                          units_.data(), static_cast<int>(units_.size()));
    // A console may show less than it was given: the rest goes again.
    DWORD shown = 0;
    for (int at = 0; at < units; at += static_cast<int>(shown)) {
      if (WriteConsoleW(console_, units_.data() + at, static_cast<DWORD>(units - at), &shown, nullptr) == 0 ||
          shown == 0) {
        return;
      }
    }
  }

  HANDLE console_;
  std::string held_; // less than a piece; after each write, at most a cut-short sequence
  std::array<wchar_t, 2 * piece_bytes> units_{}; // a piece, its line feeds as CR LF
};

// Puts a console's buffer under a standard stream while it lives, if the
// handle is a console.  sync_with_stdio(false) would put libstdc++'s own
// buffers back, so askname never calls it.
template <class Buffer> class on_console {
public:
  on_console(std::ios &stream, DWORD handle) : stream_(stream), buffer_(GetStdHandle(handle)) {
    DWORD mode = 0;
    saved_ = GetConsoleMode(GetStdHandle(handle), &mode) != 0 ? stream.rdbuf(&buffer_) : nullptr;
  }
  ~on_console() {
    if (saved_ != nullptr) {
      stream_.rdbuf(saved_);
    }
  }

private:
  std::ios &stream_;
  Buffer buffer_;
  std::streambuf *saved_;
};

} // namespace

void own_streams() {
  static on_console<console_reader> const input(std::cin, STD_INPUT_HANDLE);
  static on_console<console_writer> const output(std::cout, STD_OUTPUT_HANDLE);
}
