/* The entry point and the Linux system calls of the 32-bit test programs; the stand-ins for the
 * functions compiled code calls are in runtime_stubs.inc. */
#include "x86_harness.h"

void harness_exit(int code) {
  __asm__ volatile("int $0x80" : : "a"(1), "b"(code) : "memory");
  for (;;) {
  }
}

void harness_write(const char* text, int length) {
  int result;
  __asm__ volatile("int $0x80" : "=a"(result) : "a"(4), "b"(1), "c"(text), "d"(length) : "memory");
  (void)result;
}

void harness_print_int(int value) {
  char buffer[12];
  int pos = 12;
  unsigned magnitude = value < 0 ? 0u - (unsigned)value : (unsigned)value;
  do {
    buffer[--pos] = (char)('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) buffer[--pos] = '-';
  harness_write(buffer + pos, 12 - pos);
}

void harness_entry(void) {
  harness_exit(harness_main());
}

#include "runtime_stubs.inc"
