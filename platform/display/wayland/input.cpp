// The seat: pointer events in window coordinates (or on the client-side
// frame, which the back-end answers itself), the cursor, and the keyboard
// through the compositor's keymap, with the repeats made here at the rate
// the compositor gives.
#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <wayland-cursor.h>
#include <xkbcommon/xkbcommon.h>

#include "platform/display/wayland/backend_wayland.h"
#include "platform/display/wayland/protocols.h"

namespace win32::display::wayland {

namespace {

WaylandBackend *Self(void *data) {
    return static_cast<WaylandBackend *>(data);
}

// How far a wheel without notches (a touchpad) scrolls for one notch.
constexpr double kUnitsPerNotch = 10.0;

const wl_pointer_listener kPointer = [] {
    wl_pointer_listener l{};
    l.enter = [](void *data, wl_pointer *, uint32_t serial, wl_surface *s, wl_fixed_t x, wl_fixed_t y) {
        Self(data)->OnPointerEnter(serial, s, wl_fixed_to_double(x), wl_fixed_to_double(y));
    };
    l.leave = [](void *data, wl_pointer *, uint32_t, wl_surface *s) { Self(data)->OnPointerLeave(s); };
    l.motion = [](void *data, wl_pointer *, uint32_t time, wl_fixed_t x, wl_fixed_t y) {
        Self(data)->OnPointerMotion(time, wl_fixed_to_double(x), wl_fixed_to_double(y));
    };
    l.button = [](void *data, wl_pointer *, uint32_t serial, uint32_t time, uint32_t button, uint32_t state) {
        Self(data)->OnPointerButton(serial, time, button, state == WL_POINTER_BUTTON_STATE_PRESSED);
    };
    l.axis = [](void *data, wl_pointer *, uint32_t time, uint32_t axis, wl_fixed_t value) {
        if (axis == WL_POINTER_AXIS_VERTICAL_SCROLL)
            Self(data)->OnPointerAxis(time, 0, wl_fixed_to_double(value));
    };
    l.frame = [](void *data, wl_pointer *) { Self(data)->OnPointerAxis(0, 0, 0); };
    l.axis_source = [](void *, wl_pointer *, uint32_t) {};
    l.axis_stop = [](void *, wl_pointer *, uint32_t, uint32_t) {};
    l.axis_discrete = [](void *data, wl_pointer *, uint32_t axis, int32_t discrete) {
        if (axis == WL_POINTER_AXIS_VERTICAL_SCROLL) Self(data)->OnPointerAxis(0, discrete * 120, 0);
    };
    l.axis_value120 = [](void *data, wl_pointer *, uint32_t axis, int32_t value120) {
        if (axis == WL_POINTER_AXIS_VERTICAL_SCROLL) Self(data)->OnPointerAxis(0, value120, 0);
    };
    return l;
}();

const wl_keyboard_listener kKeyboard = [] {
    wl_keyboard_listener l{};
    l.keymap = [](void *data, wl_keyboard *, uint32_t format, int32_t fd, uint32_t size) {
        if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
            Self(data)->OnKeymap(fd, size);
        } else {
            close(fd);
        }
    };
    l.enter = [](void *data, wl_keyboard *, uint32_t, wl_surface *s, wl_array *keys) {
        Self(data)->OnKeyboardEnter(s, static_cast<const uint32_t *>(keys->data),
                                    keys->size / sizeof(uint32_t));
    };
    l.leave = [](void *data, wl_keyboard *, uint32_t, wl_surface *s) { Self(data)->OnKeyboardLeave(s); };
    l.key = [](void *data, wl_keyboard *, uint32_t serial, uint32_t time, uint32_t key, uint32_t state) {
        Self(data)->OnKey(serial, time, key, state == WL_KEYBOARD_KEY_STATE_PRESSED);
    };
    l.modifiers = [](void *data, wl_keyboard *, uint32_t, uint32_t depressed, uint32_t latched,
                     uint32_t locked,
                     uint32_t group) { Self(data)->OnModifiers(depressed, latched, locked, group); };
    l.repeat_info = [](void *data, wl_keyboard *, int32_t rate, int32_t delay) {
        Self(data)->OnRepeatInfo(rate, delay);
    };
    return l;
}();

int ButtonNumber(uint32_t code) {
    switch (code) {
        case BTN_LEFT:
            return 1;
        case BTN_MIDDLE:
            return 2;
        case BTN_RIGHT:
            return 3;
        default:
            return 0;
    }
}

// The cursor theme's name of the arrow over each part of the frame.
const char *CursorName(frame::Part part) {
    switch (part) {
        case frame::Part::Left:
            return "left_side";
        case frame::Part::Right:
            return "right_side";
        case frame::Part::Top:
            return "top_side";
        case frame::Part::Bottom:
            return "bottom_side";
        case frame::Part::TopLeft:
            return "top_left_corner";
        case frame::Part::TopRight:
            return "top_right_corner";
        case frame::Part::BottomLeft:
            return "bottom_left_corner";
        case frame::Part::BottomRight:
            return "bottom_right_corner";
        default:
            return "left_ptr";
    }
}

#ifdef MORVALEN_HAVE_CURSOR_SHAPE
uint32_t CursorShape(frame::Part part) {
    switch (part) {
        case frame::Part::Left:
            return WP_CURSOR_SHAPE_DEVICE_V1_SHAPE_W_RESIZE;
        case frame::Part::Right:
            return WP_CURSOR_SHAPE_DEVICE_V1_SHAPE_E_RESIZE;
        case frame::Part::Top:
            return WP_CURSOR_SHAPE_DEVICE_V1_SHAPE_N_RESIZE;
        case frame::Part::Bottom:
            return WP_CURSOR_SHAPE_DEVICE_V1_SHAPE_S_RESIZE;
        case frame::Part::TopLeft:
            return WP_CURSOR_SHAPE_DEVICE_V1_SHAPE_NW_RESIZE;
        case frame::Part::TopRight:
            return WP_CURSOR_SHAPE_DEVICE_V1_SHAPE_NE_RESIZE;
        case frame::Part::BottomLeft:
            return WP_CURSOR_SHAPE_DEVICE_V1_SHAPE_SW_RESIZE;
        case frame::Part::BottomRight:
            return WP_CURSOR_SHAPE_DEVICE_V1_SHAPE_SE_RESIZE;
        default:
            return WP_CURSOR_SHAPE_DEVICE_V1_SHAPE_DEFAULT;
    }
}
#endif

uint32_t ResizeEdge(frame::Part part) {
    switch (part) {
        case frame::Part::Left:
            return XDG_TOPLEVEL_RESIZE_EDGE_LEFT;
        case frame::Part::Right:
            return XDG_TOPLEVEL_RESIZE_EDGE_RIGHT;
        case frame::Part::Top:
            return XDG_TOPLEVEL_RESIZE_EDGE_TOP;
        case frame::Part::Bottom:
            return XDG_TOPLEVEL_RESIZE_EDGE_BOTTOM;
        case frame::Part::TopLeft:
            return XDG_TOPLEVEL_RESIZE_EDGE_TOP_LEFT;
        case frame::Part::TopRight:
            return XDG_TOPLEVEL_RESIZE_EDGE_TOP_RIGHT;
        case frame::Part::BottomLeft:
            return XDG_TOPLEVEL_RESIZE_EDGE_BOTTOM_LEFT;
        case frame::Part::BottomRight:
            return XDG_TOPLEVEL_RESIZE_EDGE_BOTTOM_RIGHT;
        default:
            return XDG_TOPLEVEL_RESIZE_EDGE_NONE;
    }
}

}  // namespace

