// The keyboard: virtual keys to scan codes, key events to key messages, the
// key state, and the characters TranslateMessage makes of key presses.
//
// Keys go to the focus window (or as WM_SYS* to the active window when no
// window has the focus). The key state GetKeyState reports is the one of
// the last keyboard message retrieved from the queue.
#include "platform/user/keyboard.h"

#include <array>

#include "platform/user/wm_private.h"

namespace win32::wm {

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

// Characters of keys without a back-end character, US layout.
int CharForKey(UINT vk, bool shift, bool ctrl) {
    if (vk >= 'A' && vk <= 'Z') {
        if (ctrl) return static_cast<int>(vk - 'A' + 1);
        bool caps = (GetKeyState(VK_CAPITAL) & 1) != 0;
        return (shift != caps) ? static_cast<int>(vk) : static_cast<int>(vk - 'A' + 'a');
    }
    if (ctrl) return -1;
    if (vk >= '0' && vk <= '9') {
        static const char shifted[] = ")!@#$%^&*(";
        return shift ? shifted[vk - '0'] : static_cast<int>(vk);
    }
    switch (vk) {
        case VK_SPACE:
            return ' ';
        case VK_RETURN:
            return '\r';
        case VK_ESCAPE:
            return 0x1B;
        case VK_TAB:
            return '\t';
        case VK_BACK:
            return 0x08;
        default:
            return -1;
    }
}

}  // namespace

UINT ScanCodeOf(UINT vk, bool *extended) {
    const ScanCode &s = kScanTable[vk & 0xFF];
    *extended = s.extended;
    return s.code;
}

bool KeyIsDown(const BYTE *keys, int vk) {
    return (keys[vk & 0xFF] & 0x80) != 0;
}

void SetKeyDown(BYTE *keys, UINT vk, bool down) {
    if (down) {
        if (!(keys[vk] & 0x80)) keys[vk] ^= 1;  // toggle on each press
        keys[vk] |= 0x80;
    } else {
        keys[vk] &= ~0x80;
    }
}

void NoteRetrieved(const MSG &m) {
    State &s = WmState();
    switch (m.message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            SetKeyDown(s.syncKeys, static_cast<UINT>(m.wParam) & 0xFF, true);
            break;
        case WM_KEYUP:
        case WM_SYSKEYUP:
            SetKeyDown(s.syncKeys, static_cast<UINT>(m.wParam) & 0xFF, false);
            break;
        default:
            if (m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST) {
                s.syncKeys[VK_LBUTTON] = (m.wParam & MK_LBUTTON) ? 0x80 : 0;
                s.syncKeys[VK_RBUTTON] = (m.wParam & MK_RBUTTON) ? 0x80 : 0;
                s.syncKeys[VK_MBUTTON] = (m.wParam & MK_MBUTTON) ? 0x80 : 0;
            }
            break;
    }
}

// The window system's word on which modifiers are held wins over ours: a
// release that went to another window (the window manager took Alt+Tab or
// Alt+F4) must not leave the key down here. The event's own key is left
// alone, as the report is of the moment before it.
void SyncModifiers(const display::Event &ev) {
    if (ev.modifiers < 0) return;
    State &s = WmState();
    static const struct {
        UINT vk;
        int bit;
    } kMods[] = {
        {VK_SHIFT, display::kModShift}, {VK_CONTROL, display::kModCtrl}, {VK_MENU, display::kModAlt}};
    bool isKey = ev.type == display::Event::KeyDown || ev.type == display::Event::KeyUp;
    for (const auto &m : kMods) {
        if (isKey && (ev.vk & 0xFF) == m.vk) continue;
        bool held = (ev.modifiers & m.bit) != 0;
        for (BYTE *keys : {s.asyncKeys, s.syncKeys}) {
            if (held) {
                keys[m.vk] |= 0x80;
            } else {
                keys[m.vk] &= ~0x80;
            }
        }
    }
}

// The key message's lParam: repeat count 1, scan code, extended, context
// (Alt held), previous state and transition.
static LPARAM KeyParam(const display::Event &ev, UINT vk, bool down, bool wasDown, bool alt) {
    bool extended = ev.extended;
    UINT scan = ev.scanCode;
    if (!scan) scan = ScanCodeOf(vk, &extended);
    LPARAM lp = 1 | (static_cast<LPARAM>(scan & 0xFF) << 16);
    if (extended) lp |= 1L << 24;
    bool context = alt && !(vk == VK_MENU && !down);
    if (context) lp |= 1L << 29;
    if (down ? (wasDown || ev.repeat) : true) lp |= 1L << 30;
    if (!down) lp |= 1L << 31;
    return static_cast<LPARAM>(static_cast<uint32_t>(lp & 0xFFFFFFFF));
}

void Key(const display::Event &ev) {
    State &s = WmState();
    bool down = ev.type == display::Event::KeyDown;
    UINT vk = ev.vk & 0xFF;
    bool wasDown = KeyIsDown(s.asyncKeys, static_cast<int>(vk));
    SetKeyDown(s.asyncKeys, vk, down);
    bool alt = KeyIsDown(s.asyncKeys, VK_MENU);
    bool ctrl = KeyIsDown(s.asyncKeys, VK_CONTROL);
    LPARAM lp = KeyParam(ev, vk, down, wasDown, alt);
    HWND target = s.focus;
    bool sys = (alt && !ctrl) || vk == VK_F10 || (vk == VK_MENU && !ctrl);
    if (!target) {
        target = s.active;
        sys = true;
    }
    if (!target) return;
    Window *tw = WindowOf(target);
    if (!tw || !IsEnabledChain(*tw)) return;
    UINT msg = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
    QueueInput(target, msg, vk, lp, ev.time ? ev.time : Now());
}

}  // namespace win32::wm

using namespace win32;
using namespace win32::wm;

SHORT WINAPI GetKeyState(int vk) {
    BYTE k = WmState().syncKeys[vk & 0xFF];
    return static_cast<SHORT>(((k & 0x80) ? 0x8000 : 0) | (k & 1));
}

SHORT WINAPI GetAsyncKeyState(int vk) {
    BYTE k = WmState().asyncKeys[vk & 0xFF];
    return static_cast<SHORT>((k & 0x80) ? 0x8000 : 0);
}

BOOL WINAPI TranslateMessage(const MSG *m) {
    if (!m) return FALSE;
    if (m->message != WM_KEYDOWN && m->message != WM_SYSKEYDOWN) {
        return m->message == WM_KEYUP || m->message == WM_SYSKEYUP;
    }
    State &s = WmState();
    UINT vk = static_cast<UINT>(m->wParam) & 0xFF;
    int ch = -1;
    if (s.pendingChar[vk]) {
        ch = s.pendingChar[vk] - 1;
        s.pendingChar[vk] = 0;
    } else {
        bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
        bool ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
        ch = CharForKey(vk, shift, ctrl);
    }
    if (ch >= 0) {
        UINT cm = m->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
        s.posted.push_back(
            MSG{m->hwnd, cm, static_cast<WPARAM>(static_cast<unsigned char>(ch)), m->lParam, m->time, m->pt});
        s.newArrivals = true;
    }
    return TRUE;
}
