// Virtual keys to the scan codes of a US PC keyboard.
#include "platform/common/scancode.h"

#include <array>

namespace win32 {

namespace {

struct ScanCode {
    unsigned char code = 0;
    bool extended = false;
};

struct KeyScan {
    UINT vk;
    unsigned char code;
    bool extended;
};

// The keys of a US PC keyboard by virtual key.
constexpr KeyScan kScanCodes[] = {
    {VK_ESCAPE, 0x01, false},     {VK_BACK, 0x0E, false},      {VK_TAB, 0x0F, false},
    {VK_RETURN, 0x1C, false},     {VK_SPACE, 0x39, false},     {VK_CAPITAL, 0x3A, false},
    {VK_PAUSE, 0x45, false},      {VK_SCROLL, 0x46, false},    {VK_NUMLOCK, 0x45, true},
    {VK_SNAPSHOT, 0x37, true},    {VK_APPS, 0x5D, true},       {VK_LWIN, 0x5B, true},
    {VK_RWIN, 0x5C, true},        {VK_SHIFT, 0x2A, false},     {VK_LSHIFT, 0x2A, false},
    {VK_RSHIFT, 0x36, false},     {VK_CONTROL, 0x1D, false},   {VK_LCONTROL, 0x1D, false},
    {VK_RCONTROL, 0x1D, true},    {VK_MENU, 0x38, false},      {VK_LMENU, 0x38, false},
    {VK_RMENU, 0x38, true},       {VK_HOME, 0x47, true},       {VK_UP, 0x48, true},
    {VK_PRIOR, 0x49, true},       {VK_LEFT, 0x4B, true},       {VK_RIGHT, 0x4D, true},
    {VK_END, 0x4F, true},         {VK_DOWN, 0x50, true},       {VK_NEXT, 0x51, true},
    {VK_INSERT, 0x52, true},      {VK_DELETE, 0x53, true},     {VK_CLEAR, 0x4C, false},
    {VK_DIVIDE, 0x35, true},      {VK_MULTIPLY, 0x37, false},  {VK_SUBTRACT, 0x4A, false},
    {VK_ADD, 0x4E, false},        {VK_DECIMAL, 0x53, false},   {VK_NUMPAD0, 0x52, false},
    {VK_NUMPAD1, 0x4F, false},    {VK_NUMPAD2, 0x50, false},   {VK_NUMPAD3, 0x51, false},
    {VK_NUMPAD4, 0x4B, false},    {VK_NUMPAD5, 0x4C, false},   {VK_NUMPAD6, 0x4D, false},
    {VK_NUMPAD7, 0x47, false},    {VK_NUMPAD8, 0x48, false},   {VK_NUMPAD9, 0x49, false},
    {VK_F11, 0x57, false},        {VK_F12, 0x58, false},       {VK_OEM_1, 0x27, false},
    {VK_OEM_PLUS, 0x0D, false},   {VK_OEM_COMMA, 0x33, false}, {VK_OEM_MINUS, 0x0C, false},
    {VK_OEM_PERIOD, 0x34, false}, {VK_OEM_2, 0x35, false},     {VK_OEM_3, 0x29, false},
    {VK_OEM_4, 0x1A, false},      {VK_OEM_5, 0x2B, false},     {VK_OEM_6, 0x1B, false},
    {VK_OEM_7, 0x28, false},      {VK_OEM_102, 0x56, false},
};

// Set-1 make codes of the letter keys A..Z.
constexpr unsigned char kLetterScan[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                           0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                           0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};

constexpr std::array<ScanCode, 256> MakeScanTable() {
    std::array<ScanCode, 256> t{};
    for (UINT vk = 'A'; vk <= 'Z'; ++vk) t[vk] = {kLetterScan[vk - 'A'], false};
    for (UINT vk = '1'; vk <= '9'; ++vk) t[vk] = {static_cast<unsigned char>(vk - '1' + 0x02), false};
    t['0'] = {0x0B, false};
    for (UINT vk = VK_F1; vk <= VK_F10; ++vk) t[vk] = {static_cast<unsigned char>(vk - VK_F1 + 0x3B), false};
    for (const KeyScan &k : kScanCodes) t[k.vk] = {k.code, k.extended};
    return t;
}

constexpr std::array<ScanCode, 256> kScanTable = MakeScanTable();

}  // namespace

UINT ScanCodeOf(UINT vk, bool *extended) {
    const ScanCode &s = kScanTable[vk & 0xFF];
    *extended = s.extended;
    return s.code;
}

}  // namespace win32
