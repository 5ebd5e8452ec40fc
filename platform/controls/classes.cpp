#include "platform/controls/controls_private.h"
#include "platform/common/nonclient.h"

namespace win32 {

void RegisterSystemClasses() {
    WNDCLASSA wc{};
    wc.style = CS_DBLCLKS | CS_GLOBALCLASS;
    wc.lpfnWndProc = controls::ListBoxProc;
    wc.cbWndExtra = sizeof(void *);
    wc.hInstance = nullptr;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "listbox";
    RegisterClassA(&wc);

    wc.style = CS_DBLCLKS | CS_PARENTDC | CS_HREDRAW | CS_VREDRAW | CS_GLOBALCLASS;
    wc.lpfnWndProc = controls::ButtonProc;
    wc.lpszClassName = "BUTTON";
    RegisterClassA(&wc);
}

}  // namespace win32
