/* The floor askname is measured against: the same dialogue for a typical
 * input (its texts are src/main.cpp's), in C with raw read and write. */
#include <unistd.h>

#define PUT(text) put(text, sizeof text - 1)

static void put(const char *s, size_t n) { (void)!write(1, s, n); }

int main(void) {
  static char buf[1 << 16];
  PUT("Enter Your Name : ");
  ssize_t n = read(0, buf, sizeof buf);
  size_t len = 0;
  while (n > 0 && len < (size_t)n && buf[len] > ' ') {
    ++len;
  }
  PUT("Your Name is : ");
  put(buf, len);
  PUT("\n Perss 'e' To Exit..");
  return 0;
}
