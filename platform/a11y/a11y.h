// The accessibility provider's start: called by the program's start-up.
#pragma once

namespace win32::a11y {

// Receives the layer's changes from now on, and lets the provider load,
// when an assistive technology runs, once the message loop first waits.
void AllowProvider();

}  // namespace win32::a11y
