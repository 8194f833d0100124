#pragma once
// Counts heap allocations made on the calling thread while armed. The engine test binary
// replaces the global operator new so that a render pass can prove it allocates nothing.

#include <cstddef>

namespace vx::test {

class AllocationTripwire {
public:
    AllocationTripwire();  // arms the calling thread
    ~AllocationTripwire(); // disarms it
    static size_t count(); // allocations seen on armed threads since start-up
};

} // namespace vx::test