void WaylandBackend::OnSeatCapabilities(uint32_t caps) {
    if ((caps & WL_SEAT_CAPABILITY_POINTER) && !pointer_) {
        pointer_ = wl_seat_get_pointer(seat_);
        wl_pointer_add_listener(pointer_, &kPointer, this);
    } else if (!(caps & WL_SEAT_CAPABILITY_POINTER) && pointer_) {
        ReleasePointer();
    }
    if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !keyboard_) {
        keyboard_ = wl_seat_get_keyboard(seat_);
        wl_keyboard_add_listener(keyboard_, &kKeyboard, this);
    } else if (!(caps & WL_SEAT_CAPABILITY_KEYBOARD) && keyboard_) {
        wl_keyboard_release(keyboard_);
        keyboard_ = nullptr;
        if (keyboardWindow_) OnKeyboardLeave(Find(keyboardWindow_)->surface);
    }
}

void WaylandBackend::ReleasePointer() {
#ifdef MORVALEN_HAVE_CURSOR_SHAPE
    if (cursorShape_) wp_cursor_shape_device_v1_destroy(cursorShape_);
#endif
    cursorShape_ = nullptr;
    if (pointer_) wl_pointer_release(pointer_);
    pointer_ = nullptr;
    pointerWindow_ = 0;
    buttonsDown_ = 0;
    grabWindow_ = 0;
}

