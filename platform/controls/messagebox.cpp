// MessageBoxA: a small modal box of the layer's own, made of a popup window
// and "BUTTON" children, with its own message loop.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/common/classic.h"
#include "platform/controls/controls_private.h"

namespace win32::controls {
namespace {

constexpr char kClassName[] = "#MorvalenMessageBox";
constexpr int kMargin = 12;
constexpr int kIconGap = 12;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;
constexpr int kButtonGap = 8;
constexpr int kMinClientWidth = 160;

struct ButtonSpec {
    const char *label;
    int id;
    char mnemonic;  // a key that presses the button (0: none)
};

struct Box {
    std::vector<std::string> lines;
    HICON icon = nullptr;
    std::vector<ButtonSpec> buttons;
    std::vector<HWND> buttonWindows;
    int cancelId = 0;  // what Esc and a close request answer; 0 ignores them
    int result = 0;
    bool done = false;
    int lineHeight = classic::kSystemFontHeight;
    int textLeft = kMargin;
};

Box *State(HWND hwnd) {
    return reinterpret_cast<Box *>(GetWindowLongPtrA(hwnd, 0));
}

std::vector<ButtonSpec> ButtonsFor(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return {{"OK", IDOK, 0}, {"Cancel", IDCANCEL, 0}};
        case MB_ABORTRETRYIGNORE:
            return {{"&Abort", IDABORT, 'A'}, {"&Retry", IDRETRY, 'R'}, {"&Ignore", IDIGNORE, 'I'}};
        case MB_YESNOCANCEL:
            return {{"&Yes", IDYES, 'Y'}, {"&No", IDNO, 'N'}, {"Cancel", IDCANCEL, 0}};
        case MB_YESNO:
            return {{"&Yes", IDYES, 'Y'}, {"&No", IDNO, 'N'}};
        case MB_RETRYCANCEL:
            return {{"&Retry", IDRETRY, 'R'}, {"Cancel", IDCANCEL, 0}};
        default:
            return {{"OK", IDOK, 0}};
    }
}

int CancelIdFor(const std::vector<ButtonSpec> &buttons) {
    for (const ButtonSpec &b : buttons)
        if (b.id == IDCANCEL) return IDCANCEL;
    return buttons.size() == 1 ? buttons[0].id : 0;
}

LPCSTR IconFor(UINT type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONHAND:
            return IDI_HAND;
        case MB_ICONQUESTION:
            return IDI_QUESTION;
        case MB_ICONEXCLAMATION:
            return IDI_EXCLAMATION;
        case MB_ICONASTERISK:
            return IDI_ASTERISK;
        default:
            return nullptr;
    }
}

std::vector<std::string> SplitLines(const char *text) {
    std::vector<std::string> lines(1);
    for (const char *p = text ? text : ""; *p; ++p) {
        if (*p == '\r') {
            if (p[1] == '\n') ++p;
            lines.emplace_back();
        } else if (*p == '\n') {
            lines.emplace_back();
        } else {
            lines.back() += *p;
        }
    }
    return lines;
}

void Finish(HWND box, int result) {
    Box *b = State(box);
    if (!b || b->done) return;
    b->result = result;
    b->done = true;
}

LRESULT CALLBACK BoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Box *b = State(hwnd);
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            if (dc && b) {
                if (b->icon) DrawIcon(dc, kMargin, kMargin, b->icon);
                int oldMode = SetBkMode(dc, TRANSPARENT);
                COLORREF oldColor = SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
                int y = kMargin;
                for (const std::string &line : b->lines) {
                    if (!line.empty())
                        TextOutA(dc, b->textLeft, y, line.c_str(), static_cast<int>(line.size()));
                    y += b->lineHeight;
                }
                SetTextColor(dc, oldColor);
                SetBkMode(dc, oldMode);
            }
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && lParam != 0) Finish(hwnd, LOWORD(wParam));
            return 0;
        case WM_CLOSE:
            if (b && b->cancelId) Finish(hwnd, b->cancelId);
            return 0;
        default:
            return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

bool RegisterBoxClass() {
    WNDCLASSA probe;
    if (GetClassInfoA(nullptr, kClassName, &probe)) return true;
    WNDCLASSA wc{};
    wc.style = CS_GLOBALCLASS;
    wc.lpfnWndProc = BoxProc;
    wc.cbWndExtra = sizeof(void *);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = kClassName;
    return RegisterClassA(&wc) != 0;
}

// The top-level window that a (possibly child) owner belongs to.
HWND TopLevel(HWND hwnd) {
    while (hwnd && (GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD)) {
        HWND parent = GetParent(hwnd);
        if (!parent) break;
        hwnd = parent;
    }
    return hwnd;
}

