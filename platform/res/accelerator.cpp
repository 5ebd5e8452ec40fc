// Accelerator tables: LoadAcceleratorsA, DestroyAcceleratorTable, the
// entries behind a handle, and TranslateAcceleratorA, which turns a key
// message that matches an entry of the table into WM_COMMAND, sent to the
// given window.

#include <map>
#include <memory>
#include <vector>

#include "platform/common/handles.h"
#include "platform/res/image.h"
#include "platform/res/resources.h"

namespace win32 {

namespace {

struct AcceleratorTable {
    std::vector<ACCEL> entries;
    const uint8_t *source = nullptr;  // the resource it was loaded from
};

HandleTable<AcceleratorTable> &Tables() {
    static HandleTable<AcceleratorTable> tables(HandleKind::Accelerator);
    return tables;
}

// Tables loaded from resources, by the resource's bytes: a second load of
// the same table answers the same handle.
std::map<const uint8_t *, HACCEL> &Loaded() {
    static std::map<const uint8_t *, HACCEL> loaded;
    return loaded;
}

}  // namespace

bool AcceleratorEntries(HACCEL table, std::vector<ACCEL> *out) {
    const AcceleratorTable *t = Tables().Get(HandleValue(table));
    if (t == nullptr) return false;
    if (out) *out = t->entries;
    return true;
}

HACCEL CreateAcceleratorTableFromEntries(const ACCEL *entries, int count) {
    if (entries == nullptr || count <= 0) return nullptr;
    auto table = std::make_unique<AcceleratorTable>();
    for (int i = 0; i < count; ++i) {
        ACCEL a = entries[i];
        a.fVirt &= 0x7F;
        table->entries.push_back(a);
    }
    return MakeHandle<HACCEL>(Tables().Add(std::move(table)));
}

}  // namespace win32

HACCEL WINAPI LoadAcceleratorsA(HINSTANCE hInstance, LPCSTR lpTableName) {
    using namespace win32;
    ResourceData data;
    if (!FindModuleResource(hInstance, RT_ACCELERATOR, lpTableName, &data)) return nullptr;
    auto it = Loaded().find(data.data);
    if (it != Loaded().end()) return it->second;

    auto table = std::make_unique<AcceleratorTable>();
    if (!res::ParseAccelerators(data.data, data.size, &table->entries)) return nullptr;
    table->source = data.data;
    HACCEL h = MakeHandle<HACCEL>(Tables().Add(std::move(table)));
    if (h) Loaded()[data.data] = h;
    return h;
}

BOOL WINAPI DestroyAcceleratorTable(HACCEL hAccel) {
    using namespace win32;
    std::unique_ptr<AcceleratorTable> t = Tables().Remove(HandleValue(hAccel));
    if (!t) return FALSE;
    // A table loaded from a resource is made afresh by the next load.
    if (t->source) Loaded().erase(t->source);
    return TRUE;
}

namespace {

bool KeyDown(int vk) {
    return (GetKeyState(vk) & 0x8000) != 0;
}

// Whether `a` matches the message. Virtual-key entries match key-down
// messages with exactly their Shift, Ctrl and Alt states; character entries
// match the character, with Alt only through WM_SYSCHAR.
bool Matches(const ACCEL &a, const MSG &msg) {
    if (a.fVirt & FVIRTKEY) {
        if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
        if (msg.wParam != a.key) return false;
        bool shift = KeyDown(VK_SHIFT);
        bool ctrl = KeyDown(VK_CONTROL);
        // Bit 29 of a system key message says Alt was down when it was made.
        bool alt = KeyDown(VK_MENU) || (msg.message == WM_SYSKEYDOWN && (msg.lParam & (LPARAM{1} << 29)));
        return shift == ((a.fVirt & FSHIFT) != 0) && ctrl == ((a.fVirt & FCONTROL) != 0) &&
               alt == ((a.fVirt & FALT) != 0);
    }
    if (msg.message == WM_CHAR) return (a.fVirt & FALT) == 0 && msg.wParam == a.key;
    if (msg.message == WM_SYSCHAR) return (a.fVirt & FALT) != 0 && msg.wParam == a.key;
    return false;
}

}  // namespace

int WINAPI TranslateAcceleratorA(HWND hWnd, HACCEL hAccTable, LPMSG lpMsg) {
    if (hWnd == nullptr || lpMsg == nullptr) return 0;
    std::vector<ACCEL> entries;
    if (!win32::AcceleratorEntries(hAccTable, &entries)) return 0;
    for (const ACCEL &a : entries) {
        if (!Matches(a, *lpMsg)) continue;
        // The first matching entry wins.
        SendMessageA(hWnd, WM_COMMAND, MAKEWPARAM(a.cmd, 1), 0);
        return 1;
    }
    return 0;
}
