// The classic window frame for window systems that leave frames to their
// clients: a raised sizing border, a caption with the title, and the
// minimize, maximize and close buttons, at the frame metrics the program
// sizes its windows by (so the window rectangle it computes is the one the
// user sees). The layout and the hit test are here; PaintFrame draws it
// with GDI.
#pragma once

#include <windows.h>

#include <string>

#include "platform/common/classic.h"
#include "platform/gdi/gdi_internal.h"

namespace win32::display::frame {

// The frame's parts, as the pointer finds them.
enum class Part {
    Client,
    Caption,
    Close,
    Maximize,
    Minimize,
    Left,
    Right,
    Top,
    Bottom,
    TopLeft,
    TopRight,
    BottomLeft,
    BottomRight,
    Border,  // the border of a window that cannot be sized
};

inline constexpr int kBorder = classic::kFrameWidth;
inline constexpr int kTop = classic::kFrameWidth + classic::kCaptionHeight;
// The caption bar lies below the border, one line above the client area.
inline constexpr int kCaptionBar = classic::kCaptionHeight - 1;
// Caption buttons: 16 x 14, two pixels inside the bar, the close button
// apart from the other two.
inline constexpr int kButtonWidth = 16;
inline constexpr int kButtonHeight = 14;
// Along an edge, this far from a corner the border sizes both ways.
inline constexpr int kCornerGrip = 16;

// The client area inside a frame of width x height.
inline RECT ClientRect(int width, int height) {
    return {kBorder, kTop, width - kBorder, height - kBorder};
}

// A caption button's rectangle in a frame `width` wide; empty for other parts.
inline RECT ButtonRect(Part part, int width) {
    const int top = kBorder + 2;
    int right = width - kBorder - 2;
    if (part == Part::Maximize || part == Part::Minimize) right -= kButtonWidth + 2;
    if (part == Part::Minimize) right -= kButtonWidth;
    if (part != Part::Close && part != Part::Maximize && part != Part::Minimize) return {};
    return {right - kButtonWidth, top, right, top + kButtonHeight};
}

inline bool Inside(const RECT &r, int x, int y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// The part of a frame of width x height at (x, y).
inline Part HitTest(int x, int y, int width, int height, bool sizable) {
    if (Inside(ClientRect(width, height), x, y)) return Part::Client;
    for (Part b : {Part::Close, Part::Maximize, Part::Minimize}) {
        if (Inside(ButtonRect(b, width), x, y)) return b;
    }
    const bool left = x < kBorder, right = x >= width - kBorder;
    const bool top = y < kBorder, bottom = y >= height - kBorder;
    if (!left && !right && !top && !bottom) return Part::Caption;
    if (!sizable) return Part::Border;
    const bool nearLeft = x < kCornerGrip, nearRight = x >= width - kCornerGrip;
    const bool nearTop = y < kCornerGrip, nearBottom = y >= height - kCornerGrip;
    if ((top && nearLeft) || (left && nearTop)) return Part::TopLeft;
    if ((top && nearRight) || (right && nearTop)) return Part::TopRight;
    if ((bottom && nearLeft) || (left && nearBottom)) return Part::BottomLeft;
    if ((bottom && nearRight) || (right && nearBottom)) return Part::BottomRight;
    if (left) return Part::Left;
    if (right) return Part::Right;
    return top ? Part::Top : Part::Bottom;
}

struct Look {
    std::string title;  // the program's ANSI text
    bool active = false;
    bool maximized = false;       // the maximize button shows "restore"
    Part pressed = Part::Client;  // a caption button held down, drawn sunk
};

// Draws the frame into `surface`, a picture of the whole window (client
// area included, which it leaves alone) at the surface's scale.
void PaintFrame(gdi::Surface &surface, const Look &look);

}  // namespace win32::display::frame
