// The Windows declarations the library and its callers use.
#ifndef ZEM_WINDOWS_H
#define ZEM_WINDOWS_H

#include "windef.h"
#include "winerror.h"
#include "winbase.h"
#include "winuser.h"
#include "wincon.h"

#endif  // ZEM_WINDOWS_H
