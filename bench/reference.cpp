// The yardstick for a long name: the same C++ library's own word extraction,
// on the standard streams as they come.
#include <iostream>
#include <string>

int main() {
  std::string word;
  std::cin >> word;
  std::cout << word;
}
