// Accelerator tables: LoadAcceleratorsA, DestroyAcceleratorTable and the
// entries behind a handle. TranslateAcceleratorA is in
// accelerator_translate.cpp.

#include <map>
#include <memory>
#include <vector>

#include "platform/common/handles.h"
#include "platform/user/resource_image.h"
#include "platform/user/resources.h"

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
