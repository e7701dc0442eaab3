// The global operator new of the allocation test binary: it counts the bytes
// held and can make one chosen allocation fail. It replaces operator new for
// the whole binary (and so ASan's own, with its new/delete mismatch check),
// which is why these tests live apart from the other core suites.
#pragma once

#include <cstdint>

namespace vellix::core::testing {

// Bytes held through operator new now, on every thread.
int64_t live_bytes();

// Makes the n-th operator new from now on (1: the next) throw
// std::bad_alloc; 0 fails none. Counts allocations of every thread.
void fail_allocation(uint64_t n);

// Whether the failure asked for by fail_allocation has happened.
bool allocation_failed();

}  // namespace vellix::core::testing
