// libFuzzer target: the session journal's reader on any bytes. Every input must end in a
// reading that says how it ended, never in a crash, a leak, undefined behaviour (the fuzz
// build runs under AddressSanitizer and UBSan) or a request for the memory a damaged
// length claims. What it reports must hold together: the records used lie inside the
// input, a journal read whole used every byte, and the part it used read again alone is
// whole and gives the same attempts.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

#include "storage/journal_reader.h"

namespace {

using namespace vanta;

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto test = std::make_unique<TestRecord>();
    const std::span<const uint8_t> bytes(data, size);
    const JournalReading r = readJournalBytes(bytes, test.get());
    check(r.attempts >= 0 && r.attempts <= kMaxRepetitions);
    check(test->repetitionCount == r.attempts);
    check(r.end <= size);
    check(r.ending != JournalEnd::ReadError);
    if (!r.isJournal) return 0;
    check(r.end + r.droppedBytes == size);
    if (r.readWhole()) check(r.end == size && r.droppedRecords == 0);
    else check(r.droppedRecords >= 1 || r.end < 8);
    for (int i = 0; i < r.attempts; ++i) check(test->repetitions[i].sampleCount >= 0 && test->repetitions[i].sampleCount <= kMaxSamples);

    // The part used, alone: whole, with the same attempts.
    if (r.end >= 8) {
        const JournalReading again = readJournalBytes(bytes.first(r.end), nullptr);
        check(again.readWhole() && again.attempts == r.attempts && again.records == r.records);
    }
    return 0;
}
