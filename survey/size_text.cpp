// FormatMegabytes, GroupThousands and PrependChar: size text for the rows.
#include "survey/size_text.h"

#define FIELD_WIDTH 10
#define WORK_SIZE 40
#define WORK_MAX_DIGITS 30  // 30 digits and 9 commas fill the working area

namespace {

int IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Groups a run too long for the working area in place, from its end
// backwards, within the room the caller gives for the commas.
void GroupLongRun(LPSTR run, int n) {
    int grouped = n + (n - 1) / 3;
    run[grouped] = '\0';
    int to = grouped - 1;
    for (int from = n - 1, taken = 0; from >= 0; --from) {
        run[to--] = run[from];
        if (++taken % 3 == 0 && from > 0) run[to--] = ',';
    }
}

}  // namespace

void GroupThousands(LPSTR text) {
    char *run = text;
    while (*run && !IsDigit(*run)) ++run;
    if (!*run) return;

    int n = 0;
    while (IsDigit(run[n])) ++n;
    if (n > WORK_MAX_DIGITS) {
        GroupLongRun(run, n);
        return;
    }

    // Collect the digits from the last, a comma after every third.
    char work[WORK_SIZE];
    int len = 0;
    for (int i = n - 1, taken = 0; i >= 0; --i) {
        work[len++] = run[i];
        if (++taken % 3 == 0) work[len++] = ',';
    }
    if (len > 0 && work[len - 1] == ',') --len;
    work[len] = '\0';

    for (int a = 0, b = len - 1; a < b; ++a, --b) {
        char t = work[a];
        work[a] = work[b];
        work[b] = t;
    }
    lstrcpyA(run, work);
}

void PrependChar(LPSTR text, char ch) {
    int i = lstrlenA(text);
    for (; i >= 0; --i) text[i + 1] = text[i];
    text[0] = ch;
}

void FormatMegabytes(DWORD value, LPSTR out) {
    char digits[11];
    int n = 0;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
    out[n] = '\0';

    GroupThousands(out);
    for (int len = lstrlenA(out); len < FIELD_WIDTH; ++len) PrependChar(out, ' ');
    lstrcatA(out, " MB");
}
