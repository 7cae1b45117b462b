// Mapping, growing and unmapping the line store's blocks.

#include "lines/mapped_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace lines::mapped {

namespace {

char* map_plain(std::size_t size)
{
    void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (data == MAP_FAILED)
        throw std::bad_alloc();
    return static_cast<char*>(data);
}

}  // namespace

char* map(std::size_t size, bool huge)
{
    if (!huge)
        return map_plain(size);
    // Map a huge page more than asked and give back the unaligned ends.
    char* raw = map_plain(size + huge_page);
    const auto address = reinterpret_cast<std::uintptr_t>(raw);
    const std::size_t head = round_up(address, huge_page) - address;
    if (head > 0)
        munmap(raw, head);
    if (huge_page - head > 0)
        munmap(raw + head + size, huge_page - head);
    // Not MADV_HUGEPAGE: the kernel then compacts memory inside the page fault to find a huge
    // page, which held the window for 10 to 30 ms at a time while a store filled. Aligned, the
    // block still gets huge pages where the system hands them out freely.
    return raw + head;
}

char* remap(char* data, std::size_t old_size, std::size_t new_size)
{
    void* moved = mremap(data, old_size, new_size, MREMAP_MAYMOVE);
    if (moved == MAP_FAILED)
        throw std::bad_alloc();
    return static_cast<char*>(moved);
}

void unmap(char* data, std::size_t size) { munmap(data, size); }

}  // namespace lines::mapped
