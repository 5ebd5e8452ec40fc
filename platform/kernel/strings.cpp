// The lstr* string calls and MulDiv. As on Windows, a null string reads as
// empty and a null destination is left alone.
#include <windows.h>

#include <climits>
#include <cstring>

extern "C" LPSTR WINAPI lstrcpyA(LPSTR lpString1, LPCSTR lpString2) {
    if (!lpString1) return nullptr;
    if (!lpString2) lpString2 = "";
    return static_cast<LPSTR>(memmove(lpString1, lpString2, strlen(lpString2) + 1));
}

// Copies at most iMaxLength - 1 characters and always terminates.
extern "C" LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength) {
    if (!lpString1) return nullptr;
    if (iMaxLength <= 0) return lpString1;
    if (!lpString2) lpString2 = "";
    int i = 0;
    for (; i < iMaxLength - 1 && lpString2[i]; ++i) lpString1[i] = lpString2[i];
    lpString1[i] = '\0';
    return lpString1;
}

extern "C" LPSTR WINAPI lstrcatA(LPSTR lpString1, LPCSTR lpString2) {
    if (!lpString1) return nullptr;
    if (!lpString2) return lpString1;
    lstrcpyA(lpString1 + strlen(lpString1), lpString2);
    return lpString1;
}

extern "C" int WINAPI lstrlenA(LPCSTR lpString) {
    return lpString ? static_cast<int>(strlen(lpString)) : 0;
}

namespace {

int Sign(int v) {
    return (v > 0) - (v < 0);
}

}  // namespace

extern "C" int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2) {
    return Sign(strcmp(lpString1 ? lpString1 : "", lpString2 ? lpString2 : ""));
}

namespace {

unsigned char FoldCase(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

}  // namespace

extern "C" int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
    const unsigned char *a = reinterpret_cast<const unsigned char *>(lpString1 ? lpString1 : "");
    const unsigned char *b = reinterpret_cast<const unsigned char *>(lpString2 ? lpString2 : "");
    for (;; ++a, ++b) {
        unsigned char ca = FoldCase(*a), cb = FoldCase(*b);
        if (ca != cb) return ca < cb ? -1 : 1;
        if (!ca) return 0;
    }
}

// nNumber * nNumerator / nDenominator with a 64-bit product, rounded half
// away from zero; -1 when the denominator is 0 or the result does not fit.
extern "C" int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator) {
    if (nDenominator == 0) return -1;
    long long product = static_cast<long long>(nNumber) * nNumerator;
    bool negative = (product < 0) != (nDenominator < 0);
    unsigned long long p = product < 0 ? 0ULL - static_cast<unsigned long long>(product)
                                       : static_cast<unsigned long long>(product);
    unsigned long long d = nDenominator < 0
                               ? 0ULL - static_cast<unsigned long long>(static_cast<long long>(nDenominator))
                               : static_cast<unsigned long long>(nDenominator);
    unsigned long long q = (p + d / 2) / d;
    if (negative ? q > 0x80000000ULL : q > static_cast<unsigned long long>(INT_MAX)) return -1;
    return negative ? static_cast<int>(0LL - static_cast<long long>(q)) : static_cast<int>(q);
}