// Sizes the box around its contents, places the buttons and centres the box
// over its owner (or the screen).
int TextWidth(HDC dc, const std::string &text) {
    SIZE size{};
    if (text.empty() || !GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size))
        return 0;
    return static_cast<int>(size.cx);
}

// Breaks lines wider than `maxWidth` at spaces (a single word that is still
// too wide stays whole).
std::vector<std::string> Wrap(HDC dc, const std::vector<std::string> &lines, int maxWidth) {
    std::vector<std::string> out;
    for (const std::string &line : lines) {
        if (TextWidth(dc, line) <= maxWidth) {
            out.push_back(line);
            continue;
        }
        std::string current;
        size_t pos = 0;
        while (pos <= line.size()) {
            size_t space = line.find(' ', pos);
            if (space == std::string::npos) space = line.size();
            std::string word = line.substr(pos, space - pos);
            std::string candidate = current.empty() ? word : current + " " + word;
            if (!current.empty() && TextWidth(dc, candidate) > maxWidth) {
                out.push_back(current);
                current = word;
            } else {
                current = candidate;
            }
            pos = space + 1;
        }
        out.push_back(current);
    }
    return out;
}

void Layout(HWND box, Box &b, HWND owner) {
    int textWidth = 0;
    if (HDC dc = GetDC(box)) {
        TEXTMETRICA tm{};
        if (GetTextMetricsA(dc, &tm) && tm.tmHeight > 0) b.lineHeight = tm.tmHeight;
        // Text is kept within five eighths of the screen's width.
        int maxWidth = GetSystemMetrics(SM_CXSCREEN) * 5 / 8 - 2 * kMargin -
                       (b.icon ? classic::kIconSize + kIconGap : 0);
        b.lines = Wrap(dc, b.lines, std::max(maxWidth, 100));
        for (const std::string &line : b.lines) {
            SIZE size{};
            if (!line.empty() &&
                GetTextExtentPoint32A(dc, line.c_str(), static_cast<int>(line.size()), &size))
                textWidth = std::max(textWidth, static_cast<int>(size.cx));
        }
        ReleaseDC(box, dc);
    }
    int iconSize = b.icon ? classic::kIconSize : 0;
    b.textLeft = kMargin + (b.icon ? iconSize + kIconGap : 0);
    int textHeight = static_cast<int>(b.lines.size()) * b.lineHeight;
    int bodyHeight = std::max(textHeight, iconSize);
    int count = static_cast<int>(b.buttons.size());
    int rowWidth = count * kButtonWidth + (count - 1) * kButtonGap;
    int clientW = std::max({b.textLeft + textWidth + kMargin, rowWidth + 2 * kMargin, kMinClientWidth});
    int clientH = kMargin + bodyHeight + kMargin + kButtonHeight + kMargin;
    // Text shorter than the icon sits at the icon's middle.
    int x = (clientW - rowWidth) / 2;
    int y = clientH - kMargin - kButtonHeight;
    for (HWND button : b.buttonWindows) {
        MoveWindow(button, x, y, kButtonWidth, kButtonHeight, FALSE);
        x += kButtonWidth + kButtonGap;
    }
    RECT wr, cr;
    GetWindowRect(box, &wr);
    GetClientRect(box, &cr);
    int w = clientW + (wr.right - wr.left) - cr.right;
    int h = clientH + (wr.bottom - wr.top) - cr.bottom;
    RECT area;
    if (owner && IsWindowVisible(owner)) {
        GetWindowRect(owner, &area);
    } else {
        SetRect(&area, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    }
    int left = area.left + ((area.right - area.left) - w) / 2;
    int top = area.top + ((area.bottom - area.top) - h) / 2;
    left = std::max(0, std::min(left, GetSystemMetrics(SM_CXSCREEN) - w));
    top = std::max(0, std::min(top, GetSystemMetrics(SM_CYSCREEN) - h));
    MoveWindow(box, left, top, w, h, FALSE);
}

int FocusedButton(const Box &b) {
    HWND focus = GetFocus();
    for (size_t i = 0; i < b.buttonWindows.size(); ++i)
        if (b.buttonWindows[i] == focus) return static_cast<int>(i);
    return -1;
}

void MoveFocus(const Box &b, int step) {
    int n = static_cast<int>(b.buttonWindows.size());
    if (n == 0) return;
    int i = FocusedButton(b);
    i = i < 0 ? 0 : (i + step + n) % n;
    SetFocus(b.buttonWindows[static_cast<size_t>(i)]);
}

// Keys the box handles itself, before the focused button sees them.
// Returns true when the message is used up.
bool BoxKey(HWND box, const MSG &msg) {
    if (msg.hwnd != box && GetParent(msg.hwnd) != box) return false;
    Box *b = State(box);
    if (!b) return false;
    if (msg.message == WM_SYSKEYDOWN && msg.wParam == VK_F4) {
        SendMessageA(box, WM_CLOSE, 0, 0);
        return true;
    }
    if (msg.message != WM_KEYDOWN) return false;
    switch (msg.wParam) {
        case VK_RETURN: {
            int i = FocusedButton(*b);
            if (i >= 0)
                Finish(box, GetDlgCtrlID(b->buttonWindows[static_cast<size_t>(i)]));
            else if (!b->buttons.empty())
                Finish(box, b->buttons[0].id);
            return true;
        }
        case VK_ESCAPE:
            if (b->cancelId) Finish(box, b->cancelId);
            return true;
        case VK_TAB:
            MoveFocus(*b, (GetKeyState(VK_SHIFT) < 0) ? -1 : 1);
            return true;
        case VK_RIGHT:
        case VK_DOWN:
            MoveFocus(*b, 1);
            return true;
        case VK_LEFT:
        case VK_UP:
            MoveFocus(*b, -1);
            return true;
        default:
            for (const ButtonSpec &entry : b->buttons) {
                if (entry.mnemonic && msg.wParam == static_cast<WPARAM>(entry.mnemonic)) {
                    Finish(box, entry.id);
                    return true;
                }
            }
            return false;
    }
}

// The box's buttons, the default one (MB_DEFBUTTONn) marked; its index.
size_t CreateButtons(HWND wnd, Box &box, UINT uType) {
    size_t defIndex = ((uType & MB_DEFMASK) >> 8);
    if (defIndex >= box.buttons.size()) defIndex = 0;
    for (size_t i = 0; i < box.buttons.size(); ++i) {
        DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == defIndex ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        HWND button = CreateWindowExA(
            0, "BUTTON", box.buttons[i].label, style, 0, 0, kButtonWidth, kButtonHeight, wnd,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(box.buttons[i].id)), nullptr, nullptr);
        if (button) box.buttonWindows.push_back(button);
    }
    return defIndex;
}

