// The layer's side of plugged-in back-ends: the host they are lent, and
// loading one.
#include "platform/display/plugin.h"

#include <dlfcn.h>

#include "platform/kernel/plugin.h"

namespace win32::display {

namespace {

class LayerHost final : public PluginHost {
public:
    WaitSource *CurrentWaitSource() override { return display::CurrentWaitSource(); }
    bool TranslateKeyCode(const KeyCodeSyms &key, unsigned long sym, KeyInfo *out) override {
        return display::TranslateKeyCode(key, sym, out);
    }
    int KeysymToWindows1252(unsigned long keysym) override { return display::KeysymToWindows1252(keysym); }
    std::string Utf8FromWindows1252(const char *text) override { return display::Utf8FromWindows1252(text); }
    std::vector<RECT> DeviceRects(const gdi::Region &region, int scale) override {
        return region.Scaled(scale).Rects();
    }
    void PaintFrame(gdi::Surface &surface, const frame::Look &look) override {
        frame::PaintFrame(surface, look);
    }
};

}  // namespace

std::unique_ptr<Backend> OpenPluginBackend(const char *file, std::string *why) {
    static LayerHost host;
    auto open = reinterpret_cast<OpenBackendFn>(PluginEntry(file, kOpenBackendSymbol));
    if (!open) {
        *why = std::string("cannot load ") + file;
        if (const char *error = dlerror()) *why += std::string(": ") + error;
        return nullptr;
    }
    return std::unique_ptr<Backend>(open(&host, why));
}

}  // namespace win32::display
