/* Services for freestanding 32-bit test harnesses (Linux system calls, no C library). */
#ifndef BRISKO_X86_HARNESS_H
#define BRISKO_X86_HARNESS_H

/* Defined by the harness: its return value becomes the exit code. */
int harness_main(void);

void harness_exit(int code);
void harness_write(const char* text, int length);
void harness_print(const char* text);
void harness_print_int(int value);
int harness_strlen(const char* text);

#define HARNESS_STDCALL __attribute__((stdcall))
#define HARNESS_CDECL __attribute__((cdecl))

#endif
