// The upload task interface.
#ifndef ZEM_ZEMUPLOAD_H
#define ZEM_ZEMUPLOAD_H

#include "windows.h"

#endif  // ZEM_ZEMUPLOAD_H
