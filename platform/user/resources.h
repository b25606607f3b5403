// A module's resources: the table it exports, its icons and dialog templates.
#ifndef ZEM_PLATFORM_USER_RESOURCES_H
#define ZEM_PLATFORM_USER_RESOURCES_H

#include "winbase.h"
#include "winuser.h"

namespace zem::user {

// The template named MAKEINTRESOURCEA(id) or "#id" in the module's table (the
// main program's when module is null); null with *error set when there is
// none.
const ZEM_DIALOG_TEMPLATE *FindDialogTemplate(HINSTANCE module, LPCSTR name, DWORD *error);

}  // namespace zem::user

#endif  // ZEM_PLATFORM_USER_RESOURCES_H
