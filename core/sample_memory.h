// Memory for the blocks of samples and series. A full test holds 200 such blocks, 240 MB,
// and the station fills them the moment it opens the test: taken page by page (4 kB) from
// the system, that costs more than reading and analysing the whole file. Here the blocks are
// packed into segments that the system may back with 2 MB pages, so opening a test asks for
// a hundred pages instead of sixty thousand.
#pragma once

#include <cstddef>

namespace vanta::sample_memory {

// `bytes` of zero-filled memory; nullptr when there is none to be had.
void* allocateZeroed(size_t bytes);

// `bytes` of zero-filled memory in small pages, for a block of which only a part is ever
// written: a large page would be cleared and kept whole for the part.
void* allocateZeroedForFewRows(size_t bytes);

// Gives back a block from either of the two with the same `bytes`. Memory no block uses any
// more goes back to the system in 2 MB pieces, so a short test opened after a full one
// does not keep the full one's memory.
void release(void* block, size_t bytes);

// Bytes the segments hold from the system (for the tests of giving back).
size_t reservedBytes();

}  // namespace vanta::sample_memory
