// The back-end in use: opened on first use through the factory.
#include <algorithm>
#include <cctype>
#include <cstdint>
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

int ParseScale(const char *text, bool decimals) {
    if (!text) return -1;
    const char *p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    // Whole part and up to nine decimals; a value beyond any scale stops
    // growing (it is clamped anyway).
    int64_t whole = 0, fraction = 0, denominator = 1;
    bool digits = false;
    for (; std::isdigit(static_cast<unsigned char>(*p)); ++p, digits = true)
        whole = std::min<int64_t>(whole * 10 + (*p - '0'), 1000000);
    if (decimals && *p == '.') {
        ++p;
        for (; std::isdigit(static_cast<unsigned char>(*p)); ++p, digits = true) {
            if (denominator >= 1000000000) continue;
            fraction = fraction * 10 + (*p - '0');
            denominator *= 10;
        }
    }
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    if (!digits || *p != '\0') return -1;
    const int64_t n = whole * gdi::kScaleOne + (fraction * gdi::kScaleOne + denominator / 2) / denominator;
    return negative ? 0 : static_cast<int>(n);
}

int ScaleFromEnvironment(int resourceDpi, SIZE primary) {
    int n = ParseScale(std::getenv("MORVALEN_SCALE"), true);
    if (n < 0) n = ParseScale(std::getenv("GDK_SCALE"), false);
    if (n < 0) n = resourceDpi > 0 ? (resourceDpi * gdi::kScaleOne + 48) / 96 : gdi::kScaleOne;
    // The program's window and its boxes are laid out for a screen of at
    // least 640 x 480 of its pixels.
    int most = gdi::kScaleMax;
    if (primary.cx > 0 && primary.cy > 0)
        while (most > gdi::kScaleOne &&
               (gdi::DeviceEdge(640, most) > primary.cx || gdi::DeviceEdge(480, most) > primary.cy))
            --most;
    return std::clamp(n, gdi::kScaleOne, most);
}

}  // namespace win32::display
