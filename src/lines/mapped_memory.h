#pragma once
// Memory for the line store's blocks taken straight from the kernel: a block handed back leaves
// the process at once, whatever the allocator would have kept, and a growing one moves its pages
// instead of copying them.

#include <cstddef>

namespace lines::mapped {

inline constexpr std::size_t system_page = 4096;
inline constexpr std::size_t huge_page = std::size_t{2} << 20;

inline std::size_t round_up(std::size_t size, std::size_t unit) { return (size + unit - 1) / unit * unit; }

// `size` bytes of zeroed, writable memory (size a multiple of system_page); throws std::bad_alloc.
// With `huge`, aligned to huge pages, so that where the system backs memory with huge pages
// without being asked (transparent huge pages "always"), filling a gigabyte of log costs hundreds
// of page faults instead of hundreds of thousands.
char* map(std::size_t size, bool huge);
// The same memory at `new_size` bytes, possibly elsewhere, its contents kept; throws
// std::bad_alloc and leaves it as it was when that fails.
char* remap(char* data, std::size_t old_size, std::size_t new_size);
void unmap(char* data, std::size_t size);

}  // namespace lines::mapped
