// The off-screen record of text drawn into each window and, for list
// boxes, into each item: what a screen reader reads. Kept only while the
// provider runs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace win32::a11y {

struct TextRun {
    RECT cell{};  // client coordinates of the window (or the list box)
    std::string text;
    bool underlined = false;
};

bool Recording();
// Off also forgets everything recorded.
void SetRecordingFlag(bool on);
// Runs in drawing order; null when nothing was drawn.
const std::vector<TextRun> *WindowRuns(HWND h);
const std::vector<TextRun> *ItemRuns(HWND list, int index);
void ForgetWindow(HWND h);

// What the layer reports (see platform/common/a11y_hooks.h).
void RecordText(HWND hwnd, const RECT &cell, const char *s, int n, bool underlined);
void BeginItem(HWND list, int index, UINT action);
void EndItem();

}  // namespace win32::a11y
