// At a Windows console, std::cin and std::cout read and write through the
// console's UTF-16 calls.  Through the C runtime, the console would hand over
// what was typed in its code page, and a letter outside it would be lost.
// Files and pipes are left to the C runtime: bytes, in text mode.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <array>
#include <cstddef>
#include <ios>
#include <iostream>
#include <streambuf>
#include <string>

namespace {

// NOLINTBEGIN(readability-magic-numbers): UTF-8 and UTF-16 are these numbers.

constexpr char32_t replacement = 0xFFFD;

void append_utf8(std::string &out, char32_t cp) {
  auto const put = [&out](char32_t bits) { out.push_back(static_cast<char>(bits)); };
  if (cp < 0x80) {
    put(cp);
  } else if (cp < 0x800) {
    put(0xC0 | cp >> 6);
    put(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    put(0xE0 | cp >> 12);
    put(0x80 | (cp >> 6 & 0x3F));
    put(0x80 | (cp & 0x3F));
  } else {
    put(0xF0 | cp >> 18);
    put(0x80 | (cp >> 12 & 0x3F));
    put(0x80 | (cp >> 6 & 0x3F));
    put(0x80 | (cp & 0x3F));
  }
}

// What is typed, as UTF-8, with the line ends and the end of input that the
// C runtime's text mode gives: CR LF as LF, and Ctrl-Z (U+001A) as the end.
class console_reader : public std::streambuf {
public:
  explicit console_reader(HANDLE console) : console_(console) {}

protected:
  int_type underflow() override {
    bytes_.clear();
    // A pair's first half, or a CR, may end one read with its partner in the
    // next: the rest of the same line, handed over without a wait.
    while (bytes_.empty() && !ended_) {
      std::array<wchar_t, 4096> units{};
      DWORD got = 0;
      SetLastError(ERROR_SUCCESS);
      BOOL const ok = ReadConsoleW(console_, units.data(), static_cast<DWORD>(units.size()), &got, nullptr);
      if (got == 0 && GetLastError() == ERROR_OPERATION_ABORTED) {
        // Ctrl-C: the console's default handler is ending the process, and
        // the dialogue must not run on to its end meanwhile.
        Sleep(100);
      } else if (ok == 0 || got == 0) {
        ended_ = true;
      } else {
        decode(units.data(), got);
      }
    }
    if (ended_) {
      finish();
    }
    setg(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size());
    return bytes_.empty() ? traits_type::eof() : traits_type::to_int_type(bytes_.front());
  }

private:
  void decode(wchar_t const *units, DWORD count) {
    for (DWORD i = 0; i < count && !ended_; ++i) {
      char32_t const unit = units[i];
      if (high_ != 0) {
        bool const low = unit >= 0xDC00 && unit <= 0xDFFF;
        add(low ? 0x10000 + ((high_ - 0xD800) << 10) + (unit - 0xDC00) : replacement);
        high_ = 0;
        if (low) {
          continue;
        }
      }
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        high_ = unit;
      } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
        add(replacement);
      } else if (unit == 0x1A) {
        ended_ = true;
      } else {
        add(unit);
      }
    }
  }

  void add(char32_t cp) {
    if (cr_ && cp != '\n') {
      bytes_.push_back('\r');
    }
    cr_ = cp == '\r';
    if (!cr_) {
      append_utf8(bytes_, cp);
    }
  }

  void finish() {
    if (high_ != 0) {
      add(replacement);
      high_ = 0;
    }
    if (cr_) {
      bytes_.push_back('\r');
      cr_ = false;
    }
  }

  HANDLE console_;
  std::string bytes_;
  char32_t high_ = 0; // the first half of a surrogate pair, waiting for the second
  bool cr_ = false;   // a CR, waiting to see whether an LF follows
  bool ended_ = false;
};

// What is written, as UTF-8, shown as it is written: no wait for a flush,
// which a library may skip.  A sequence split across two writes is joined;
// bytes that are not UTF-8 show as U+FFFD, one for each maximal invalid
// run, as a UTF-8 terminal shows them.
class console_writer : public std::streambuf {
public:
  explicit console_writer(HANDLE console) : console_(console) {}
  console_writer(console_writer const &) = delete;
  console_writer &operator=(console_writer const &) = delete;
  ~console_writer() override {
    if (needed_ != 0) {
      needed_ = 0;
      add(replacement);
    }
    show();
  }

protected:
  std::streamsize xsputn(char const *s, std::streamsize n) override {
    for (std::streamsize i = 0; i < n; ++i) {
      decode(static_cast<unsigned char>(s[i]));
    }
    show();
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
  void decode(unsigned octet) {
    if (needed_ == 0) {
      if (octet < 0x80) {
        add(octet);
      } else if (octet >= 0xC2 && octet <= 0xDF) {
        needed_ = 1;
        cp_ = octet & 0x1F;
      } else if (octet >= 0xE0 && octet <= 0xEF) {
        lower_ = octet == 0xE0 ? 0xA0 : 0x80;
        upper_ = octet == 0xED ? 0x9F : 0xBF;
        needed_ = 2;
        cp_ = octet & 0x0F;
      } else if (octet >= 0xF0 && octet <= 0xF4) {
        lower_ = octet == 0xF0 ? 0x90 : 0x80;
        upper_ = octet == 0xF4 ? 0x8F : 0xBF;
        needed_ = 3;
        cp_ = octet & 0x07;
      } else {
        add(replacement);
      }
      return;
    }
    if (octet < lower_ || octet > upper_) { // the sequence so far is one invalid run
      needed_ = 0;
      add(replacement);
      decode(octet);
      return;
    }
    lower_ = 0x80;
    upper_ = 0xBF;
    cp_ = cp_ << 6 | (octet & 0x3FU);
    if (--needed_ == 0) {
      add(cp_);
    }
  }

  void add(char32_t cp) {
    if (cp == '\n') { // as text mode writes it, so that the next line starts at the left
      units_ += L"\r\n";
    } else if (cp < 0x10000) {
      units_.push_back(static_cast<wchar_t>(cp));
    } else {
      units_.push_back(static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10)));
      units_.push_back(static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
    if (units_.size() >= 8192) { // whole letters only, in calls of a size every console takes
      show();
    }
  }

  // A console that fails to show text fails like any other output: ignored.
  void show() {
    if (!units_.empty()) {
      DWORD shown = 0;
      static_cast<void>(
          WriteConsoleW(console_, units_.data(), static_cast<DWORD>(units_.size()), &shown, nullptr));
      units_.clear();
    }
  }

  HANDLE console_;
  std::wstring units_;
  int needed_ = 0; // continuation bytes still to come
  char32_t cp_ = 0;
  unsigned lower_ = 0x80, upper_ = 0xBF; // the range the next continuation byte must fall in
};

// NOLINTEND(readability-magic-numbers)

bool is_console(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

// Put under std::cin and std::cout before main() starts: the standard
// streams are constructed before the objects of any file that includes
// <iostream>, and this one is destroyed, so the last letter shown, before
// they are flushed for the last time.
class console_streams {
public:
  console_streams() noexcept {
    if (is_console(input_handle_)) {
      saved_input_ = std::cin.rdbuf(&reader_);
    }
    if (is_console(output_handle_)) {
      saved_output_ = std::cout.rdbuf(&writer_);
    }
  }
  console_streams(console_streams const &) = delete;
  console_streams &operator=(console_streams const &) = delete;
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
