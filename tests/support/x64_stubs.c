/* The entry point and the Linux system calls of the 64-bit test programs; the stand-ins for the
 * functions compiled code calls are in runtime_stubs.inc. */
#include "x64_harness.h"

void harness_exit(int code) {
  long long result;
  __asm__ volatile("syscall"
                   : "=a"(result)
                   : "a"(60LL), "D"((long long)code)
                   : "rcx", "r11", "memory");
  for (;;) {
  }
}

void harness_write(const char* text, long long length) {
  long long result;
  __asm__ volatile("syscall"
                   : "=a"(result)
                   : "a"(1LL), "D"(1LL), "S"(text), "d"(length)
                   : "rcx", "r11", "memory");
  (void)result;
}

void harness_print_int(long long value) {
  char buffer[21];
  int pos = 21;
  unsigned long long magnitude =
      value < 0 ? 0ull - (unsigned long long)value : (unsigned long long)value;
  do {
    buffer[--pos] = (char)('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) buffer[--pos] = '-';
  harness_write(buffer + pos, 21 - pos);
}

/* Linux starts a program with the stack 16-byte aligned, not 8 bytes below that as a called
 * function expects it; the attribute realigns it, for the SSE stores of compiled code. */
__attribute__((force_align_arg_pointer)) void harness_entry(void) {
  harness_exit(harness_main());
}

#include "runtime_stubs.inc"
