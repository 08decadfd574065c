/* The entry point of the test programs and stand-ins for the functions of the PureBasic
 * libraries and of Windows that compiled code calls. The stubs print what a real function would
 * show, so that tests can check it; names carry their exact decorated form through asm labels. */
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

int harness_strlen(const char* text) {
  int n = 0;
  while (text[n] != 0) n++;
  return n;
}

void harness_print(const char* text) {
  harness_write(text, harness_strlen(text));
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

#define STUB(result, name, symbol, params)            \
  result HARNESS_STDCALL name params __asm__(symbol); \
  result HARNESS_STDCALL name params

/* Kernel32 */
STUB(void, stub_ExitProcess, "_ExitProcess@4", (int code)) {
  harness_exit(code);
}
STUB(unsigned, stub_GetTickCount, "_GetTickCount@0", (void)) {
  return 123456u;
}
STUB(unsigned, stub_GetCurrentProcessId, "_GetCurrentProcessId@0", (void)) {
  return 42u;
}
static unsigned last_error;
STUB(unsigned, stub_GetLastError, "_GetLastError@0", (void)) {
  return last_error;
}
STUB(void, stub_SetLastError, "_SetLastError@4", (unsigned code)) {
  last_error = code;
}
STUB(void, stub_Sleep, "_Sleep@4", (unsigned ms)) {
  (void)ms;
}
STUB(int, stub_GetModuleHandleA, "_GetModuleHandleA@4", (const char* name)) {
  return name == 0 ? 0x400000 : 0;
}
STUB(int, stub_lstrlenA, "_lstrlenA@4", (const char* text)) {
  return harness_strlen(text);
}
STUB(int, stub_lstrlenW, "_lstrlenW@4", (const unsigned short* text)) {
  return wide_length(text);
}

/* User32 */
STUB(int, stub_MessageBoxA, "_MessageBoxA@16",
     (int window, const char* text, const char* title, unsigned flags)) {
  (void)window;
  (void)flags;
  harness_print("MessageBox ");
  harness_print(title);
  harness_print(": ");
  harness_print(text);
  harness_print("\n");
  return 1;
}
STUB(int, stub_MessageBoxW, "_MessageBoxW@16",
     (int window, const unsigned short* text, const unsigned short* title, unsigned flags)) {
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
static int show_requester(const char* title, const char* text) {
  harness_print(title);
  harness_print(": ");
  harness_print(text);
  harness_print("\n");
  return 1;
}
static int show_wide_requester(const unsigned short* title, const unsigned short* text) {
  print_wide(title);
  harness_print(": ");
  print_wide(text);
  harness_print("\n");
  return 1;
}
STUB(int, stub_MessageRequester, "_PB_MessageRequester@8", (const char* title, const char* text)) {
  return show_requester(title, text);
}
STUB(int, stub_MessageRequester_THREAD, "_PB_MessageRequester_THREAD@8",
     (const char* title, const char* text)) {
  return show_requester(title, text);
}
STUB(int, stub_MessageRequester_UNICODE, "_PB_MessageRequester_UNICODE@8",
     (const unsigned short* title, const unsigned short* text)) {
  return show_wide_requester(title, text);
}
STUB(int, stub_MessageRequester_THREAD_UNICODE, "_PB_MessageRequester_THREAD_UNICODE@8",
     (const unsigned short* title, const unsigned short* text)) {
  return show_wide_requester(title, text);
}
STUB(int, stub_MessageRequester2, "_PB_MessageRequester2@12",
     (const char* title, const char* text, int flags)) {
  show_requester(title, text);
  return flags;
}

/* String */
STUB(int, stub_Len, "_PB_Len@4", (const char* text)) {
  return harness_strlen(text);
}
STUB(int, stub_Len_THREAD, "_PB_Len_THREAD@4", (const char* text)) {
  return harness_strlen(text);
}
STUB(int, stub_Len_UNICODE, "_PB_Len_UNICODE@4", (const unsigned short* text)) {
  return wide_length(text);
}
STUB(int, stub_Len_THREAD_UNICODE, "_PB_Len_THREAD_UNICODE@4", (const unsigned short* text)) {
  return wide_length(text);
}

/* Memory */
STUB(int, stub_PeekL, "_PB_PeekL@4", (const int* address)) {
  return *address;
}
STUB(int, stub_PokeL, "_PB_PokeL@8", (int* address, int value)) {
  *address = value;
  return value;
}
STUB(int, stub_PeekW, "_PB_PeekW@4", (const short* address)) {
  return *address;
}
STUB(int, stub_PokeW, "_PB_PokeW@8", (short* address, int value)) {
  *address = (short)value;
  return value;
}
STUB(int, stub_PeekB, "_PB_PeekB@4", (const signed char* address)) {
  return *address;
}
STUB(int, stub_PokeB, "_PB_PokeB@8", (signed char* address, int value)) {
  *address = (signed char)value;
  return value;
}

/* LinkedList. A list variable holds a pointer to its header, whose first field points to the
 * current element's data (0 before the first element). Elements come from a fixed pool. */
struct element {
  int data[2]; /* first: the value is read and written here */
  struct element* next;
};
struct list_header {
  struct element* current;
  struct element* first;
  struct element* last;
  int count;
};
static struct element element_pool[256];
static int elements_used;
static struct list_header header_pool[16];
static int headers_used;

static struct list_header* header_of(struct list_header** list) {
  if (*list == 0 && headers_used < 16) *list = &header_pool[headers_used++];
  return *list;
}

STUB(int, stub_AddElement, "_PB_AddElement@4", (struct list_header * *list)) {
  struct list_header* header = header_of(list);
  struct element* added;
  if (header == 0 || elements_used == 256) return 0;
  added = &element_pool[elements_used++];
  added->data[0] = 0;
  added->data[1] = 0;
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
  return (int)added->data;
}
STUB(int, stub_FirstElement, "_PB_FirstElement@4", (struct list_header * *list)) {
  struct list_header* header = header_of(list);
  header->current = header->first;
  return (int)header->current;
}
STUB(int, stub_NextElement, "_PB_NextElement@4", (struct list_header * *list)) {
  struct list_header* header = header_of(list);
  struct element* next = header->current == 0 ? header->first : header->current->next;
  if (next == 0) return 0;
  header->current = next;
  return (int)next;
}
STUB(int, stub_ResetList, "_PB_ResetList@4", (struct list_header * *list)) {
  header_of(list)->current = 0;
  return 0;
}
STUB(int, stub_ClearList, "_PB_ClearList@4", (struct list_header * *list)) {
  struct list_header* header = header_of(list);
  header->current = header->first = header->last = 0;
  header->count = 0;
  return 0;
}
STUB(int, stub_ListSize, "_PB_ListSize@4", (struct list_header * *list)) {
  return *list == 0 ? 0 : (*list)->count;
}

/* Sort. A list is sorted by the long values of its elements, ascending or, with option 1,
 * descending. An array comes as the address of its first element, without its size, so the
 * array functions leave it as it is. */
STUB(int, stub_SortList, "_PB_SortList@8", (struct list_header * *list, int options)) {
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
STUB(int, stub_SortArray, "_PB_SortArray@8", (int* first, int options)) {
  (void)first;
  (void)options;
  return 0;
}
STUB(int, stub_RandomizeArray, "_PB_RandomizeArray@4", (int* first)) {
  (void)first;
  return 0;
}
