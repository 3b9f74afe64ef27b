#include "core/sample_memory.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace vanta::sample_memory {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr size_t kChunk = size_t{2} << 20;  // one large page
constexpr int kChunksPerSegment = 4;
// Small enough that a process whose memory is limited runs out near its limit, large
// enough to take five sample blocks (1.44 MB) or eight series blocks (0.96 MB).
constexpr size_t kSegment = kChunk * kChunksPerSegment;
constexpr size_t kGrain = 4096;

size_t rounded(size_t bytes) { return (bytes + kGrain - 1) / kGrain * kGrain; }

// The parts of [offset, offset + size) in each chunk: part(chunk, from, to).
template <typename Part>
void forEachChunkPart(size_t offset, size_t size, Part&& part) {
    for (int c = 0; c < kChunksPerSegment; ++c) {
        const size_t from = std::max(offset, c * kChunk);
        const size_t to = std::min(offset + size, (c + 1) * kChunk);
        if (from < to) part(c, from, to);
    }
}

// One mapping of kSegment bytes aligned to the large pages; unmapped with the segment.
struct Segment {
    uint8_t* base = nullptr;
    size_t live[kChunksPerSegment] = {};  // bytes of blocks in use, chunk by chunk
    std::map<size_t, size_t> free{{0, kSegment}};  // offset -> length, neighbours merged

    Segment() {
        const size_t span = kSegment + kChunk;
        void* p = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        auto* raw = static_cast<uint8_t*>(p);
        const uintptr_t at = reinterpret_cast<uintptr_t>(raw);
        base = raw + ((kChunk - at % kChunk) % kChunk);
        if (base > raw) ::munmap(raw, static_cast<size_t>(base - raw));
        if (base + kSegment < raw + span) ::munmap(base + kSegment, static_cast<size_t>(raw + span - (base + kSegment)));
        // Only a wish: without large pages the segment works the same with small ones.
        ::madvise(base, kSegment, MADV_HUGEPAGE);
    }
    ~Segment() { ::munmap(base, kSegment); }
    Segment(const Segment&) = delete;
    Segment& operator=(const Segment&) = delete;

    bool holds(const void* p) const {
        const auto* b = static_cast<const uint8_t*>(p);
        return b >= base && b < base + kSegment;
    }
    bool empty() const {
        for (size_t bytes : live)
            if (bytes > 0) return false;
        return true;
    }
};

struct Segments {
    std::mutex lock;
    std::vector<std::unique_ptr<Segment>> all;
};

Segments& segments() {
    static Segments* s = new Segments;  // lives until the very end: blocks may outlive main
    return *s;
}

// First fit; true when `s` had room.
bool carve(Segment& s, size_t size, size_t& offset) {
    for (auto it = s.free.begin(); it != s.free.end(); ++it) {
        if (it->second < size) continue;
        offset = it->first;
        const size_t left = it->second - size;
        s.free.erase(it);
        if (left > 0) s.free.emplace(offset + size, left);
        return true;
    }
    return false;
}

void giveBack(Segment& s, size_t offset, size_t size) {
    auto next = s.free.lower_bound(offset);
    if (next != s.free.end() && next->first == offset + size) {
        size += next->second;
        next = s.free.erase(next);
    }
    if (next != s.free.begin()) {
        auto before = std::prev(next);
        if (before->first + before->second == offset) {
            offset = before->first;
            size += before->second;
            s.free.erase(before);
        }
    }
    s.free.emplace(offset, size);
}

}  // namespace

void* allocateZeroed(size_t bytes) {
    const size_t size = rounded(bytes);
    // AddressSanitizer must see every block on its own to catch a read past one.
    if (kSanitized || bytes == 0 || size > kSegment) return std::calloc(bytes, 1);
    Segments& all = segments();
    // Parts of the block in chunks that already hold other blocks may keep the values of a
    // block given back earlier; a chunk that held no block is still zero (given back or
    // never touched).
    std::pair<uint8_t*, size_t> toClear[kChunksPerSegment];
    int clearCount = 0;
    uint8_t* block = nullptr;
    try {
        const std::lock_guard<std::mutex> hold(all.lock);
        size_t offset = 0;
        Segment* in = nullptr;
        for (auto& s : all.all)
            if (carve(*s, size, offset)) {
                in = s.get();
                break;
            }
        if (!in) {
            all.all.reserve(all.all.size() + 1);
            all.all.push_back(std::make_unique<Segment>());
            in = all.all.back().get();
            carve(*in, size, offset);
        }
        forEachChunkPart(offset, size, [&](int c, size_t from, size_t to) {
            if (in->live[c] > 0) toClear[clearCount++] = {in->base + from, to - from};
            in->live[c] += to - from;
        });
        block = in->base + offset;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    for (int k = 0; k < clearCount; ++k) std::memset(toClear[k].first, 0, toClear[k].second);
    return block;
}

void* allocateZeroedForFewRows(size_t bytes) { return std::calloc(bytes, 1); }

void release(void* block, size_t bytes) {
    if (!block) return;
    const size_t size = rounded(bytes);
    Segments& all = segments();
    {
        const std::lock_guard<std::mutex> hold(all.lock);
        for (auto it = all.all.begin(); it != all.all.end(); ++it) {
            Segment& s = **it;
            if (!s.holds(block)) continue;
            const size_t offset = static_cast<size_t>(static_cast<uint8_t*>(block) - s.base);
            giveBack(s, offset, size);
            forEachChunkPart(offset, size, [&s](int c, size_t from, size_t to) { s.live[c] -= to - from; });
            if (s.empty()) {
                all.all.erase(it);  // the whole segment goes back
                return;
            }
            // A chunk with no block left: its memory goes back, and it reads as zeros.
            forEachChunkPart(offset, size, [&s](int c, size_t, size_t) {
                if (s.live[c] == 0) ::madvise(s.base + c * kChunk, kChunk, MADV_DONTNEED);
            });
            return;
        }
    }
    std::free(block);
}

size_t reservedBytes() {
    Segments& all = segments();
    const std::lock_guard<std::mutex> hold(all.lock);
    return all.all.size() * kSegment;
}

}  // namespace vanta::sample_memory
