// The back-end in use: opened on first use through the factory.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "platform/display/backend.h"
#include "platform/display/headless/headless.h"

namespace win32::display {

namespace {

struct Holder {
    std::unique_ptr<Backend> backend;
    std::function<std::unique_ptr<Backend>()> factory;
    WaitSource *waitSource = nullptr;
};

Holder &BackendHolder() {
    static auto *h = new Holder();  // outlives static destructors that may still draw
    return *h;
}

}  // namespace

Backend &Current() {
    Holder &h = BackendHolder();
    if (!h.backend) {
        if (h.factory) {
            h.backend = h.factory();
        } else {
            h.backend = std::make_unique<HeadlessBackend>(1024, 768);
        }
        if (!h.backend) {
            std::fprintf(stderr, "morvalen: cannot open the display\n");
            std::exit(1);
        }
    }
    return *h.backend;
}

bool IsOpen() {
    return BackendHolder().backend != nullptr;
}

void SetFactory(std::function<std::unique_ptr<Backend>()> factory) {
    BackendHolder().factory = std::move(factory);
}

void Reset(std::unique_ptr<Backend> backend) {
    BackendHolder().backend = std::move(backend);
}

void SetWaitSource(WaitSource *source) {
    BackendHolder().waitSource = source;
}

WaitSource *CurrentWaitSource() {
    return BackendHolder().waitSource;
}

namespace {

// A whole number from an environment variable, blanks around it allowed;
// false when unset or not one.
bool EnvironmentInteger(const char *name, long *value) {
    const char *text = std::getenv(name);
    if (!text) return false;
    char *end = nullptr;
    *value = std::strtol(text, &end, 10);
    if (end == text) return false;
    while (std::isspace(static_cast<unsigned char>(*end))) ++end;
    return *end == '\0';
}

}  // namespace

int ScaleFromEnvironment(int resourceDpi, SIZE primary) {
    long scale = 1;
    if (!EnvironmentInteger("MORVALEN_SCALE", &scale) && !EnvironmentInteger("GDK_SCALE", &scale))
        scale = resourceDpi > 0 ? (resourceDpi + 48) / 96 : 1;
    // The program's window and its boxes are laid out for a screen of at
    // least 640 x 480 of its pixels.
    long most = 4;
    if (primary.cx > 0 && primary.cy > 0) most = std::min({most, primary.cx / 640L, primary.cy / 480L});
    return static_cast<int>(std::clamp(scale, 1L, std::max(most, 1L)));
}

}  // namespace win32::display
