// The layer's side of the shell: where its opener gets the window
// system's activation token.
#pragma once

#include <string>

namespace win32::shell {

// Asked at each start of the opener for a token that lets the started
// program come forward (XDG_ACTIVATION_TOKEN); empty for none, and no
// source gives none.
void SetActivationTokenSource(std::string (*source)());

}  // namespace win32::shell
