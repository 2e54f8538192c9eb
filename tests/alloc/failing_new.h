#pragma once

// This test binary replaces every form of the global operator new and delete (plain, array,
// aligned, nothrow) with versions that count the allocations and can make one of them fail, the
// way the allocation-failure tests of small embedded libraries work. Memory comes from malloc and
// goes back to free, so AddressSanitizer still sees every block and its leak check still applies.

#include <cstdint>

namespace linexml::test {

// When failing allocations are injected, counting from the call of Arm.
enum class FailMode {
  kOnce,        // only the N-th allocation fails; later ones succeed again
  kFromThenOn,  // the N-th and every later one fail (the clean-up must then need no memory)
};

// Makes the N-th allocation from now (1-based) fail: the throwing forms throw std::bad_alloc, the
// nothrow forms return null. Resets the count and the record of a failure.
void ArmAllocationFailure(std::uint64_t N, FailMode Mode);
// Stops counting and failing.
void DisarmAllocationFailure();
// Allocations since the last Arm.
std::uint64_t AllocationsCounted();
// Whether an allocation was made to fail since the last Arm.
bool AllocationFailed();

}  // namespace linexml::test
