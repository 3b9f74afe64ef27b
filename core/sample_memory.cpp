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

struct Segment {
    uint8_t* base = nullptr;
    size_t live[kChunksPerSegment] = {};  // bytes of blocks in use, chunk by chunk
    size_t liveTotal = 0;
    std::map<size_t, size_t> free{{0, kSegment}};  // offset -> length, neighbours merged

    bool holds(const void* p) const {
        const auto* b = static_cast<const uint8_t*>(p);
        return b >= base && b < base + kSegment;
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

// A segment aligned to the large pages, or nullptr.
std::unique_ptr<Segment> newSegment() {
    const size_t span = kSegment + kChunk;
    void* p = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    auto* raw = static_cast<uint8_t*>(p);
    const uintptr_t at = reinterpret_cast<uintptr_t>(raw);
    uint8_t* base = raw + ((kChunk - at % kChunk) % kChunk);
    if (base > raw) ::munmap(raw, static_cast<size_t>(base - raw));
    if (base + kSegment < raw + span) ::munmap(base + kSegment, static_cast<size_t>(raw + span - (base + kSegment)));
    // Only a wish: without large pages the segment works the same with small ones.
    ::madvise(base, kSegment, MADV_HUGEPAGE);
    auto segment = std::make_unique<Segment>();
    segment->base = base;
    return segment;
}

// Marks [offset, offset + size) of `s` as used. What of it lies in chunks that already hold
// other blocks may keep the values of a block given back earlier: those parts go into
// `toClear`. A chunk that held no block is still zero (given back or never touched).
void take(Segment& s, size_t offset, size_t size, std::vector<std::pair<uint8_t*, size_t>>& toClear) {
    for (int c = 0; c < kChunksPerSegment; ++c) {
        const size_t from = std::max(offset, c * kChunk);
        const size_t to = std::min(offset + size, (c + 1) * kChunk);
        if (from >= to) continue;
        if (s.live[c] > 0) toClear.emplace_back(s.base + from, to - from);
        s.live[c] += to - from;
    }
    s.liveTotal += size;
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
    std::vector<std::pair<uint8_t*, size_t>> toClear;
    uint8_t* block = nullptr;
    {
        const std::lock_guard<std::mutex> hold(all.lock);
        size_t offset = 0;
        Segment* in = nullptr;
        for (auto& s : all.all)
            if (carve(*s, size, offset)) {
                in = s.get();
                break;
            }
        if (!in) {
            std::unique_ptr<Segment> fresh;
            try {
                fresh = newSegment();
                if (fresh) all.all.reserve(all.all.size() + 1);
            } catch (const std::bad_alloc&) {
                fresh.reset();
            }
            if (!fresh) return nullptr;
            in = fresh.get();
            all.all.push_back(std::move(fresh));
            carve(*in, size, offset);
        }
        toClear.reserve(kChunksPerSegment);
        take(*in, offset, size, toClear);
        block = in->base + offset;
    }
    for (const auto& [at, length] : toClear) std::memset(at, 0, length);
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
            s.liveTotal -= size;
            if (s.liveTotal == 0) {
                ::munmap(s.base, kSegment);
                all.all.erase(it);
                return;
            }
            for (int c = 0; c < kChunksPerSegment; ++c) {
                const size_t from = std::max(offset, c * kChunk);
                const size_t to = std::min(offset + size, (c + 1) * kChunk);
                if (from >= to) continue;
                s.live[c] -= to - from;
                // No block left in this chunk: its memory goes back, and it reads as zeros.
                if (s.live[c] == 0) ::madvise(s.base + c * kChunk, kChunk, MADV_DONTNEED);
            }
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
