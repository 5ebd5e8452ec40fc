// The protocols' client code, generated at build time from the system's
// XML. The optional ones are there when the installed wayland-protocols
// has them.
#pragma once

#include <wayland-client.h>

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "xdg-activation-v1-client-protocol.h"
#include "xdg-decoration-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"
#ifdef MORVALEN_HAVE_CURSOR_SHAPE
#include "cursor-shape-v1-client-protocol.h"
#endif
#ifdef MORVALEN_HAVE_XDG_DIALOG
#include "xdg-dialog-v1-client-protocol.h"
#endif
