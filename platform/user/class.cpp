// Window classes: RegisterClassA, UnregisterClassA, GetClassInfoA.
//
// Class names compare case-insensitively. A class registered with an
// instance is local to it; lookups fall back to classes registered with a
// null instance (the system classes). Works before main and without a display.
#include <strings.h>

#include "platform/user/class.h"

#include "platform/common/nonclient.h"
#include "platform/user/wm.h"

namespace win32::wm {

namespace {

// Classes last for the whole process, as registered before main.
struct ClassRegistry {
    std::vector<std::shared_ptr<WindowClass>> classes;
    ATOM nextAtom = 0xC000;
    bool systemClassesRegistered = false;
    bool registeringSystemClasses = false;
};

ClassRegistry &Registry() {
    static auto *registry = new ClassRegistry();  // windows may outlive static destructors
    return *registry;
}

bool IsAtom(LPCSTR name) {
    return (reinterpret_cast<uintptr_t>(name) >> 16) == 0;
}

bool NameMatches(const WindowClass &c, LPCSTR name) {
    if (IsAtom(name)) return c.atom == static_cast<ATOM>(reinterpret_cast<uintptr_t>(name));
    return strcasecmp(c.name.c_str(), name) == 0;
}

std::shared_ptr<WindowClass> FindExact(LPCSTR name, HINSTANCE instance, bool global) {
    for (auto &c : Registry().classes)
        if (c->global == global && (global || c->instance == instance) && NameMatches(*c, name)) return c;
    return nullptr;
}

void EnsureSystemClasses() {
    ClassRegistry &s = Registry();
    if (s.systemClassesRegistered || s.registeringSystemClasses) return;
    s.registeringSystemClasses = true;
    win32::RegisterSystemClasses();
    s.registeringSystemClasses = false;
    s.systemClassesRegistered = true;
}

}  // namespace

std::shared_ptr<WindowClass> FindClass(LPCSTR name, HINSTANCE instance) {
    if (!name) return nullptr;
    EnsureSystemClasses();
    if (instance) {
        if (auto c = FindExact(name, instance, false)) return c;
    }
    if (auto c = FindExact(name, nullptr, true)) return c;
    // A class registered by another instance of this process is still visible.
    for (auto &c : Registry().classes)
        if (NameMatches(*c, name)) return c;
    return nullptr;
}

}  // namespace win32::wm

using namespace win32::wm;

ATOM WINAPI RegisterClassA(const WNDCLASSA *wc) {
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc || wc->cbClsExtra < 0 || wc->cbWndExtra < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (IsAtom(wc->lpszClassName) || wc->lpszClassName[0] == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    ClassRegistry &s = Registry();
    // User classes may shadow system ones; register the system classes first
    // so they never collide later.
    if (wc->hInstance) EnsureSystemClasses();
    bool global = wc->hInstance == nullptr;
    if (FindExact(wc->lpszClassName, wc->hInstance, global)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto c = std::make_shared<WindowClass>();
    c->name = wc->lpszClassName;
    c->atom = s.nextAtom++;
    c->style = wc->style;
    c->proc = wc->lpfnWndProc;
    c->clsExtra = wc->cbClsExtra;
    c->wndExtra = wc->cbWndExtra;
    c->instance = wc->hInstance;
    c->icon = wc->hIcon;
    c->cursor = wc->hCursor;
    c->background = wc->hbrBackground;
    if (wc->lpszMenuName && !IsAtom(wc->lpszMenuName)) c->menuName = wc->lpszMenuName;
    c->global = global;
    s.classes.push_back(c);
    return c->atom;
}

BOOL WINAPI UnregisterClassA(LPCSTR name, HINSTANCE instance) {
    if (!name) return FALSE;
    ClassRegistry &s = Registry();
    for (size_t i = 0; i < s.classes.size(); ++i) {
        WindowClass &c = *s.classes[i];
        if (NameMatches(c, name) && (c.instance == instance || (c.global && !instance))) {
            if (c.windows > 0) {
                SetLastError(ERROR_CLASS_HAS_WINDOWS);
                return FALSE;
            }
            s.classes.erase(s.classes.begin() + static_cast<long>(i));
            return TRUE;
        }
    }
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
}

BOOL WINAPI GetClassInfoA(HINSTANCE instance, LPCSTR name, LPWNDCLASSA out) {
    auto c = FindClass(name, instance);
    if (!c || !out) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    out->style = c->style;
    out->lpfnWndProc = c->proc;
    out->cbClsExtra = c->clsExtra;
    out->cbWndExtra = c->wndExtra;
    out->hInstance = c->instance;
    out->hIcon = c->icon;
    out->hCursor = c->cursor;
    out->hbrBackground = c->background;
    out->lpszMenuName = c->menuName.empty() ? nullptr : c->menuName.c_str();
    out->lpszClassName = c->name.c_str();
    return TRUE;
}
