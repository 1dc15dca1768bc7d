/* A library of the kind programs load: functions of 0 to 9 integer
   arguments, a string reader and writer, a float, and one that faults. */
#include <stdint.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

EXPORT int answer(void) { return 42; }

/* Each returns its arguments as the digits of one number, first argument
   first, so that any change of order shows. */
EXPORT int digits1(int a) { return a; }
EXPORT int digits2(int a, int b) { return a * 10 + b; }
EXPORT int digits3(int a, int b, int c) { return digits2(a, b) * 10 + c; }
EXPORT int digits4(int a, int b, int c, int d) { return digits3(a, b, c) * 10 + d; }
EXPORT int digits5(int a, int b, int c, int d, int e) { return digits4(a, b, c, d) * 10 + e; }
EXPORT int digits6(int a, int b, int c, int d, int e, int f) { return digits5(a, b, c, d, e) * 10 + f; }
EXPORT int digits7(int a, int b, int c, int d, int e, int f, int g) {
  return digits6(a, b, c, d, e, f) * 10 + g;
}
EXPORT int digits8(int a, int b, int c, int d, int e, int f, int g, int h) {
  return digits7(a, b, c, d, e, f, g) * 10 + h;
}
EXPORT int digits9(int a, int b, int c, int d, int e, int f, int g, int h, int i) {
  return digits8(a, b, c, d, e, f, g, h) * 10 + i;
}

EXPORT int negative(void) { return -7; }

/* Strings arrive as the 32-bit address of their characters. */
EXPORT int length_of(uint32_t address) { return (int)strlen((const char*)(uintptr_t)address); }

EXPORT int shout(uint32_t address) {
  char* text = (char*)(uintptr_t)address;
  for (; *text; ++text)
    if (*text >= 'a' && *text <= 'z') *text = (char)(*text - 32);
  return 0;
}

/* A float's bits in, half of it out as bits. */
EXPORT uint32_t half_of(uint32_t bits) {
  float f;
  memcpy(&f, &bits, 4);
  f /= 2;
  memcpy(&bits, &f, 4);
  return bits;
}

EXPORT int fault(void) {
  volatile int* nowhere = (volatile int*)(uintptr_t)16;
  *nowhere = 1;
  return 0;
}
