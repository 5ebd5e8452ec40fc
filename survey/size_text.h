// Megabyte counts as fixed-width text: digits grouped by commas,
// right-aligned in 10 characters, then " MB".
#pragma once

#include <windows.h>

// Writes the text of `value` to `out`, which has room for 17 characters.
void FormatMegabytes(DWORD value, LPSTR out);

// Puts commas between groups of three in the first run of digits of `text`;
// whatever followed that run is dropped. The buffer needs room for
// (n - 1) / 3 more characters, n being the length of the run.
void GroupThousands(LPSTR text);

// Puts `ch` in front of `text`; the buffer needs room for one more character.
void PrependChar(LPSTR text, char ch);
