// The yardstick for a typical dialogue: the plainest iostream program that
// does askname's job for a short name.
#include <iomanip>
#include <iostream>

int main() {
  char b = 'n';
  char a[20];
  std::cout << "Enter Your Name : ";
  std::cin >> std::setw(20) >> a;
  std::cout << "Your Name is : " << a << "\n Perss 'e' To Exit..";
  std::cin >> b;
}
