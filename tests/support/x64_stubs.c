/* The entry point of the 64-bit test programs and stand-ins for the functions of the PureBasic
 * libraries and of Windows that compiled x64 code calls. The stubs print the same texts as the
 * 32-bit ones (x86_stubs.c), so that tests can compare the outputs of both targets. They use
 * the Windows x64 calling convention and the undecorated names of 64-bit code: PB_<Name> with
 * the _THREAD and _UNICODE forms, Windows functions by their plain names. PureBasic integers
 * and pointers are 64 bits wide; a long (PeekL, PokeL) stays 32 bits. */
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

int harness_strlen(const char* text) {
  int n = 0;
  while (text[n] != 0) n++;
  return n;
}

void harness_print(const char* text) {
  harness_write(text, harness_strlen(text));
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

/* UTF-16 text (ASCII only) printed as bytes. */
static void print_wide(const unsigned short* text) {
  char c;
  while (*text != 0) {
    c = (char)*text++;
    harness_write(&c, 1);
  }
}

static int wide_length(const unsigned short* text) {
  int n = 0;
  while (text[n] != 0) n++;
  return n;
}

#define STUB(result, name, symbol, params)          \
  result HARNESS_MSABI name params __asm__(symbol); \
  result HARNESS_MSABI name params

/* Kernel32 */
STUB(void, stub_ExitProcess, "ExitProcess", (unsigned code)) {
  harness_exit((int)code);
}
STUB(unsigned, stub_GetTickCount, "GetTickCount", (void)) {
  return 123456u;
}
STUB(unsigned, stub_GetCurrentProcessId, "GetCurrentProcessId", (void)) {
  return 42u;
}
static unsigned last_error;
STUB(unsigned, stub_GetLastError, "GetLastError", (void)) {
  return last_error;
}
STUB(void, stub_SetLastError, "SetLastError", (unsigned code)) {
  last_error = code;
}
STUB(void, stub_Sleep, "Sleep", (unsigned ms)) {
  (void)ms;
}
STUB(long long, stub_GetModuleHandleA, "GetModuleHandleA", (const char* name)) {
  return name == 0 ? 0x400000 : 0;
}
STUB(int, stub_lstrlenA, "lstrlenA", (const char* text)) {
  return harness_strlen(text);
}
STUB(int, stub_lstrlenW, "lstrlenW", (const unsigned short* text)) {
  return wide_length(text);
}

/* User32 */
STUB(int, stub_MessageBoxA, "MessageBoxA",
     (void* window, const char* text, const char* title, unsigned flags)) {
  (void)window;
  (void)flags;
  harness_print("MessageBox ");
  harness_print(title);
  harness_print(": ");
  harness_print(text);
  harness_print("\n");
  return 1;
}
STUB(int, stub_MessageBoxW, "MessageBoxW",
     (void* window, const unsigned short* text, const unsigned short* title, unsigned flags)) {
  (void)window;
  (void)flags;
  harness_print("MessageBox ");
  print_wide(title);
  harness_print(": ");
  print_wide(text);
  harness_print("\n");
  return 1;
}

/* Requester */
static long long show_requester(const char* title, const char* text) {
  harness_print(title);
  harness_print(": ");
  harness_print(text);
  harness_print("\n");
  return 1;
}
static long long show_wide_requester(const unsigned short* title, const unsigned short* text) {
  print_wide(title);
  harness_print(": ");
  print_wide(text);
  harness_print("\n");
  return 1;
}
STUB(long long, stub_MessageRequester, "PB_MessageRequester",
     (const char* title, const char* text)) {
  return show_requester(title, text);
}
STUB(long long, stub_MessageRequester_THREAD, "PB_MessageRequester_THREAD",
     (const char* title, const char* text)) {
  return show_requester(title, text);
}
STUB(long long, stub_MessageRequester_UNICODE, "PB_MessageRequester_UNICODE",
     (const unsigned short* title, const unsigned short* text)) {
  return show_wide_requester(title, text);
}
STUB(long long, stub_MessageRequester_THREAD_UNICODE, "PB_MessageRequester_THREAD_UNICODE",
     (const unsigned short* title, const unsigned short* text)) {
  return show_wide_requester(title, text);
}
STUB(long long, stub_MessageRequester2, "PB_MessageRequester2",
     (const char* title, const char* text, long long flags)) {
  show_requester(title, text);
  return flags;
}

/* String */
STUB(long long, stub_Len, "PB_Len", (const char* text)) {
  return harness_strlen(text);
}
STUB(long long, stub_Len_THREAD, "PB_Len_THREAD", (const char* text)) {
  return harness_strlen(text);
}
STUB(long long, stub_Len_UNICODE, "PB_Len_UNICODE", (const unsigned short* text)) {
  return wide_length(text);
}
STUB(long long, stub_Len_THREAD_UNICODE, "PB_Len_THREAD_UNICODE", (const unsigned short* text)) {
  return wide_length(text);
}

/* Memory: the values are returned sign-extended to an integer. */
STUB(long long, stub_PeekL, "PB_PeekL", (const int* address)) {
  return *address;
}
STUB(long long, stub_PokeL, "PB_PokeL", (int* address, long long value)) {
  *address = (int)value;
  return (int)value;
}
STUB(long long, stub_PeekW, "PB_PeekW", (const short* address)) {
  return *address;
}
STUB(long long, stub_PokeW, "PB_PokeW", (short* address, long long value)) {
  *address = (short)value;
  return (short)value;
}
STUB(long long, stub_PeekB, "PB_PeekB", (const signed char* address)) {
  return *address;
}
STUB(long long, stub_PokeB, "PB_PokeB", (signed char* address, long long value)) {
  *address = (signed char)value;
  return (signed char)value;
}

/* LinkedList. A list variable holds a pointer to its header, whose first field points to the
 * current element's data (0 before the first element). An element's data has room for 16
 * bytes; its first long is the value the sort compares. Elements come from a fixed pool. */
struct element {
  int data[4]; /* first: the value is read and written here */
  struct element* next;
};
struct list_header {
  struct element* current;
  struct element* first;
  struct element* last;
  long long count;
};
static struct element element_pool[256];
static int elements_used;
static struct list_header header_pool[16];
static int headers_used;

static struct list_header* header_of(struct list_header** list) {
  if (*list == 0 && headers_used < 16) *list = &header_pool[headers_used++];
  return *list;
}

STUB(void*, stub_AddElement, "PB_AddElement", (struct list_header * *list)) {
  struct list_header* header = header_of(list);
  struct element* added;
  int i;
  if (header == 0 || elements_used == 256) return 0;
  added = &element_pool[elements_used++];
  for (i = 0; i < 4; i++) added->data[i] = 0;
  if (header->current == 0) { /* before the first element: add at the end */
    added->next = 0;
    if (header->last != 0) header->last->next = added;
    if (header->first == 0) header->first = added;
    header->last = added;
  } else {
    added->next = header->current->next;
    header->current->next = added;
    if (header->last == header->current) header->last = added;
  }
  header->current = added;
  header->count++;
  return added->data;
}
STUB(void*, stub_FirstElement, "PB_FirstElement", (struct list_header * *list)) {
  struct list_header* header = header_of(list);
  header->current = header->first;
  return header->current;
}
STUB(void*, stub_NextElement, "PB_NextElement", (struct list_header * *list)) {
  struct list_header* header = header_of(list);
  struct element* next = header->current == 0 ? header->first : header->current->next;
  if (next == 0) return 0;
  header->current = next;
  return next;
}
STUB(long long, stub_ResetList, "PB_ResetList", (struct list_header * *list)) {
  header_of(list)->current = 0;
  return 0;
}
STUB(long long, stub_ClearList, "PB_ClearList", (struct list_header * *list)) {
  struct list_header* header = header_of(list);
  header->current = header->first = header->last = 0;
  header->count = 0;
  return 0;
}
STUB(long long, stub_ListSize, "PB_ListSize", (struct list_header * *list)) {
  return *list == 0 ? 0 : (*list)->count;
}

/* Sort. A list is sorted by the long values of its elements, ascending or, with option 1,
 * descending. An array comes as the address of its first element, without its size, so the
 * array functions leave it as it is. */
STUB(long long, stub_SortList, "PB_SortList", (struct list_header * *list, long long options)) {
  struct element* a;
  struct element* b;
  int swap;
  if (*list == 0) return 0;
  for (a = (*list)->first; a != 0; a = a->next) {
    for (b = a->next; b != 0; b = b->next) {
      if ((options & 1) ? b->data[0] > a->data[0] : b->data[0] < a->data[0]) {
        swap = a->data[0];
        a->data[0] = b->data[0];
        b->data[0] = swap;
      }
    }
  }
  return 0;
}
STUB(long long, stub_SortArray, "PB_SortArray", (void* first, long long options)) {
  (void)first;
  (void)options;
  return 0;
}
STUB(long long, stub_RandomizeArray, "PB_RandomizeArray", (void* first)) {
  (void)first;
  return 0;
}