void WaylandBackend::ReleaseSeat() {
    StopRepeat();
    if (repeatFd_ >= 0) close(repeatFd_);
    if (keymapFd_ >= 0) close(keymapFd_);
    repeatFd_ = keymapFd_ = -1;
    ReleasePointer();
    if (cursorSurface_) wl_surface_destroy(cursorSurface_);
    if (cursorTheme_) wl_cursor_theme_destroy(cursorTheme_);
    if (keyboard_) wl_keyboard_release(keyboard_);
    if (seat_) wl_seat_release(seat_);
    xkb_state_unref(xkbState_);
    xkb_keymap_unref(keymap_);
    xkb_context_unref(xkb_);
}

Window *WaylandBackend::FindSurface(wl_surface *s) {
    for (auto &entry : windows_) {
        if (entry.second->surface == s) return entry.second.get();
    }
    return nullptr;
}

// ---- the pointer ------------------------------------------------------

void WaylandBackend::OnPointerEnter(uint32_t serial, wl_surface *s, double x, double y) {
    enterSerial_ = serial;
    Window *w = FindSurface(s);
    pointerWindow_ = w ? w->id : 0;
    pointerX_ = x;
    pointerY_ = y;
    // Buttons held when the pointer left were let go where it was.
    ReleaseHeldButtons();
    cursorPart_ = -1;
    PointerEvent(Event::Motion, 0, 0);
}

void WaylandBackend::OnPointerLeave(wl_surface *s) {
    Window *w = FindSurface(s);
    if (!w || w->id == pointerWindow_) pointerWindow_ = 0;
}

void WaylandBackend::OnPointerMotion(uint32_t time, double x, double y) {
    pointerX_ = x;
    pointerY_ = y;
    PointerEvent(Event::Motion, time, 0);
}

void WaylandBackend::OnPointerButton(uint32_t serial, uint32_t time, uint32_t code, bool down) {
    const int button = ButtonNumber(code);
    if (!button) return;
    if (down) {
        pressSerial_ = serial;
        lastInputSerial_ = serial;
        if (!buttonsDown_) {
            grabWindow_ = pointerWindow_;
            Window *w = Find(grabWindow_);
            grabInFrame_ = w && w->framed && PartAtPointer(*w) != frame::Part::Client;
            if (w) grabApplied_ = w->applied;
        }
        buttonsDown_ |= 1 << button;
    } else if (!(buttonsDown_ & (1 << button))) {
        return;  // pressed before a move or a grab the compositor took
    }
    PointerEvent(down ? Event::ButtonDown : Event::ButtonUp, time, button);
    if (!down) {
        buttonsDown_ &= ~(1 << button);
        if (!buttonsDown_) grabWindow_ = 0;
    }
}

