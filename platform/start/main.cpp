// The process entry point: picks the display back-end (Wayland or X11,
// opened on first use, so static set-up never needs a display) and runs
// the program's WinMain with the command line as one string. "--help" and
// "--version" as the only argument are answered here, before the program
// starts.
#include <windows.h>

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/a11y/a11y.h"
#include "platform/display/backend.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/kernel/module.h"
#include "platform/kernel/output.h"
#include "platform/shell/shell.h"
#include "platform/start/display_choice.h"

using namespace win32;

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);

namespace {

// Standard input, output and error that the process was started without
// get a descriptor of their own, so the next descriptors the process opens
// (the X connection above all) can never be 0, 1 or 2, where whatever a
// library prints would go. Standard input and error are opened on
// /dev/null. Standard output gets a descriptor that refuses every read and
// write, as a closed one does, so that an answer to --help that cannot be
// written is still reported as lost; so does any of them where /dev/null
// is missing.
void OpenClosedStandardDescriptors(int, char **, char **) {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        int opened = fd == 1 ? -1 : open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened < 0) opened = open("/", O_PATH);
        // Descriptors below fd are open, so the lowest free one is fd.
        if (opened >= 0 && opened != fd) close(opened);
    }
}

// Run before any constructor, those of the shared libraries included, so
// that nothing is opened before.
[[gnu::used, gnu::section(".preinit_array")]] void (*const kOpenStandardDescriptors)(int, char **, char **) =
    OpenClosedStandardDescriptors;

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

// Answers --help or --version on stdout (a write that fails is reported by
// FinishStandardOutput); false for any other command line, which the
// program gets (and ignores) as on Windows.
bool AnswerOption(int argc, char **argv) {
    if (argc != 2) return false;
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("Morvalen %s\n", MORVALEN_VERSION);
        return true;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
        std::printf(
            "usage: morvalen [--help | --version]\n"
            "Opens a window on $WAYLAND_DISPLAY, else on $DISPLAY, that shows the free\n"
            "space on all drives.\n"
            "Esc or Alt+X ends it; a double-click in the list opens the about box.\n"
            "morvalen-drives prints which filesystem has which drive letter.\n"
            "See morvalen(1) and morvalen-drives(1).\n");
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char **argv) {
    if (AnswerOption(argc, argv)) return FinishStandardOutput();
    // Without a face that gives readable text the window would show bars
    // and no word: say what is missing instead.
    if (!gdi::StockFontsReadable()) {
        std::fputs("morvalen: no usable font; install fonts-dejavu-core\n", stderr);
        return 1;
    }
    display::SetFactory(start::OpenDisplayOrExit);
    shell::SetActivationTokenSource(
        [] { return display::IsOpen() ? display::Current().ActivationToken() : std::string(); });
    a11y::AllowProvider();
    std::string line = CommandLine(argc, argv);
    return WinMain(win32::MainModule(), nullptr, line.data(), SW_SHOWDEFAULT);
}
