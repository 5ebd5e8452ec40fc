// Input for the compositor tests: a virtual pointer and a virtual keyboard
// on a wlroots compositor's seat, driven by one command per line on stdin.
// Each command is answered with "ok" once the compositor has received it
// (a round trip), or with "error ..." when it cannot be done.
//
//   move X Y          the pointer to X,Y in the output layout (absolute)
//   down B / up B     press or release button B (1 left, 2 middle, 3 right)
//   key COMBO         press and release a combination such as "o",
//                     "alt+x", "Return" (xdotool's names)
//   sleep MS          wait, then answer
//
// usage: wlinput WIDTH HEIGHT   (the output layout's size, for "move")
#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "virtual-keyboard-client.h"
#include "virtual-pointer-client.h"

namespace {

struct Globals {
    wl_seat *seat = nullptr;
    zwlr_virtual_pointer_manager_v1 *pointers = nullptr;
    zwp_virtual_keyboard_manager_v1 *keyboards = nullptr;
};

void OnGlobal(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t) {
    auto *g = static_cast<Globals *>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !g->seat) {
        g->seat = static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        g->pointers = static_cast<zwlr_virtual_pointer_manager_v1 *>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
        g->keyboards = static_cast<zwp_virtual_keyboard_manager_v1 *>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    }
}

void OnGlobalRemove(void *, wl_registry *, uint32_t) {}

const wl_registry_listener kRegistry = {OnGlobal, OnGlobalRemove};

uint32_t Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

// The keyboard side: a US keymap handed to the compositor, and a local xkb
// state that turns each key into the modifier state the compositor must be
// told (a virtual keyboard's keys do not update it by themselves).
class Keyboard {
public:
    Keyboard() = default;
    Keyboard(const Keyboard &) = delete;
    Keyboard &operator=(const Keyboard &) = delete;
    ~Keyboard() {
        if (kbd_) zwp_virtual_keyboard_v1_destroy(kbd_);
        xkb_state_unref(state_);
        xkb_keymap_unref(keymap_);
        xkb_context_unref(ctx_);
    }

    bool Init(zwp_virtual_keyboard_manager_v1 *manager, wl_seat *seat) {
        ctx_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        xkb_rule_names names{"evdev", "pc105", "us", "", ""};
        keymap_ = ctx_ ? xkb_keymap_new_from_names(ctx_, &names, XKB_KEYMAP_COMPILE_NO_FLAGS) : nullptr;
        if (!keymap_) return false;
        state_ = xkb_state_new(keymap_);
        char *text = xkb_keymap_get_as_string(keymap_, XKB_KEYMAP_FORMAT_TEXT_V1);
        if (!state_ || !text) return false;
        size_t size = std::strlen(text) + 1;
        int fd = memfd_create("wlinput-keymap", MFD_CLOEXEC);
        bool written = fd >= 0 && write(fd, text, size) == static_cast<ssize_t>(size);
        std::free(text);
        if (!written) {
            if (fd >= 0) close(fd);
            return false;
        }
        kbd_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, seat);
        zwp_virtual_keyboard_v1_keymap(kbd_, XKB_KEYMAP_FORMAT_TEXT_V1, fd, static_cast<uint32_t>(size));
        close(fd);
        return true;
    }

    // Presses the keys of COMBO in order and releases them in reverse.
    bool Type(const std::string &combo) {
        std::vector<xkb_keycode_t> codes;
        std::stringstream parts(combo);
        std::string part;
        while (std::getline(parts, part, '+')) {
            xkb_keycode_t code = Find(part);
            if (!code) return false;
            codes.push_back(code);
        }
        for (xkb_keycode_t code : codes) Send(code, XKB_KEY_DOWN);
        for (auto it = codes.rbegin(); it != codes.rend(); ++it) Send(*it, XKB_KEY_UP);
        return !codes.empty();
    }