// A notch is 120: from high-resolution or notched wheels as they come, and
// from a touchpad's continuous scrolling by distance. `time` and `value`
// come with continuous scrolling, `value120` with notches, and a frame
// (all zero) ends each group of them.
void WaylandBackend::OnPointerAxis(uint32_t time, int value120, double value) {
    if (time) wheelTime_ = time;
    if (value120) {
        wheelNotched_ = true;
        wheel_ += value120;
    } else if (value != 0) {
        wheelUnits_ += value;
    }
    const bool frameEnd = !time && !value120 && value == 0;
    if (!frameEnd && seatVersion_ >= 5) return;
    if (!wheelNotched_) {
        const double notches = std::trunc(wheelUnits_ / kUnitsPerNotch);
        wheel_ += static_cast<int>(notches) * 120;
        wheelUnits_ -= notches * kUnitsPerNotch;
    } else {
        wheelUnits_ = 0;
    }
    wheelNotched_ = false;
    if (wheel_ / 120 == 0) return;
    const int turned = wheel_ / 120 * 120;
    wheel_ -= turned;
    // Positive axis values scroll down, towards the user; Win32's wheel
    // delta is positive away from the user.
    PointerEvent(Event::Wheel, wheelTime_, 0, -turned);
}

frame::Part WaylandBackend::PartAtPointer(const Window &w) {
    const SIZE size = w.LogicalSize();
    return frame::HitTest(static_cast<int>(std::floor(pointerX_)), static_cast<int>(std::floor(pointerY_)),
                          size.cx, size.cy, w.decorated);
}

// A pointer event for the layer: in the client area of the window under
// the pointer (or of the one the buttons went down on), with where that is
// on the program's screen.
void WaylandBackend::PointerEvent(Event::Type type, uint32_t time, int button, int delta) {
    Window *w = Find(buttonsDown_ && grabWindow_ ? grabWindow_ : pointerWindow_);
    if (!w) return;
    if (w->framed) {
        const frame::Part part = PartAtPointer(*w);
        if (type != Event::Wheel && (buttonsDown_ ? grabInFrame_ : part != frame::Part::Client)) {
            FramePointer(*w, type, button, part);
            return;
        }
        if (!buttonsDown_) SetCursorFor(frame::Part::Client);
    } else if (!buttonsDown_) {
        SetCursorFor(frame::Part::Client);
    }
    // The device pixel under the pointer, then the logical pixel of the
    // client area that holds it.
    const POINT o = w->DeviceClientOffset();
    const int n = w->scale;
    Event e = Make(type, w->id);
    e.x = gdi::LogicalPixel(static_cast<int>(std::floor(pointerX_ * n / gdi::kScaleOne)) - o.x, n);
    e.y = gdi::LogicalPixel(static_cast<int>(std::floor(pointerY_ * n / gdi::kScaleOne)) - o.y, n);
    POINT origin{w->client.left, w->client.top};
    if (Window *owner = w->Popup() ? Find(w->owner) : nullptr) {
        // Where the compositor has the pop-up now, which may not yet be
        // where the layer put it.
        const POINT ownerFrame = owner->ClientOffset();
        origin = {owner->client.left + w->applied.x - ownerFrame.x,
                  owner->client.top + w->applied.y - ownerFrame.y};
    }
    e.rootX = origin.x + e.x;
    e.rootY = origin.y + e.y;
    e.button = button;
    e.delta = delta;
    e.time = time ? EventTime(time) : MonotonicMs();
    e.modifiers = HeldModifiers();
    Push(e);
}

void WaylandBackend::ReleaseHeldButtons() {
    if (!buttonsDown_) return;
    for (int b = 1; b <= 3; ++b) {
        if (buttonsDown_ & (1 << b)) PointerEvent(Event::ButtonUp, 0, b);
    }
    buttonsDown_ = 0;
    grabWindow_ = 0;
}

