/* SPDX-License-Identifier: MIT */
/* A panel's firmware in small: draws the picture of image.h (written with
   --layout rows --guard) pixel by pixel, the way a window-and-stream write
   sends it, through the header's accessor or, with CODED, its run-length
   decoder; of a header of several pictures, each in turn. The "panel" is UART0:
   each packed value in hex, a row per line, which the simulator prints. */
#include <stdint.h>

#include "image.h"

#if defined(__AVR__)
#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/sleep.h>

static void Put(char c) {
  while (!(UCSR0A & (1 << UDRE0))) {
  }
  UDR0 = c;
}
static void Start(void) {
  UBRR0 = 0;
  UCSR0A = 1 << U2X0;
  UCSR0B = 1 << TXEN0;
  UCSR0C = 3 << UCSZ00;
}
static void Stop(void) {
  cli();
  sleep_mode(); /* the simulator ends here */
}
#else
/* Elsewhere a register the linker places; nothing reads it. */
volatile uint32_t panel_data;
static void Put(char c) { panel_data = (unsigned char)c; }
static void Start(void) {}
static void Stop(void) {
  for (;;) {
  }
}
#endif

static void PutHex(uint32_t value) {
  static const char digits[] = "0123456789ABCDEF";
  int shift;
  for (shift = 12; shift >= 0; shift -= 4) Put(digits[(value >> shift) & 15]);
  Put(' ');
}

#if defined(PHOTOS_PICTURES)
static unsigned picture;
#define PIXEL(i) Photos[picture](i)
#else
#define PHOTOS_PICTURES 1
#define PIXEL(i) Photos_at(i)
#endif

#if defined(CODED)
static unsigned char ReadCoded(uint32_t at) { return PIXEL(at); }
#endif

int main(void) {
  uint32_t x, y;
  unsigned k;
  Start();
  for (k = 0; k < PHOTOS_PICTURES; ++k) {
#if defined(CODED)
    pixolan_rle stream;
#endif
#if PHOTOS_PICTURES > 1
    picture = k;
#endif
#if defined(CODED)
    pixolan_rle_start(&stream, ReadCoded, PHOTOS_VALUE_BYTES);
#endif
    for (y = 0; y < PHOTOS_HEIGHT; ++y) {
      for (x = 0; x < PHOTOS_WIDTH; ++x) {
#if defined(CODED)
        PutHex(pixolan_rle_next(&stream));
#else
        PutHex(PIXEL(y * PHOTOS_WIDTH + x));
#endif
      }
      Put('\n');
    }
  }
  Stop();
  return 0;
}
