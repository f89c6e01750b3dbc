// At a Windows console, std::cin and std::cout read and write through the
// console's UTF-16 calls.  Through the C runtime, the console would hand over
// what was typed in its code page, and a letter outside it would be lost.
// Files and pipes are left to the C runtime: bytes, in text mode.

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

// NOLINTBEGIN(readability-magic-numbers): UTF-8 and UTF-16 are these numbers.

constexpr wchar_t ctrl_z = 0x1A;

bool is_high_surrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// What was typed, as UTF-8.  Ctrl-Z ends the input, as a 0x1A byte does in
// text mode; CR LF stays as typed, as both are blanks to the dialogue and
// nothing read at a console is given back to anyone.
class console_reader : public std::streambuf {
public:
  explicit console_reader(HANDLE console) : console_(console) {}

protected:
  int_type underflow() override {
    bytes_.clear();
    while (bytes_.empty() && !ended_) {
      // Ctrl-Z hands the line over at once, without Enter, as Ctrl-D does at
      // a Unix terminal.
      CONSOLE_READCONSOLE_CONTROL control{sizeof control, 0, 1UL << ctrl_z, 0};
      DWORD got = 0;
      SetLastError(ERROR_SUCCESS);
      BOOL const ok = ReadConsoleW(console_, units_.data() + held_, static_cast<DWORD>(units_.size() - held_),
                                   &got, &control);
      if (got == 0 && GetLastError() == ERROR_OPERATION_ABORTED) {
        // Ctrl-C: the console's default handler is ending the process, and
        // the dialogue must not run on to its end meanwhile.
        Sleep(100);
        continue;
      }
      wchar_t *const end = units_.data() + held_ + (ok != 0 ? got : 0);
      bool const full = end == units_.data() + units_.size();
      held_ = 0;
      wchar_t *const stop = std::find(units_.data(), end, ctrl_z);
      auto count = static_cast<std::size_t>(stop - units_.data());
      ended_ = stop != end || ok == 0 || got == 0;
      // Only a full buffer can cut a pair in two: the rest of the line, its
      // second half with it, is waiting for the next read.
      if (full && !ended_ && is_high_surrogate(units_[count - 1])) {
        held_ = 1;
        --count;
      }
      // A surrogate without its partner becomes U+FFFD.
      int const units = static_cast<int>(count);
      bytes_.resize(static_cast<std::size_t>(
          WideCharToMultiByte(CP_UTF8, 0, units_.data(), units, nullptr, 0, nullptr, nullptr)));
      WideCharToMultiByte(CP_UTF8, 0, units_.data(), units, bytes_.data(), static_cast<int>(bytes_.size()),
                          nullptr, nullptr);
      if (held_ != 0) {
        units_[0] = units_[count];
      }
    }
    setg(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size());
    return bytes_.empty() ? traits_type::eof() : traits_type::to_int_type(bytes_.front());
  }

private:
  HANDLE console_;
  std::array<wchar_t, 4096> units_{}; // a line's worth, or more
  std::size_t held_ = 0;              // a pair's first half, kept at units_[0] for its second
  std::string bytes_;
  bool ended_ = false;
};

// What is written, as UTF-8, shown before the write returns: no wait for a
// flush, which a library may skip.  Bytes that are not UTF-8 show as U+FFFD.
class console_writer : public std::streambuf {
public:
  explicit console_writer(HANDLE console) : console_(console) {}
  ~console_writer() override { show(held_); } // a sequence never finished

protected:
  std::streamsize xsputn(char const *s, std::streamsize n) override {
    held_.append(s, static_cast<std::size_t>(n));
    // A sequence that the next write may finish waits for it: a lead byte
    // with fewer continuation bytes behind it than it calls for.
    std::size_t lead = held_.size();
    while (lead > 0 && held_.size() - lead < 3 && (held_[lead - 1] & 0xC0) == 0x80) {
      --lead;
    }
    auto const first = static_cast<unsigned char>(lead > 0 ? held_[--lead] : 0);
    std::size_t const length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 0;
    std::size_t const ready = length > held_.size() - lead ? lead : held_.size();
    show(held_.substr(0, ready));
    held_.erase(0, ready);
    return n;
  }

  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      char const one = traits_type::to_char_type(c);
      xsputn(&one, 1);
    }
    return traits_type::not_eof(c);
  }

private:
  // LF as CR LF, as text mode writes it, so that the next line starts at the
  // left.  A console that fails to show text fails like any other output:
  // the rest is dropped, quietly.
  void show(std::string bytes) {
    for (std::size_t at = bytes.find('\n'); at != std::string::npos; at = bytes.find('\n', at + 2)) {
      bytes.insert(at, 1, '\r');
    }
    int const size = static_cast<int>(bytes.size());
    std::wstring units(
        static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, units.data(), static_cast<int>(units.size()));
    // A console may show less than it was given: the rest goes again.
    DWORD shown = 0;
    for (std::size_t at = 0; at < units.size(); at += shown) {
      auto const left = static_cast<DWORD>(units.size() - at);
      if (WriteConsoleW(console_, units.data() + at, left, &shown, nullptr) == 0 || shown == 0) {
        return;
      }
    }
  }

  HANDLE console_;
  std::string held_;
};

// NOLINTEND(readability-magic-numbers)

// Put under std::cin and std::cout before main() starts: the standard
// streams are constructed before the objects of any file that includes
// <iostream>, and this one is destroyed, so the last letter shown, before
// they are flushed for the last time.  sync_with_stdio(false) would put
// libstdc++'s own buffers back, so askname never calls it.
class console_streams {
public:
  console_streams() noexcept {
    DWORD mode = 0;
    if (GetConsoleMode(input_handle_, &mode) != 0) {
      saved_input_ = std::cin.rdbuf(&reader_);
    }
    if (GetConsoleMode(output_handle_, &mode) != 0) {
      saved_output_ = std::cout.rdbuf(&writer_);
    }
  }
  ~console_streams() {
    if (saved_input_ != nullptr) {
      std::cin.rdbuf(saved_input_);
    }
    if (saved_output_ != nullptr) {
      std::cout.rdbuf(saved_output_);
    }
  }

private:
  HANDLE input_handle_ = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE output_handle_ = GetStdHandle(STD_OUTPUT_HANDLE);
  console_reader reader_{input_handle_};
  console_writer writer_{output_handle_};
  std::streambuf *saved_input_ = nullptr;
  std::streambuf *saved_output_ = nullptr;
};

console_streams const streams;

} // namespace