// The pointer on the client-side frame: the caption moves the window (a
// double-click maximizes it), the border sizes it, the buttons act when
// let go over them, and the right button on the caption opens the window
// menu.
void WaylandBackend::FramePointer(Window &w, Event::Type type, int button, frame::Part part) {
    if (!w.toplevel) return;
    if (type == Event::Motion) {
        if (!buttonsDown_) SetCursorFor(part);
        return;
    }
    const int x = static_cast<int>(pointerX_), y = static_cast<int>(pointerY_);
    if (type == Event::ButtonDown && button == 3 && part == frame::Part::Caption) {
        xdg_toplevel_show_window_menu(w.toplevel, seat_, pressSerial_, x, y);
        return;
    }
    if (type == Event::ButtonDown && button == 1) {
        if (part == frame::Part::Close || part == frame::Part::Maximize || part == frame::Part::Minimize) {
            w.pressed = part;
            RepaintFrame(w);
            return;
        }
        if (part == frame::Part::Caption) {
            const DWORD now = MonotonicMs();
            if (w.lastCaptionPress && now - w.lastCaptionPress < classic::kDoubleClickTime) {
                w.lastCaptionPress = 0;
                ToggleMaximized(w);
                return;
            }
            w.lastCaptionPress = now;
            BeginMoveDrag(w.id, 0, 0);
            return;
        }
        if (uint32_t edge = ResizeEdge(part); edge != XDG_TOPLEVEL_RESIZE_EDGE_NONE) {
            xdg_toplevel_resize(w.toplevel, seat_, pressSerial_, edge);
            buttonsDown_ = 0;
            grabWindow_ = 0;
        }
        return;
    }
    if (type == Event::ButtonUp && button == 1 && w.pressed != frame::Part::Client) {
        const frame::Part was = w.pressed;
        w.pressed = frame::Part::Client;
        RepaintFrame(w);
        if (part != was) return;
        if (was == frame::Part::Close) Push(Make(Event::CloseRequest, w.id));
        if (was == frame::Part::Maximize) ToggleMaximized(w);
        if (was == frame::Part::Minimize) xdg_toplevel_set_minimized(w.toplevel);
    }
}

void WaylandBackend::ToggleMaximized(Window &w) {
    if (w.maximized) {
        xdg_toplevel_unset_maximized(w.toplevel);
    } else {
        xdg_toplevel_set_maximized(w.toplevel);
    }
}

// The arrow over the client area and the caption, the sizing arrows over
// the border: the compositor's own where it draws them by name, else the
// user's cursor theme at the output's scale.
void WaylandBackend::SetCursorFor(frame::Part part) {
    if (!pointer_ || cursorPart_ == static_cast<int>(part)) return;
    cursorPart_ = static_cast<int>(part);
#ifdef MORVALEN_HAVE_CURSOR_SHAPE
    if (cursorShapes_) {
        if (!cursorShape_) cursorShape_ = wp_cursor_shape_manager_v1_get_pointer(cursorShapes_, pointer_);
        wp_cursor_shape_device_v1_set_shape(cursorShape_, enterSerial_, CursorShape(part));
        return;
    }
#endif
    // The theme at the pointer's window's scale, a fractional one rounded up.
    const Window *under = Find(pointerWindow_);
    const int scale = ((under ? under->scale : initialScale_) + gdi::kScaleOne - 1) / gdi::kScaleOne;
    if (!cursorTheme_ || cursorThemeScale_ != scale) {
        if (cursorTheme_) wl_cursor_theme_destroy(cursorTheme_);
        int size = 24;
        if (const char *env = std::getenv("XCURSOR_SIZE")) size = std::clamp(std::atoi(env), 8, 256);
        cursorTheme_ = wl_cursor_theme_load(std::getenv("XCURSOR_THEME"), size * scale, shm_);
        cursorThemeScale_ = scale;
    }
    if (!cursorTheme_) return;
    wl_cursor *cursor = wl_cursor_theme_get_cursor(cursorTheme_, CursorName(part));
    if (!cursor) cursor = wl_cursor_theme_get_cursor(cursorTheme_, "left_ptr");
    if (!cursor || cursor->image_count == 0) return;
    wl_cursor_image *image = cursor->images[0];
    wl_buffer *buffer = wl_cursor_image_get_buffer(image);
    if (!buffer) return;
    if (!cursorSurface_) cursorSurface_ = wl_compositor_create_surface(compositor_);
    wl_surface_set_buffer_scale(cursorSurface_, scale);
    wl_surface_attach(cursorSurface_, buffer, 0, 0);
    wl_surface_damage_buffer(cursorSurface_, 0, 0, static_cast<int32_t>(image->width),
                             static_cast<int32_t>(image->height));
    wl_surface_commit(cursorSurface_);
    wl_pointer_set_cursor(pointer_, enterSerial_, cursorSurface_,
                          static_cast<int32_t>(image->hotspot_x) / scale,
                          static_cast<int32_t>(image->hotspot_y) / scale);
}