private:
    // The key code whose first level gives the named keysym; modifier
    // names as xdotool writes them ("alt", "ctrl", "shift").
    xkb_keycode_t Find(std::string name) const {
        if (name == "alt") name = "Alt_L";
        if (name == "ctrl") name = "Control_L";
        if (name == "shift") name = "Shift_L";
        xkb_keysym_t want = xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_NO_FLAGS);
        if (want == XKB_KEY_NoSymbol) want = xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_CASE_INSENSITIVE);
        if (want == XKB_KEY_NoSymbol) return 0;
        for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap_); code <= xkb_keymap_max_keycode(keymap_);
             ++code) {
            const xkb_keysym_t *syms = nullptr;
            int n = xkb_keymap_key_get_syms_by_level(keymap_, code, 0, 0, &syms);
            for (int i = 0; i < n; ++i) {
                if (syms[i] == want) return code;
            }
        }
        return 0;
    }

    void Send(xkb_keycode_t code, xkb_key_direction dir) {
        // xkb key codes are evdev codes + 8.
        zwp_virtual_keyboard_v1_key(
            kbd_, Now(), code - 8,
            dir == XKB_KEY_DOWN ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
        xkb_state_update_key(state_, code, dir);
        zwp_virtual_keyboard_v1_modifiers(kbd_, xkb_state_serialize_mods(state_, XKB_STATE_MODS_DEPRESSED),
                                          xkb_state_serialize_mods(state_, XKB_STATE_MODS_LATCHED),
                                          xkb_state_serialize_mods(state_, XKB_STATE_MODS_LOCKED),
                                          xkb_state_serialize_layout(state_, XKB_STATE_LAYOUT_EFFECTIVE));
    }

    xkb_context *ctx_ = nullptr;
    xkb_keymap *keymap_ = nullptr;
    xkb_state *state_ = nullptr;
    zwp_virtual_keyboard_v1 *kbd_ = nullptr;
};

uint32_t Button(int b) {
    switch (b) {
        case 1:
            return BTN_LEFT;
        case 2:
            return BTN_MIDDLE;
        case 3:
            return BTN_RIGHT;
        default:
            return 0;
    }
}

// Runs the commands on stdin; false when the compositor went away.
bool Serve(wl_display *dpy, zwlr_virtual_pointer_v1 *ptr, Keyboard &kbd, uint32_t width, uint32_t height) {
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string cmd;
        in >> cmd;
        bool ok = true;
        if (cmd == "move") {
            uint32_t x = 0, y = 0;
            ok = static_cast<bool>(in >> x >> y) && x < width && y < height;
            if (ok) {
                zwlr_virtual_pointer_v1_motion_absolute(ptr, Now(), x, y, width, height);
                zwlr_virtual_pointer_v1_frame(ptr);
            }
        } else if (cmd == "down" || cmd == "up") {
            int b = 0;
            ok = static_cast<bool>(in >> b) && Button(b) != 0;
            if (ok) {
                zwlr_virtual_pointer_v1_button(
                    ptr, Now(), Button(b),
                    cmd == "down" ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
                zwlr_virtual_pointer_v1_frame(ptr);
            }
        } else if (cmd == "key") {
            std::string combo;
            ok = static_cast<bool>(in >> combo) && kbd.Type(combo);
        } else if (cmd == "sleep") {
            int ms = 0;
            ok = static_cast<bool>(in >> ms) && ms >= 0;
            if (ok) usleep(static_cast<useconds_t>(ms) * 1000);
        } else {
            ok = false;
        }
        if (wl_display_roundtrip(dpy) < 0) {
            std::printf("error: the compositor closed the connection\n");
            std::fflush(stdout);
            return false;
        }
        if (ok) {
            std::printf("ok\n");
        } else {
            std::printf("error: %s\n", line.c_str());
        }
        std::fflush(stdout);
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: wlinput WIDTH HEIGHT\n");
        return 2;
    }
    const uint32_t width = static_cast<uint32_t>(std::atoi(argv[1]));
    const uint32_t height = static_cast<uint32_t>(std::atoi(argv[2]));
    wl_display *dpy = wl_display_connect(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "wlinput: no Wayland display\n");
        return 1;
    }
    Globals g;
    wl_registry *registry = wl_display_get_registry(dpy);
    wl_registry_add_listener(registry, &kRegistry, &g);
    wl_display_roundtrip(dpy);
    int rc = 1;
    if (!g.seat || !g.pointers || !g.keyboards) {
        std::fprintf(stderr, "wlinput: the compositor offers no seat or no virtual pointer and keyboard\n");
    } else {
        zwlr_virtual_pointer_v1 *ptr =
            zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g.pointers, g.seat);
        Keyboard kbd;
        if (!kbd.Init(g.keyboards, g.seat)) {
            std::fprintf(stderr, "wlinput: no keymap\n");
        } else if (wl_display_roundtrip(dpy) < 0) {
            std::fprintf(stderr, "wlinput: the compositor refused the virtual devices\n");
        } else if (Serve(dpy, ptr, kbd, width, height)) {
            rc = 0;
        }
        zwlr_virtual_pointer_v1_destroy(ptr);
    }
    if (g.pointers) zwlr_virtual_pointer_manager_v1_destroy(g.pointers);
    if (g.keyboards) zwp_virtual_keyboard_manager_v1_destroy(g.keyboards);
    if (g.seat) wl_seat_destroy(g.seat);
    wl_registry_destroy(registry);
    wl_display_disconnect(dpy);
    return rc;
}
