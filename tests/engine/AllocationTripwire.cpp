#include "AllocationTripwire.h"

#include "platform/AudioDevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
thread_local bool armed = false;
std::atomic<size_t> allocations{0};

std::atomic<size_t> renderAllocations{0};

void* allocate(std::size_t size) {
    if (armed) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
    // Every render of every engine test counts: the callback must never allocate.
    if (vx::inRenderCallback()) {
        renderAllocations.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
// Fails the engine test during which a render callback allocated.
class RenderAllocationListener : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        renderAllocations.store(0, std::memory_order_relaxed);
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        EXPECT_EQ(renderAllocations.load(std::memory_order_relaxed), 0u)
            << "allocations inside the render callback";
    }
};

const bool listening = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new RenderAllocationListener);
    return true;
}();

} // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
// The non-throwing forms too: every form must come from the same allocator as the deletes.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace vx::test {

AllocationTripwire::AllocationTripwire() {
    armed = true;
}
AllocationTripwire::~AllocationTripwire() {
    armed = false;
}
size_t AllocationTripwire::count() {
    return allocations.load(std::memory_order_relaxed);
}

} // namespace vx::test
