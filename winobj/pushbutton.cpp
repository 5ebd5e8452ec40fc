// Push-button child controls bound to CPushButton objects.
#include "winobj/pushbutton.h"

#include "app/mainwnd.h"

int ControlIdCounter = FirstAutoControlId;
WNDPROC SavedControlProc = 0;

CPushButton::CPushButton(int subclassFlag)
    : hwnd(0),
      style(WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON),
      exStyle(0),
      controlId(0),
      callbackData(0),
      clickCallback(0),
      subclassOnCreate(subclassFlag),
      mnemonic(0) {}

int CPushButton::Create(HWND parent, int id, LPCSTR label, int x, int y, int width, int height) {
    if (id == 0) {
        AssignControlId();
    } else {
        controlId = id;
    }
    LPCSTR amp = FindChar(label, '&');
    mnemonic = amp != 0 ? amp[1] : 0;
    int created = CreateControl("BUTTON", parent, label, x, y, width, height);
    if (created && subclassOnCreate) Subclass(0);
    return created;
}

// WM_COMMAND carries only the low 16 bits of an id, so the counter starts
// again at the first automatic id rather than hand out one past 0xFFFF.
void CPushButton::AssignControlId() {
    if (ControlIdCounter < FirstAutoControlId || ControlIdCounter > LastAutoControlId) {
        ControlIdCounter = FirstAutoControlId;
    }
    controlId = ControlIdCounter;
    ControlIdCounter = ControlIdCounter == LastAutoControlId ? FirstAutoControlId : ControlIdCounter + 1;
}

int CPushButton::CreateControl(LPCSTR className, HWND parent, LPCSTR label, int x, int y, int width,
                               int height) {
    hwnd = GetDlgItem(parent, controlId);
    if (hwnd == 0) {
        hwnd = CreateWindowExA(exStyle, className, label, style, x, y, width, height, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)), AppInstance, 0);
    }
    if (hwnd == 0) return 0;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return 1;
}

int CPushButton::OnClicked(int code, int) {
    if (code != BN_CLICKED) return 0;
    if (clickCallback == 0) return 0;
    clickCallback(callbackData, controlId);
    return 1;
}

void CPushButton::Reserved(int) {}

LRESULT CPushButton::OnNotify(NMHDR *) {
    return 0;
}

void CPushButton::SetCallback(void *data, ClickCallbackProc callback) {
    callbackData = data;
    clickCallback = callback;
}

// Messages the object leaves alone go on to the control's own procedure, so
// a subclassed button still draws itself and reports its clicks.
LRESULT CPushButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (SavedControlProc == 0 || SavedControlProc == ControlWindowProc) return 0;
    return CallWindowProcA(SavedControlProc, hwnd, message, wParam, lParam);
}

WNDPROC CPushButton::Subclass(WNDPROC procedure) {
    if (procedure == 0) procedure = ControlWindowProc;
    WNDPROC previous = SubclassWindow(hwnd, procedure);
    if (SavedControlProc == 0) SavedControlProc = previous;
    return previous;
}

WNDPROC SubclassWindow(HWND window, WNDPROC procedure) {
    if (!IsWindow(window) || procedure == 0) return 0;
    return reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
}

LRESULT CALLBACK ControlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CPushButton *button = reinterpret_cast<CPushButton *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (button == 0) return DefWindowProcA(window, message, wParam, lParam);
    return button->WindowProc(message, wParam, lParam);
}

LPCSTR FindChar(LPCSTR text, char c) {
    if (c == '\0') return 0;
    for (LPCSTR p = text; *p != '\0'; ++p) {
        if (*p == c) return p;
    }
    return 0;
}
