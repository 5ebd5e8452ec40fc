// Checked handle tables.
//
// A handle value packs a 4-bit kind tag, a 12-bit generation and a 16-bit
// slot index into 32 bits, so values survive a round trip through a DWORD
// as they do on 32-bit Windows. A stale handle (its slot freed, or reused by
// a later object) no longer matches its generation and looks up as null.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace win32 {

enum class HandleKind : uint32_t {
    Window = 1,
    DeviceContext = 2,
    GdiObject = 3,
    Icon = 4,
    Accelerator = 5,
    Module = 6,
};

template <class T>
class HandleTable {
public:
    explicit HandleTable(HandleKind kind) : kind_(static_cast<uint32_t>(kind)) {}

    // Stores the object and returns its handle value (never 0).
    uintptr_t Add(std::unique_ptr<T> obj) {
        uint32_t index;
        if (!free_.empty()) {
            index = free_.back();
            free_.pop_back();
        } else {
            if (slots_.size() >= kMaxSlots) return 0;
            index = static_cast<uint32_t>(slots_.size());
            slots_.emplace_back();
        }
        Slot &s = slots_[index];
        s.obj = std::move(obj);
        ++live_;
        return Encode(index, s.generation);
    }

    // The live object behind a handle, or null for 0, a stale handle or a
    // handle of another kind.
    T *Get(uintptr_t handle) const {
        uint32_t index;
        if (!Decode(handle, &index)) return nullptr;
        return slots_[index].obj.get();
    }

    // Takes the object out of the table; its handle becomes stale.
    std::unique_ptr<T> Remove(uintptr_t handle) {
        uint32_t index;
        if (!Decode(handle, &index)) return nullptr;
        Slot &s = slots_[index];
        std::unique_ptr<T> obj = std::move(s.obj);
        s.generation = (s.generation + 1) & kGenerationMask;
        if (s.generation == 0) s.generation = 1;
        free_.push_back(index);
        --live_;
        return obj;
    }

    size_t LiveCount() const { return live_; }

    // Calls fn(handle, object&) for every live object, in slot order.
    template <class F>
    void ForEach(F &&fn) const {
        for (uint32_t i = 0; i < slots_.size(); ++i)
            if (slots_[i].obj) fn(Encode(i, slots_[i].generation), *slots_[i].obj);
    }

private:
    static constexpr uint32_t kMaxSlots = 0xFFFF;
    static constexpr uint32_t kGenerationMask = 0xFFF;

    struct Slot {
        uint32_t generation = 1;
        std::unique_ptr<T> obj;
    };

    uintptr_t Encode(uint32_t index, uint32_t generation) const {
        return (uintptr_t{kind_} << 28) | (uintptr_t{generation} << 16) | (index + 1);
    }

    bool Decode(uintptr_t handle, uint32_t *index) const {
        if (handle == 0 || (handle >> 32) != 0) return false;
        if ((handle >> 28) != kind_) return false;
        uint32_t slot = static_cast<uint32_t>(handle & 0xFFFF);
        if (slot == 0 || slot > slots_.size()) return false;
        const Slot &s = slots_[slot - 1];
        if (!s.obj || s.generation != ((handle >> 16) & kGenerationMask)) return false;
        *index = slot - 1;
        return true;
    }

    uint32_t kind_;
    std::vector<Slot> slots_;
    std::vector<uint32_t> free_;
    size_t live_ = 0;
};

template <class H>
inline uintptr_t HandleValue(H h) {
    return reinterpret_cast<uintptr_t>(h);
}

template <class H>
inline H MakeHandle(uintptr_t v) {
    return reinterpret_cast<H>(v);
}

}  // namespace win32
