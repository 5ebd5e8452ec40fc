// The keyboard: key events to key messages, the key state, and the
// characters TranslateMessage makes of key presses.
//
// Keys go to the focus window (or as WM_SYS* to the active window when no
// window has the focus). The key state GetKeyState reports is the one of
// the last keyboard message retrieved from the queue.
#include "platform/user/keyboard.h"

#include "platform/common/scancode.h"
#include "platform/user/input.h"
#include "platform/user/queue.h"
#include "platform/user/session.h"
#include "platform/user/wm.h"

namespace win32::wm {

namespace {

// Bit 0x80: down; bit 1: toggled. The async state follows input as it
// arrives, the sync state the messages as they are retrieved.
struct KeyState {
    BYTE asyncKeys[256] = {};
    BYTE syncKeys[256] = {};
    int pendingChar[256] = {};  // character the back-end reported for a key, +1
};

KeyState &Keys() {
    static auto *state = new KeyState();
    return *state;
}

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

}  // namespace

void ResetKeyboard() {
    Keys() = KeyState{};
}

void SetAsyncKey(UINT vk, bool down) {
    SetKeyDown(Keys().asyncKeys, vk & 0xFF, down);
}

void NoteKeyChar(UINT vk, char ch) {
    Keys().pendingChar[vk & 0xFF] = static_cast<unsigned char>(ch) + 1;
}

void NoteRetrieved(const MSG &m) {
    KeyState &s = Keys();
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
    KeyState &s = Keys();
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

namespace {

// The key message's lParam: repeat count 1, scan code, extended, context
// (Alt held), previous state and transition.
LPARAM KeyParam(const display::Event &ev, UINT vk, bool down, bool wasDown, bool alt) {
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

}  // namespace

void Key(const display::Event &ev) {
    KeyState &s = Keys();
    bool down = ev.type == display::Event::KeyDown;
    UINT vk = ev.vk & 0xFF;
    bool wasDown = KeyIsDown(s.asyncKeys, static_cast<int>(vk));
    SetKeyDown(s.asyncKeys, vk, down);
    bool alt = KeyIsDown(s.asyncKeys, VK_MENU);
    bool ctrl = KeyIsDown(s.asyncKeys, VK_CONTROL);
    LPARAM lp = KeyParam(ev, vk, down, wasDown, alt);
    HWND target = GetFocus();
    bool sys = (alt && !ctrl) || vk == VK_F10 || (vk == VK_MENU && !ctrl);
    if (!target) {
        target = GetActiveWindow();
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
    BYTE k = Keys().syncKeys[vk & 0xFF];
    return static_cast<SHORT>(((k & 0x80) ? 0x8000 : 0) | (k & 1));
}

SHORT WINAPI GetAsyncKeyState(int vk) {
    BYTE k = Keys().asyncKeys[vk & 0xFF];
    return static_cast<SHORT>((k & 0x80) ? 0x8000 : 0);
}

BOOL WINAPI TranslateMessage(const MSG *m) {
    if (!m) return FALSE;
    if (m->message != WM_KEYDOWN && m->message != WM_SYSKEYDOWN) {
        return m->message == WM_KEYUP || m->message == WM_SYSKEYUP;
    }
    KeyState &s = Keys();
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
        AppendPosted(
            MSG{m->hwnd, cm, static_cast<WPARAM>(static_cast<unsigned char>(ch)), m->lParam, m->time, m->pt});
    }
    return TRUE;
}
