// SPDX-License-Identifier: MIT
#include <stdio.h>

#include "image.h"

/* Column 10, drawing row 20: the 112th sample from the bottom of its column. */
int main(void) {
  printf("%X\n", (unsigned)Logo[10 * 132 + 112]);
  return 0;
}
