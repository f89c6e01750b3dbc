/* The floor askname is measured against: the same dialogue for a typical
 * input, in C with raw read and write, linked as askname is (the C library
 * shared, PIE). */
#include <unistd.h>

static void put(const char *s, size_t n) { (void)!write(1, s, n); }

int main(void) {
  static char buf[1 << 16];
  put("Enter Your Name : ", 18);
  ssize_t n = read(0, buf, sizeof buf);
  size_t len = 0;
  while (n > 0 && len < (size_t)n && buf[len] > ' ') {
    ++len;
  }
  put("Your Name is : ", 15);
  put(buf, len);
  put("\n Perss 'e' To Exit..", 21);
  return 0;
}
