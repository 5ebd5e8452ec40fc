// Test seams of the layer's shell part. Never included by the program.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace win32::testing {

struct ShellCall {
    HWND hwnd;
    std::string verb;  // "(null)" for a null pointer, likewise below
    std::string file;
    std::string params;
    std::string dir;
    INT show;
};

// While recording, ShellExecuteA notes every call and answers as it would,
// but starts nothing: where it would start the opener it returns 42.
void RecordShellCalls(bool on);
std::vector<ShellCall> ShellCalls();

// The program started for an address (null: "xdg-open"), looked up on PATH.
void SetShellOpener(const char *program);

// Back to starting xdg-open; the record cleared.
void ResetShell();

}  // namespace win32::testing
