// Choosing the window system at the start.
#include "platform/start/display_choice.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/display/plugin.h"
#include "platform/display/x11/x11.h"

namespace win32::start {

namespace {

std::string Environment(const char *name) {
    const char *value = std::getenv(name);
    return value ? value : "";
}

[[noreturn]] void Refuse(const std::string &message) {
    std::fprintf(stderr, "morvalen: %s\n", message.c_str());
    std::exit(1);
}

}  // namespace

std::unique_ptr<display::Backend> OpenDisplayOrExit() {
    const std::string forced = Environment("MORVALEN_BACKEND");
    if (!forced.empty() && forced != "x11" && forced != "wayland")
        Refuse("MORVALEN_BACKEND is \"" + forced + "\": it names a window system, x11 or wayland");
    if (forced == "x11") return display::x11::OpenOrExit();

    const std::string wayland = Environment("WAYLAND_DISPLAY"), socket = Environment("WAYLAND_SOCKET");
    const std::string x = Environment("DISPLAY");
    if (wayland.empty() && socket.empty()) {
        if (forced == "wayland") Refuse("cannot connect to a Wayland display: WAYLAND_DISPLAY is not set");
        if (x.empty())
            Refuse(
                "no display to open: neither WAYLAND_DISPLAY nor DISPLAY is set (start morvalen from a "
                "graphical session)");
        return display::x11::OpenOrExit();
    }
    std::string why;
    if (auto backend = display::OpenPluginBackend("morvalen-wayland.so", &why)) return backend;
    const std::string where =
        wayland.empty() ? "handed over in WAYLAND_SOCKET" : "\"" + wayland + "\" (WAYLAND_DISPLAY)";
    const std::string failure = "cannot connect to the Wayland display " + where + ": " + why;
    if (forced == "wayland") Refuse(failure);
    if (x.empty()) Refuse(failure + "; and DISPLAY is not set for an X display");
    std::fprintf(stderr, "morvalen: %s; using the X display \"%s\" instead\n", failure.c_str(), x.c_str());
    return display::x11::OpenOrExit();
}

}  // namespace win32::start
