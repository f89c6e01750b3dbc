// std::cin and std::cout over descriptors 0 and 1, with buffers of askname's
// own rather than C stdio's: stdio takes EAGAIN from a descriptor that a
// parent left non-blocking for the end of the input, or for a failed write,
// and what it read ahead is given back to a seekable input on some C
// libraries and lost on others.

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <iostream>
#include <streambuf>

#include "streams.hpp"

namespace {

// Whether a call that failed is worth making again, once `fd` is ready for
// `events`.  The descriptor's flags are shared with whoever handed it over,
// so a non-blocking one is waited on, not changed.  A wait that cannot be
// made (where no descriptor may be polled) fails the stream as the call
// would have: tried again, it would only spin.
bool again(int fd, short events) {
#if EWOULDBLOCK != EAGAIN // the same number on most systems, but POSIX allows two
  errno = errno == EWOULDBLOCK ? EAGAIN : errno;
#endif
  if (errno == EAGAIN) {
    pollfd ready{fd, events, 0};
    return poll(&ready, 1, -1) >= 0 || errno == EINTR;
  }
  return errno == EINTR;
}

class fd_reader : public std::streambuf {
public:
  // What was read but not taken goes back to a seekable input, for the next
  // reader there; a pipe or a terminal cannot take it back.
  void give_back() {
    if (gptr() != egptr() && lseek(0, gptr() - egptr(), SEEK_CUR) >= 0) {
      setg(gptr(), gptr(), gptr());
    }
  }

protected:
  int_type underflow() override {
    while (!ended_) {
      ssize_t const got = read(0, bytes_.data(), bytes_.size());
      if (got > 0) {
        setg(bytes_.data(), bytes_.data(), bytes_.data() + got);
        return traits_type::to_int_type(bytes_[0]);
      }
      // The end, or an error taken as the end: either is taken once, as a
      // terminal says it once.
      ended_ = got == 0 || !again(0, POLLIN);
    }
    return traits_type::eof();
  }

private:
  std::array<char, 65536> bytes_; // not cleared: filling 64 KiB would cost more than a dialogue
  bool ended_ = false;
};

// Unbuffered: each insertion is written at once, whole, so each prompt is on
// screen before the read that follows it, flushed or not.  A write that fails
// outright (a reader gone, a full disk, a file-size limit) ends the output,
// quietly: the signals of the first and the last are ignored, so that they
// fail the write and do not end the run.
class fd_writer : public std::streambuf {
protected:
  std::streamsize xsputn(char const *s, std::streamsize n) override {
    std::streamsize done = 0;
    while (done < n) {
      ssize_t const put = write(1, s + done, static_cast<std::size_t>(n - done));
      if (put > 0) {
        done += put;
      } else if (put == 0 || !again(1, POLLOUT)) {
        break;
      }
    }
    return done;
  }

  int_type overflow(int_type c) override {
    char const byte = traits_type::to_char_type(c);
    bool const put = traits_type::eq_int_type(c, traits_type::eof()) || xsputn(&byte, 1) == 1;
    return put ? traits_type::not_eof(c) : traits_type::eof();
  }
};

class own_buffers {
public:
  own_buffers() : saved_in_(std::cin.rdbuf(&in_)), saved_out_(std::cout.rdbuf(&out_)) {
    static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
    static_cast<void>(std::signal(SIGXFSZ, SIG_IGN));
  }
  ~own_buffers() {
    in_.give_back();
    std::cin.rdbuf(saved_in_);
    std::cout.rdbuf(saved_out_);
  }
  own_buffers(own_buffers const &) = delete;
  own_buffers &operator=(own_buffers const &) = delete;

private:
  fd_reader in_;
  fd_writer out_;
  std::streambuf *saved_in_, *saved_out_;
};

} // namespace

void own_streams() { static own_buffers const buffers; }
