/* The Win32 subset this program uses, for POSIX systems: one include for
 * the whole of it, split the way the platform's own headers are. */
#ifndef MORVALEN_WINDOWS_H
#define MORVALEN_WINDOWS_H

#include <windef.h>
#include <winbase.h>
#include <wingdi.h>
#include <winuser.h>
#include <winver.h>

#endif /* MORVALEN_WINDOWS_H */
