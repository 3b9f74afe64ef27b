#include "core/side_by_side.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace vanta {

unsigned threadsFor(unsigned threads, int items) {
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    return items <= 0 ? 1u : std::min(threads, static_cast<unsigned>(items));
}

void forEachSideBySide(int count, unsigned threads, const std::function<void(int, unsigned)>& work) {
    if (count <= 0) return;
    const unsigned n = threadsFor(threads, count);
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;
    std::mutex errorLock;
    auto run = [&](unsigned worker) {
        try {
            for (int item; !failed.load(std::memory_order_relaxed) && (item = next.fetch_add(1)) < count;)
                work(item, worker);
        } catch (...) {
            const std::lock_guard<std::mutex> hold(errorLock);
            if (!error) error = std::current_exception();
            failed = true;
        }
    };
    {
        std::vector<std::jthread> helpers;
        for (unsigned w = 1; w < n; ++w) {
            // No more threads to be had (or no memory for one): the ones running share the
            // items, at worst the calling thread alone.
            try {
                if (w == 1) helpers.reserve(n - 1);
                helpers.emplace_back(run, w);
            } catch (const std::system_error&) {
                break;
            } catch (const std::bad_alloc&) {
                break;
            }
        }
        run(0);
    }  // the helpers join here
    if (error) std::rethrow_exception(error);
}

void forEachBatchSideBySide(int count, int batch, unsigned threads, const std::function<void(int first, int end)>& work) {
    if (count <= 0) return;
    batch = std::max(1, batch);
    forEachSideBySide((count + batch - 1) / batch, threads, [&](int item, unsigned) {
        const int first = item * batch;
        work(first, std::min(count, first + batch));
    });
}

}  // namespace vanta
