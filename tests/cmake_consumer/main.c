// SPDX-License-Identifier: MIT
#include <stdio.h>

#include "bare.h"
#include "icons.h"
#include "image.h"

/* Column 10, drawing row 20: the 112th sample from the bottom of its column. */
int main(void) {
  printf("%X\n", (unsigned)Logo[10 * 132 + 112] + 0 * (unsigned)Photos[0] + 0 * ICONS_PICTURES * Icons[1](0));
  return 0;
}
