/* Services for freestanding 64-bit test harnesses (Linux system calls, no C library). */
#ifndef BRISKO_X64_HARNESS_H
#define BRISKO_X64_HARNESS_H

/* Defined by the harness: its return value becomes the exit code. */
int harness_main(void);

void harness_exit(int code);
void harness_write(const char* text, long long length);
void harness_print(const char* text);
void harness_print_int(long long value);
int harness_strlen(const char* text);

/* The calling convention of Windows x64 code: arguments in rcx, rdx, r8, r9 with 32 bytes of
 * shadow space. The harness is a System V program on Linux, so the functions of the code under
 * test are declared with it, and the stubs that code calls are defined with it. */
#define HARNESS_MSABI __attribute__((ms_abi))

#endif
