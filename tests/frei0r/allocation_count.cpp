#include "tests/frei0r/allocation_count.h"

#include <atomic>
#include <cstdlib>
#include <new>

// Every form of operator new and delete with the default alignment is replaced, so that memory never
// passes between these and the runtime's own (AddressSanitizer's, in the sanitizer build). In a file
// of its own so that no caller sees malloc and free through these and mistakes them for a mismatch.
namespace {

std::atomic<long> allocations{0};

void* allocate(std::size_t size) noexcept {
    ++allocations;
    return std::malloc(size != 0 ? size : 1);
}

}  // namespace

long allocationCount() {
    return allocations;
}

void* operator new(std::size_t size) {
    if (void* memory = allocate(size)) return memory;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}
