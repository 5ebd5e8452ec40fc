// The record of drawn text. A run drawn over earlier runs replaces them, as
// the pixels do; a whole redraw of a list item starts the item afresh.
#include "platform/a11y/record.h"

#include <map>
#include <unordered_map>
#include <utility>

namespace win32::a11y {

namespace {

struct Records {
    bool on = false;
    std::unordered_map<HWND, std::vector<TextRun>> windows;
    std::map<std::pair<HWND, int>, std::vector<TextRun>> items;
    HWND drawingList = nullptr;  // the item being drawn, if any
    int drawingIndex = -1;
    std::vector<std::pair<HWND, int>> saved;  // items drawn around the current one
};

Records &Recorded() {
    static auto *r = new Records();  // drawing may happen in static destructors
    return *r;
}

bool Overlap(const RECT &a, const RECT &b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

void Add(std::vector<TextRun> &runs, TextRun run) {
    std::erase_if(runs, [&](const TextRun &old) { return Overlap(old.cell, run.cell); });
    runs.push_back(std::move(run));
}

}  // namespace

bool Recording() {
    return Recorded().on;
}

void SetRecordingFlag(bool on) {
    Records &r = Recorded();
    r.on = on;
    if (!on) {
        r.windows.clear();
        r.items.clear();
    }
}

const std::vector<TextRun> *WindowRuns(HWND h) {
    auto it = Recorded().windows.find(h);
    return it == Recorded().windows.end() ? nullptr : &it->second;
}

const std::vector<TextRun> *ItemRuns(HWND list, int index) {
    auto it = Recorded().items.find({list, index});
    return it == Recorded().items.end() ? nullptr : &it->second;
}

void ForgetWindow(HWND h) {
    Records &r = Recorded();
    r.windows.erase(h);
    std::erase_if(r.items, [h](const auto &entry) { return entry.first.first == h; });
}

void RecordText(HWND hwnd, const RECT &cell, const char *s, int n, bool underlined) {
    Records &r = Recorded();
    if (!r.on || !s || n <= 0) return;
    TextRun run{cell, std::string(s, static_cast<size_t>(n)), underlined};
    if (r.drawingList) {
        Add(r.items[{r.drawingList, r.drawingIndex}], std::move(run));
    } else if (hwnd) {
        Add(r.windows[hwnd], std::move(run));
    }
}

void BeginItem(HWND list, int index, UINT action) {
    Records &r = Recorded();
    r.saved.push_back({r.drawingList, r.drawingIndex});
    if (!r.on) return;
    r.drawingList = list;
    r.drawingIndex = index;
    if (action == ODA_DRAWENTIRE) r.items.erase({list, index});
}

void EndItem() {
    Records &r = Recorded();
    if (r.saved.empty()) return;
    r.drawingList = r.saved.back().first;
    r.drawingIndex = r.saved.back().second;
    r.saved.pop_back();
}

}  // namespace win32::a11y
