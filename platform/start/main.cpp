// The process entry point: picks the X11 display back-end (opened on first
// use, so static set-up never needs a display) and runs the program's
// WinMain with the command line as one string.
#include <windows.h>

#include <string>

#include "platform/display/backend.h"
#include "platform/display/x11/x11.h"
#include "platform/kernel/module.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);

namespace {

// The arguments after the program name, joined as Windows passes them:
// separated by spaces, an argument with blanks (or an empty one) in quotes.
std::string CommandLine(int argc, char **argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        std::string arg = argv[i];
        bool quote = arg.empty() || arg.find_first_of(" \t") != std::string::npos;
        if (quote) line += '"';
        line += arg;
        if (quote) line += '"';
    }
    return line;
}

}  // namespace

int main(int argc, char **argv) {
    display::SetFactory(x11::OpenOrExit);
    std::string line = CommandLine(argc, argv);
    return WinMain(win32::MainModule(), nullptr, line.data(), SW_SHOWDEFAULT);
}
