// Running independent pieces of work (the repetitions of a test, the files of a sweep) on
// the processor's cores.
#pragma once

#include <functional>

namespace vanta {

// Threads for `threads` requested (0: one per core), never more than there are items.
unsigned threadsFor(unsigned threads, int items);

// Calls work(item, worker) once for every item 0..count-1, on up to `threads` threads
// (0: one per core), the calling thread among them; `worker` (0..threads-1) names the
// thread, so each can keep its own scratch space. Items are handed out in order as threads
// become free. Returns when every call has returned. When a call throws, the items not yet
// started are skipped and the first exception is thrown on to the caller. When no more
// threads can be started (none to be had, or no memory for one), those running share the
// items: the calling thread alone at worst.
void forEachSideBySide(int count, unsigned threads, const std::function<void(int item, unsigned worker)>& work);

// The same with the items handed out `batch` at a time (at least 1): work(first, end) for
// the items first..end-1, first = 0, batch, 2 * batch, ...; the last batch may be shorter.
void forEachBatchSideBySide(int count, int batch, unsigned threads, const std::function<void(int first, int end)>& work);

}  // namespace vanta
