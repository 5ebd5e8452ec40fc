// Keys as the AT-SPI registry takes them: the X keysym, keycode and
// modifier state of a key the layer knows by its virtual key and scan code.
#pragma once

#include "platform/a11y/provider.h"
#include "platform/common/a11y_hooks.h"

namespace win32::a11y {

// The keycode is the one X servers (and xkbcommon) give the key with the
// evdev keycodes of Linux: the PC key behind the scan code, plus 8. The
// keysym and its text are those of a US layout where the back-end reported
// no character.
KeyReport ReportOf(const KeyStroke &key);

}  // namespace win32::a11y
