// The readable segments of the program's loaded modules (the executable and
// its shared libraries): their constant texts are what callers pass most,
// and those stay mapped as long as their module is loaded, so a range inside
// one needs no question to the kernel.
#ifndef ZEM_PLATFORM_KERNEL_LOADED_IMAGES_H
#define ZEM_PLATFORM_KERNEL_LOADED_IMAGES_H

#include <cstddef>
#include <cstdint>

namespace zem::platform {

// Whether [start, start + size) lies wholly inside one readable segment of a
// module loaded now. On true, *segment_end is where that segment ends.
bool InLoadedImage(std::uintptr_t start, std::size_t size, std::uintptr_t *segment_end);

}  // namespace zem::platform

#endif  // ZEM_PLATFORM_KERNEL_LOADED_IMAGES_H
