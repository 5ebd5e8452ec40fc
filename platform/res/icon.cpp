// LoadIconA and LoadCursorA. Icons are made once per resource and shared:
// loading the same icon again returns the same handle.

#include <map>
#include <utility>

#include "platform/common/classic.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/res/image.h"
#include "platform/res/resources.h"

namespace win32 {

namespace {

// Shared icons by what they were made from: a resource's bytes, or a
// system icon or cursor id.
using IconKey = std::pair<const void *, WORD>;

std::map<IconKey, HICON> &SharedIcons() {
    static std::map<IconKey, HICON> icons;
    return icons;
}

// The cached handle when it is still a live icon (someone may have called
// DestroyIcon on it), else null.
HICON CachedIcon(const IconKey &key) {
    auto &icons = SharedIcons();
    auto it = icons.find(key);
    if (it == icons.end()) return nullptr;
    if (gdi::IconPixels(it->second, nullptr, nullptr, nullptr, nullptr)) return it->second;
    icons.erase(it);
    return nullptr;
}

HICON MakeShared(const IconKey &key, const res::IconPixels &px) {
    HICON icon = gdi::CreateIconFromPixels(px.width, px.height, px.colors.data(), px.mask.data());
    if (icon) SharedIcons()[key] = icon;
    return icon;
}

HICON SystemIcon(WORD id, bool cursor) {
    // Cursor ids live in a second key space (IDC_ARROW and IDI_APPLICATION
    // share the number 32512).
    static const char cursorSpace = 0;
    IconKey key{cursor ? &cursorSpace : nullptr, id};
    if (HICON icon = CachedIcon(key)) return icon;
    res::IconPixels px;
    if (!res::SystemIconPixels(id, cursor, &px)) return nullptr;
    return MakeShared(key, px);
}

}  // namespace

}  // namespace win32

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
    using namespace win32;
    if (lpIconName == nullptr) return nullptr;
    if (hInstance == nullptr) {
        if (!IS_INTRESOURCE(lpIconName)) return nullptr;
        return SystemIcon(LOWORD(reinterpret_cast<ULONG_PTR>(lpIconName)), false);
    }

    ResourceData group;
    if (!FindModuleResource(hInstance, RT_GROUP_ICON, lpIconName, &group)) return nullptr;
    IconKey key{group.data, 0};
    if (HICON icon = CachedIcon(key)) return icon;

    std::vector<res::GroupIconEntry> entries;
    if (!res::ParseIconGroup(group.data, group.size, &entries)) return nullptr;
    int pick = res::PickIconEntry(entries, classic::kIconSize);
    if (pick < 0) return nullptr;

    ResourceData image;
    if (!FindModuleResource(hInstance, RT_ICON, MAKEINTRESOURCEA(entries[pick].iconId), &image))
        return nullptr;
    res::IconPixels px;
    if (!res::DecodeIcon(image.data, image.size, &px)) return nullptr;
    return MakeShared(key, px);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
    // The program carries no cursors of its own; of the system's, the arrow.
    if (hInstance != nullptr || lpCursorName == nullptr || !IS_INTRESOURCE(lpCursorName)) return nullptr;
    return win32::SystemIcon(LOWORD(reinterpret_cast<ULONG_PTR>(lpCursorName)), true);
}