// ---- the keyboard -----------------------------------------------------

// Kept until a key needs it: a start never waits for the keymap to compile.
void WaylandBackend::OnKeymap(int fd, uint32_t size) {
    if (keymapFd_ >= 0) close(keymapFd_);
    keymapFd_ = fd;
    keymapSize_ = size;
    xkb_state_unref(xkbState_);
    xkb_keymap_unref(keymap_);
    xkbState_ = nullptr;
    keymap_ = nullptr;
}

bool WaylandBackend::LoadKeymap() {
    if (xkbState_) return true;
    if (keymapFd_ < 0 || keymapSize_ == 0) return false;
    void *text = mmap(nullptr, keymapSize_, PROT_READ, MAP_PRIVATE, keymapFd_, 0);
    close(keymapFd_);
    keymapFd_ = -1;
    if (text == MAP_FAILED) return false;
    if (!xkb_) xkb_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (xkb_) {
        const char *chars = static_cast<const char *>(text);
        keymap_ = xkb_keymap_new_from_buffer(xkb_, chars, strnlen(chars, keymapSize_),
                                             XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    }
    munmap(text, keymapSize_);
    if (!keymap_) return false;
    xkbState_ = xkb_state_new(keymap_);
    if (!xkbState_) return false;
    xkb_state_update_mask(xkbState_, mods_[0], mods_[1], mods_[2], 0, 0, mods_[3]);
    return true;
}

void WaylandBackend::OnKeyboardEnter(wl_surface *s, const uint32_t *, size_t) {
    Window *w = TopLevelOf(FindSurface(s));
    if (!w) return;
    keyboardWindow_ = w->id;
    downKeys_.clear();
    Push(Make(Event::FocusIn, w->id));
    // The modifiers held now come next.
    keyStatePending_ = true;
}

// The focus went elsewhere: the top-level and the pop-ups over it lose it.
void WaylandBackend::OnKeyboardLeave(wl_surface *s) {
    Window *w = TopLevelOf(FindSurface(s));
    StopRepeat();
    downKeys_.clear();
    keyStatePending_ = false;
    if (!w || w->id != keyboardWindow_) return;
    keyboardWindow_ = 0;
    for (auto &entry : windows_) {
        if (entry.second->owner == w->id && entry.second->Popup()) Push(Make(Event::FocusOut, entry.first));
    }
    Push(Make(Event::FocusOut, w->id));
}

void WaylandBackend::OnKey(uint32_t serial, uint32_t time, uint32_t key, bool down) {
    lastInputSerial_ = serial;
    Window *w = Find(keyboardWindow_);
    if (!w || !LoadKeymap()) return;
    const bool held = std::find(downKeys_.begin(), downKeys_.end(), key) != downKeys_.end();
    if (down) {
        if (!held) downKeys_.push_back(key);
        KeyEvent(*w, key, true, held, EventTime(time));
        if (xkb_keymap_key_repeats(keymap_, key + 8)) {
            ArmRepeat(key);
        } else {
            StopRepeat();
        }
        return;
    }
    std::erase(downKeys_, key);
    if (repeating_ && repeatKey_ == key) StopRepeat();
    KeyEvent(*w, key, false, false, EventTime(time));
}

void WaylandBackend::OnModifiers(uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group) {
    mods_[0] = depressed;
    mods_[1] = latched;
    mods_[2] = locked;
    mods_[3] = group;
    if (xkbState_) xkb_state_update_mask(xkbState_, depressed, latched, locked, 0, 0, group);
    if (!keyStatePending_) return;
    keyStatePending_ = false;
    LoadKeymap();
    Event e = Make(Event::KeyState, 0);
    e.modifiers = HeldModifiers();
    Push(e);
}

// A key as the layer takes it: its virtual key and scan code, and the
// character it typed, as the X11 back-end makes them of the same keysyms.
void WaylandBackend::KeyEvent(Window &w, uint32_t key, bool down, bool repeat, DWORD time) {
    const xkb_keycode_t code = key + 8;
    const xkb_keysym_t looked = xkb_state_key_get_one_sym(xkbState_, code);
    KeyCodeSyms syms;
    if (const char *name = xkb_keymap_key_get_name(keymap_, code)) std::strncpy(syms.name, name, 4);
    syms.groups = std::min<int>(4, static_cast<int>(xkb_keymap_num_layouts_for_key(keymap_, code)));
    for (int g = 0; g < syms.groups; ++g) {
        for (int level = 0; level < 2; ++level) {
            const xkb_keysym_t *found = nullptr;
            if (xkb_keymap_key_get_syms_by_level(keymap_, code, static_cast<xkb_layout_index_t>(g),
                                                 static_cast<xkb_level_index_t>(level), &found) > 0)
                syms.syms[g][level] = found[0];
        }
    }
    const int group = static_cast<int>(xkb_state_key_get_layout(xkbState_, code));
    unsigned long sym = looked;
    if (!IsKeypadKeysym(looked) && syms.groups > 0 && group >= 0 && group < syms.groups &&
        syms.syms[group][0])
        sym = syms.syms[group][0];
    KeyInfo info;
    const bool known = host_->TranslateKeyCode(syms, sym, &info);
    const int modifiers = HeldModifiers();
    // Control characters as the keymap makes them (Ctrl+C is 3), anything
    // else from the keysym in Windows-1252.
    int ch = -1;
    const uint32_t typed = down ? xkb_state_key_get_utf32(xkbState_, code) : 0;
    if (typed > 0 && typed < 0x80) {
        ch = static_cast<int>(typed);
    } else if (down && !(modifiers >= 0 && (modifiers & kModCtrl))) {
        ch = host_->KeysymToWindows1252(looked);
    }
    Event events[2];
    const int n =
        KeyEvents(w.id, down, known ? &info : nullptr, ch == 0x7F ? -1 : ch, repeat, time, modifiers, events);
    for (int i = 0; i < n; ++i) Push(events[i]);
}

// The modifiers the keyboard holds (AltGr counts as Alt, as the keymap
// has it on Mod5); -1 before the keymap is known.
int WaylandBackend::HeldModifiers() {
    if (!xkbState_) return -1;
    auto active = [this](const char *name) {
        return xkb_state_mod_name_is_active(xkbState_, name, XKB_STATE_MODS_EFFECTIVE) > 0;
    };
    int m = 0;
    if (active(XKB_MOD_NAME_SHIFT)) m |= kModShift;
    if (active(XKB_MOD_NAME_CTRL)) m |= kModCtrl;
    if (active(XKB_MOD_NAME_ALT) || active("Mod5")) m |= kModAlt;
    return m;
}

void WaylandBackend::OnRepeatInfo(int32_t rate, int32_t delay) {
    repeatRate_ = rate;
    repeatDelay_ = delay;
}

// The held key repeats after the delay, at the rate; a timer that runs
// only while a key is held.
void WaylandBackend::ArmRepeat(uint32_t key) {
    if (repeatRate_ <= 0) return;
    if (repeatFd_ < 0) repeatFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (repeatFd_ < 0) return;
    auto lasting = [](long ms) {
        return timespec{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    };
    itimerspec t{};
    t.it_value = lasting(std::max(1, repeatDelay_));
    t.it_interval = lasting(std::max(1, 1000 / repeatRate_));
    timerfd_settime(repeatFd_, 0, &t, nullptr);
    repeatKey_ = key;
    repeating_ = true;
}

void WaylandBackend::StopRepeat() {
    if (!repeating_) return;
    repeating_ = false;
    itimerspec off{};
    if (repeatFd_ >= 0) timerfd_settime(repeatFd_, 0, &off, nullptr);
}

void WaylandBackend::OnRepeatTimer() {
    uint64_t expirations = 0;
    if (read(repeatFd_, &expirations, sizeof expirations) != sizeof expirations || !repeating_) return;
    Window *w = Find(keyboardWindow_);
    if (!w || !xkbState_) {
        StopRepeat();
        return;
    }
    // A program that fell behind gets a few repeats, not a flood.
    for (uint64_t i = 0; i < std::min<uint64_t>(expirations, 4); ++i)
        KeyEvent(*w, repeatKey_, true, true, MonotonicMs());
}

}  // namespace win32::display::wayland
