// Back-ends that live in plugins, loaded only when they are chosen, so
// that their libraries weigh on no other start: what the layer lends them,
// and how one is opened.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/display/backend.h"
#include "platform/display/frame.h"
#include "platform/display/keysyms.h"

namespace win32::display {

// The layer's parts a plugged-in back-end shares with the others. The
// plugin is built from this tree with the same compiler.
class PluginHost {
public:
    virtual ~PluginHost() = default;
    virtual WaitSource *CurrentWaitSource() = 0;
    virtual bool TranslateKeyCode(const KeyCodeSyms &key, unsigned long sym, KeyInfo *out) = 0;
    virtual int KeysymToWindows1252(unsigned long keysym) = 0;
    virtual std::string Utf8FromWindows1252(const char *text) = 0;
    // A region at `scale` device pixels per logical pixel, as rectangles.
    virtual std::vector<RECT> DeviceRects(const gdi::Region &region, int scale) = 0;
    virtual void PaintFrame(gdi::Surface &surface, const frame::Look &look) = 0;
};

// The plugin's entry point: a back-end, or null with the reason in *why.
using OpenBackendFn = Backend *(*)(PluginHost *host, std::string *why);
constexpr const char *kOpenBackendSymbol = "MorvalenOpenBackend";

// Loads the back-end of plugin `file` ("morvalen-wayland.so") and opens it;
// null with the reason in *why.
std::unique_ptr<Backend> OpenPluginBackend(const char *file, std::string *why);

}  // namespace win32::display
