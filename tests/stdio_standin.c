/* Preloaded into a dynamically linked askname on glibc, makes its stdio treat
 * an input stream as other C libraries do, so that the suite can check
 * askname there without such a system:
 *   ASKNAME_STANDIN=ignore  fflush() on an input stream does nothing:
 *                           FreeBSD, macOS up to 10.14;
 *   ASKNAME_STANDIN=fail    it fails with EBADF: NetBSD, OpenBSD up to 7.7,
 *                           Android's bionic.
 * On all of those, exit() gives back nothing that stdio read ahead, where
 * glibc would seek back over it. */
#define _GNU_SOURCE
#include <errno.h>
#include <stdio.h>
#include <stdio_ext.h>
#include <stdlib.h>
#include <string.h>

int fflush(FILE *stream) {
  if (stream == NULL || __fwritable(stream)) {
    return fflush_unlocked(stream); /* glibc's own, less the lock */
  }
  char const *mode = getenv("ASKNAME_STANDIN");
  if (mode != NULL && strcmp(mode, "fail") == 0) {
    errno = EBADF;
    return EOF;
  }
  return 0;
}

/* Registered first, so run last of the exit handlers: glibc's own give-back
 * comes after them and finds nothing read ahead. */
static void forget_read_ahead(void) { stdin->_IO_read_ptr = stdin->_IO_read_end; }

__attribute__((constructor)) static void install(void) { atexit(forget_read_ahead); }
