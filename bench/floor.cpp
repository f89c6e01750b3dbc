// What the dialogue costs with no C++ runtime to start: askname's texts for a
// typical input, in raw read and write, and no iostreams.
#include <unistd.h>

#include <array>
#include <cstddef>
#include <string_view>

namespace {
void put(std::string_view text) { static_cast<void>(!write(1, text.data(), text.size())); }
} // namespace

int main() {
  static std::array<char, 1 << 16> line;
  put("Enter Your Name : ");
  ssize_t const n = read(0, line.data(), line.size());
  std::size_t length = 0;
  while (n > 0 && length < static_cast<std::size_t>(n) && line.at(length) > ' ') {
    ++length;
  }
  put("Your Name is : ");
  put({line.data(), length});
  put("\n Perss 'e' To Exit..");
}