// The box's own message loop, until a button ends it or the box goes. A
// WM_QUIT ends it too: *quit is set and the code kept for reposting.
void RunModalLoop(HWND wnd, const Box &box, bool *quit, WPARAM *quitCode) {
    MSG msg;
    while (!box.done && IsWindow(wnd)) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            *quit = true;
            *quitCode = msg.wParam;
            return;
        }
        if (got < 0) return;
        if (BoxKey(wnd, msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

}  // namespace
}  // namespace win32::controls

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    using namespace win32::controls;
    if (!RegisterBoxClass()) return 0;
    HWND owner = hWnd && IsWindow(hWnd) ? TopLevel(hWnd) : nullptr;
    HWND previousFocus = GetFocus();

    Box box;
    box.lines = SplitLines(lpText);
    box.buttons = ButtonsFor(uType);
    box.cancelId = CancelIdFor(box.buttons);
    if (LPCSTR iconName = IconFor(uType)) box.icon = LoadIconA(nullptr, iconName);

    HWND wnd =
        CreateWindowExA(WS_EX_DLGMODALFRAME | ((uType & MB_SYSTEMMODAL) ? WS_EX_TOPMOST : 0), kClassName,
                        lpCaption ? lpCaption : "Error", WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 200, 100,
                        owner, nullptr, nullptr, nullptr);
    if (!wnd) return 0;
    SetWindowLongPtrA(wnd, 0, reinterpret_cast<LONG_PTR>(&box));

    size_t defIndex = CreateButtons(wnd, box, uType);
    Layout(wnd, box, owner);

    bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (ownerWasEnabled) EnableWindow(owner, FALSE);
    ShowWindow(wnd, SW_SHOWNORMAL);
    if (defIndex < box.buttonWindows.size()) SetFocus(box.buttonWindows[defIndex]);
    UpdateWindow(wnd);

    bool quit = false;
    WPARAM quitCode = 0;
    RunModalLoop(wnd, box, &quit, &quitCode);
    int result = box.done ? box.result : 0;

    // Give the owner its input back before the box goes, so it becomes the
    // active window again.
    if (ownerWasEnabled && IsWindow(owner)) EnableWindow(owner, TRUE);
    if (IsWindow(wnd)) {
        SetWindowLongPtrA(wnd, 0, 0);
        DestroyWindow(wnd);
    }
    if (previousFocus && IsWindow(previousFocus)) SetFocus(previousFocus);
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
    return result;
}
