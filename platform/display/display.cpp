// The back-end in use: opened on first use through the factory.
#include <cstdio>
#include <cstdlib>

#include "platform/display/backend.h"
#include "platform/display/headless/headless.h"

namespace display {

namespace {

struct Holder {
    std::unique_ptr<Backend> backend;
    std::function<std::unique_ptr<Backend>()> factory;
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

}  // namespace display
