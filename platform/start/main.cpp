// The process entry point: picks the X11 display back-end (opened on first
// use, so static set-up never needs a display) and runs the program's
// WinMain with the command line as one string. "--help" and "--version" as
// the only argument are answered here, before the program starts.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/a11y/a11y.h"
#include "platform/display/backend.h"
#include "platform/display/x11/x11.h"
#include "platform/kernel/module.h"

using namespace win32;

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

// Answers --help or --version on stdout; false for any other command line,
// which the program gets (and ignores) as on Windows.
bool AnswerOption(int argc, char **argv) {
    if (argc != 2) return false;
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("Morvalen %s\n", MORVALEN_VERSION);
        return true;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
        std::printf(
            "usage: morvalen [--help | --version]\n"
            "Opens a window on $DISPLAY that shows the free space on all drives.\n"
            "Esc or Alt+X ends it; a double-click in the list opens the about box.\n"
            "morvalen-drives prints which filesystem has which drive letter.\n"
            "See morvalen(1) and morvalen-drives(1).\n");
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char **argv) {
    if (AnswerOption(argc, argv)) return 0;
    display::SetFactory(display::x11::OpenOrExit);
    a11y::AllowProvider();
    std::string line = CommandLine(argc, argv);
    return WinMain(win32::MainModule(), nullptr, line.data(), SW_SHOWDEFAULT);
}
