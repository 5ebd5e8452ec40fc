// The AT-SPI2 provider, spoken directly over D-Bus with sd-bus: the status
// watch on the session bus, the accessibility bus connection, the objects
// and the events. Everything runs from the message loop's wait.
#pragma once

#include <systemd/sd-bus.h>

#include <string>

#include "platform/a11y/provider.h"

namespace win32::a11y::atspi {

constexpr const char *kPathPrefix = "/org/a11y/atspi/accessible";
constexpr const char *kRootPath = "/org/a11y/atspi/accessible/root";

std::string PathOf(const Node &n);
bool NodeOfPath(const char *path, Node *n);
// The program's ANSI text (Latin-1) as D-Bus's UTF-8.
std::string Utf8(const std::string &ansi);

// Registers the object interfaces on `bus`; `desktop` names the registry's
// root, the application's parent.
int AddObjects(sd_bus *bus, Host *host, const std::string *desktopName, const std::string *desktopPath);

}  // namespace win32::a11y::atspi
