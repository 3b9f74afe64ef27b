#include "storage/test_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/analysis.h"
#include "core/codepage.h"
#include "core/side_by_side.h"
#include "storage/atomic_file.h"
#include "storage/little_endian.h"
#include "storage/posix_io.h"
#include "storage/repetition_block.h"

namespace vanta {

namespace {

// The head of the file (tag, subject, count) is read through a buffer; the repetition
// blocks behind it are read at their own offsets, so that several threads can take them.
constexpr size_t kReadBuffer = 1 << 16;

// Where the file's bytes come from: the open file, or its bytes already in memory (the
// index hashes a file and reads its numbers from the one copy it read).
struct Source {
    int fd = -1;
    const uint8_t* bytes = nullptr;  // set: the whole file, `size` bytes
    uint64_t size = 0;
};

// Buffered reader over a file. Every read either delivers all it was asked for or
// reports that the file ended.
class FileReader {
public:
    explicit FileReader(const Source& source) : source_(source), buffer_(new uint8_t[kReadBuffer]) {}

    bool read(void* dst, size_t n) {
        auto* out = static_cast<uint8_t*>(dst);
        while (n > 0) {
            if (pos_ == end_ && !refill()) return false;
            const size_t take = std::min(n, end_ - pos_);
            std::memcpy(out, buffer_.get() + pos_, take);
            pos_ += take;
            out += take;
            n -= take;
        }
        return true;
    }
    bool readU8(uint8_t& v) { return read(&v, 1); }
    bool readU16(uint16_t& v) {
        uint8_t b[2];
        if (!read(b, 2)) return false;
        v = getU16(b);
        return true;
    }
    bool readU32(uint32_t& v) {
        uint8_t b[4];
        if (!read(b, 4)) return false;
        v = getU32(b);
        return true;
    }
    bool readI32(int32_t& v) {
        uint32_t u;
        if (!readU32(u)) return false;
        v = static_cast<int32_t>(u);
        return true;
    }
    bool readF32(float& v) {
        uint32_t u;
        if (!readU32(u)) return false;
        v = std::bit_cast<float>(u);
        return true;
    }

    // Bytes of the file handed out so far: the offset of the next byte to read.
    uint64_t offset() const { return fileOffset_ - (end_ - pos_); }

private:
    // Moves what is left to the front and reads more behind it; false when nothing more came.
    bool refill() {
        const size_t left = end_ - pos_;
        if (left > 0 && pos_ > 0) std::memmove(buffer_.get(), buffer_.get() + pos_, left);
        pos_ = 0;
        end_ = left;
        if (source_.bytes) {
            const size_t got = static_cast<size_t>(std::min<uint64_t>(kReadBuffer - end_, source_.size - fileOffset_));
            if (got == 0) return false;
            std::memcpy(buffer_.get() + end_, source_.bytes + fileOffset_, got);
            end_ += got;
            fileOffset_ += got;
            return true;
        }
        const IoResult got = readSome(source_.fd, buffer_.get() + end_, kReadBuffer - end_);
        if (got.error != 0 || got.done == 0) return false;
        end_ += got.done;
        fileOffset_ += got.done;
        return true;
    }

    Source source_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t pos_ = 0;
    size_t end_ = 0;
    uint64_t fileOffset_ = 0;
};

// Reads n bytes at `offset`; false when the file ends before them or cannot be read.
bool readAt(const Source& source, void* dst, size_t n, uint64_t offset) {
    if (source.bytes) {
        if (offset > source.size || n > source.size - offset) return false;
        std::memcpy(dst, source.bytes + offset, n);
        return true;
    }
    return readExactlyAt(source.fd, dst, n, offset).complete(n);
}

// The n bytes at `offset`: in place when the file is in memory, else read into `piece`.
// nullptr when the file ends before them or cannot be read.
const uint8_t* bytesAt(const Source& source, uint8_t* piece, size_t n, uint64_t offset) {
    if (source.bytes) return offset <= source.size && n <= source.size - offset ? source.bytes + offset : nullptr;
    return readAt(source, piece, n, offset) ? piece : nullptr;
}

// Incompatible also stands for a file the station cannot hold in memory.
enum class ReadFailure { None, Incompatible, EndsEarly };

// Length of a text as the prefix gives it: one byte below 0xFF, else 0xFF and 16 bits,
// else 0xFF 0xFFFF and 32 bits. `unicode` reports the 0xFF 0xFFFE marker of a 16-bit text.
bool readLength(FileReader& in, uint32_t& length, bool* unicode) {
    if (unicode) *unicode = false;
    uint8_t b;
    if (!in.readU8(b)) return false;
    if (b < 0xFF) {
        length = b;
        return true;
    }
    uint16_t w;
    if (!in.readU16(w)) return false;
    if (w == 0xFFFE && unicode) {
        *unicode = true;
        return readLength(in, length, nullptr);
    }
    if (w < 0xFFFF) {
        length = w;
        return true;
    }
    return in.readU32(length);
}

// A text of any length the prefix claims. The claim is not trusted: the text is read in
// pieces and grows only with what the file actually delivered, so a damaged prefix that
// claims gigabytes ends at the file's end having cost one piece, not the claim.
bool readText(FileReader& in, std::string& utf8) {
    bool unicode = false;
    uint32_t length = 0;
    if (!readLength(in, length, &unicode)) return false;
    constexpr size_t kPiece = 1 << 15;
    utf8.clear();
    if (!unicode) {
        char piece[kPiece];
        for (size_t done = 0; done < length;) {
            const size_t take = std::min<size_t>(kPiece, length - done);
            if (!in.read(piece, take)) return false;
            utf8 += codePageToUtf8(std::string_view(piece, take));
            done += take;
        }
        return true;
    }
    std::u16string units;
    for (size_t done = 0; done < length;) {
        const size_t take = std::min<size_t>(kPiece, length - done);
        uint8_t piece[2 * kPiece];
        if (!in.read(piece, 2 * take)) return false;
        for (size_t k = 0; k < take; ++k) units.push_back(static_cast<char16_t>(getU16(piece + 2 * k)));
        done += take;
    }
    utf8 = utf16ToUtf8(units);
    return true;
}

struct StagedTest {
    SubjectInfo subject;
    int32_t repetitionCount = 0;
    int32_t testTime = 0;
    // The blocks' headers; when samples are kept, the samples too.
    std::vector<RepetitionRecord> repetitions;
    std::vector<uint64_t> sampleOffsets;  // where each block's samples start in the file
    uint64_t testTimeOffset = 0;
    // Discarding samples: the results of each repetition, analysed as it passes.
    std::vector<RepetitionResults> results;
};

// The head of the file: tag, subject and repetition count.
ReadFailure readHead(FileReader& in, StagedTest& staged) {
    std::string tag;
    if (!readText(in, tag)) return ReadFailure::EndsEarly;
    if (tag != kFileTag) return ReadFailure::Incompatible;

    SubjectInfo& s = staged.subject;
    if (!readText(in, s.name) || !in.readI32(s.sex) || !in.readI32(s.height) || !in.readI32(s.weight) ||
        !readText(in, s.comment1) || !readText(in, s.comment2) || !readText(in, s.comment3))
        return ReadFailure::EndsEarly;

    int32_t count = 0;
    if (!in.readI32(count)) return ReadFailure::EndsEarly;
    if (count > kMaxRepetitions) return ReadFailure::Incompatible;
    if (count < 0) count = 0;
    staged.repetitionCount = count;
    return ReadFailure::None;
}

// Steps from block header to block header (each says how many samples follow it), so
// that every block's place is known before any samples are read, and a count beyond the
// capacities or a file cut before its last block is refused before anything changes.
ReadFailure walkBlocks(const Source& fd, uint64_t offset, StagedTest& staged) {
    const int count = staged.repetitionCount;
    staged.repetitions.resize(static_cast<size_t>(count));
    staged.sampleOffsets.resize(static_cast<size_t>(count));
    for (int r = 0; r < count; ++r) {
        uint8_t h[kBlockHeaderBytes];
        if (!readAt(fd, h, sizeof h, offset)) return ReadFailure::EndsEarly;
        RepetitionRecord& rep = staged.repetitions[static_cast<size_t>(r)];
        const int32_t n = getBlockHeader(h, rep);
        if (n > kMaxSamples) return ReadFailure::Incompatible;
        rep.sampleCount = n < 0 ? 0 : n;
        staged.sampleOffsets[static_cast<size_t>(r)] = offset + kBlockHeaderBytes;
        offset += repetitionBlockBytes(rep.sampleCount);
    }
    staged.testTimeOffset = offset;
    return ReadFailure::None;
}

// Samples are read this many at a time: the piece (192 KiB) and the rows it fills stay in
// the processor's second-level cache.
constexpr int kPieceSamples = 8192;

// What one thread keeps between the repetitions it reads, and between the files it reads:
// a sweep over many small files then does not allocate and clear it again for each file.
struct BlockReader {
    std::unique_ptr<uint8_t[]> piece{new uint8_t[kPieceSamples * kSampleBytes]};
    // Discarding samples: the repetitions a thread takes together pass through here, are
    // analysed together and leave.
    RepetitionRecord scratch[kAnalysedTogether];
    RepetitionSeries scratchSeries[kAnalysedTogether];
    int scratchSamples[kAnalysedTogether] = {};  // samples each scratch rate row holds from before

    // Of the scratch samples only the rate row is written.
    BlockReader() {
        for (RepetitionRecord& rep : scratch) rep.raw.allocateForFewRows();
    }

    static BlockReader& ofThisThread() {
        thread_local std::unique_ptr<BlockReader> reader;
        if (!reader) reader = std::make_unique<BlockReader>();
        return *reader;
    }
};

// Reads the rate channel of every block, several blocks side by side, into the thread's
// scratch rows, a few repetitions in turn, and analyses them together at once: only the
// results stay. They start from what the station holds for that repetition: they keep it
// when the repetition has no peak.
ReadFailure readForTheNumbers(const Source& fd, StagedTest& staged, const TestRecord& current, unsigned threads) {
    const int count = staged.repetitionCount;
    staged.results.assign(current.results.begin(), current.results.begin() + count);
    std::atomic<bool> endsEarly{false};
    std::atomic<bool> outOfMemory{false};
    // One repetition into the thread's scratch record `slot`. False when the file ends
    // before its samples.
    auto readBlock = [&](BlockReader& reader, int r, int slot) {
        const RepetitionRecord& header = staged.repetitions[static_cast<size_t>(r)];
        const int n = header.sampleCount;
        RepetitionRecord& rep = reader.scratch[slot];
        int32_t* rate = rep.raw.row(RateY);
        for (int first = 0; first < n; first += kPieceSamples) {
            const int len = std::min(kPieceSamples, n - first);
            const uint64_t at = staged.sampleOffsets[static_cast<size_t>(r)] + static_cast<uint64_t>(first) * kSampleBytes;
            const uint8_t* piece = bytesAt(fd, reader.piece.get(), static_cast<size_t>(len) * kSampleBytes, at);
            if (!piece) return false;
            channelFromSamples(piece, len, RateY, rate + first);
        }
        // The scratch row is reused: what lies beyond the samples must read as zeros again,
        // as in a fresh store, for the smoothing reads up to 50 samples past the last one.
        int& held = reader.scratchSamples[slot];
        if (held > n) std::fill(rate + n, rate + held, 0);
        held = n;
        copyBlockHeader(header, rep);
        return true;
    };
    // What a thread allocates (its reader, the scratch rows and series) may fail, and that
    // must not leave the thread.
    forEachBatchSideBySide(count, repetitionsTogether(count, threads), threads, [&](int first, int end) {
        if (endsEarly.load(std::memory_order_relaxed) || outOfMemory.load(std::memory_order_relaxed)) return;
        try {
            BlockReader& reader = BlockReader::ofThisThread();
            RepetitionToAnalyse batch[kAnalysedTogether];
            for (int r = first; r < end; ++r) {
                const int slot = r - first;
                if (!readBlock(reader, r, slot)) {
                    endsEarly = true;
                    return;
                }
                batch[slot] = {&reader.scratch[slot], &reader.scratchSeries[slot], &staged.results[static_cast<size_t>(r)]};
            }
            analyseTogether(std::span<const RepetitionToAnalyse>(batch, static_cast<size_t>(end - first)));
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        }
    });
    if (outOfMemory) return ReadFailure::Incompatible;
    return endsEarly ? ReadFailure::EndsEarly : ReadFailure::None;
}

// One block's samples straight into the repetition's rows, piece by piece. Rows that held
// another repetition before read zeros again beyond the new samples, as a fresh store does
// (the smoothing reads up to 50 samples past the last one). False when the file gives
// fewer bytes than it gave when it was checked.
bool readSamplesInPlace(const Source& fd, uint64_t offset, RepetitionRecord& rep, bool rowsWereZero, uint8_t* buffer) {
    const int n = rep.sampleCount;
    if (n <= 0) return true;
    int32_t* rows[kChannelCount];
    for (int c = 0; c < kChannelCount; ++c) rows[c] = rep.raw.row(c);
    for (int first = 0; first < n; first += kPieceSamples) {
        const int len = std::min(kPieceSamples, n - first);
        const uint8_t* piece = bytesAt(fd, buffer, static_cast<size_t>(len) * kSampleBytes,
                                       offset + static_cast<uint64_t>(first) * kSampleBytes);
        if (!piece) return false;
        int32_t* at[kChannelCount];
        for (int c = 0; c < kChannelCount; ++c) at[c] = rows[c] + first;
        samplesToChannels(piece, len, at);
    }
    if (!rowsWereZero)
        for (int32_t* row : rows) std::fill(row + n, row + kMaxSamples, 0);
    return true;
}

void setMessage(std::string* message, std::string_view text) {
    if (message) *message = std::string(text);
}

// The platform's file-error text with the path. Only a save that went through a temporary
// file may promise that the previous file is still there, and only when there was one.
std::string writeErrorMessage(int error, const std::string& path, bool previousKept) {
    std::string text = error == ENOSPC ? "Disk full while accessing " + path + "."
                                       : "An error occurred while writing " + path + " (" + std::strerror(error) + ").";
    return previousKept ? text + " The previous file is unchanged." : text;
}

}  // namespace

namespace {

// A text's length in the prefix scheme: one byte below 0xFF, else 0xFF and 16 bits, else
// 0xFF 0xFFFF and 32 bits. 0xFFFE and 0xFFFF in the 16-bit field would read as the markers
// of a 16-bit text and of the 32-bit length, so lengths from 65534 on take the long form.
void putLength(std::string& out, size_t n) {
    if (n < 0xFF) {
        out.push_back(static_cast<char>(n));
    } else if (n < 0xFFFE) {
        out.push_back('\xFF');
        putU16(out, static_cast<uint16_t>(n));
    } else {
        out.push_back('\xFF');
        putU16(out, 0xFFFF);
        putU32(out, static_cast<uint32_t>(n));
    }
}

}  // namespace

std::string encodeFileText(std::string_view utf8) {
    std::string out;
    if (fitsCodePage(utf8)) {
        const std::string bytes = utf8ToCodePage(utf8);
        putLength(out, bytes.size());
        return out + bytes;
    }
    // A text Latin-1 cannot hold is written in 16-bit units rather than lost to '?': 0xFF
    // and the 16-bit marker 0xFFFE, then the length in units in the same scheme.
    const std::u16string units = utf8ToUtf16(utf8);
    out.push_back('\xFF');
    putU16(out, 0xFFFE);
    putLength(out, units.size());
    for (char16_t u : units) putU16(out, static_cast<uint16_t>(u));
    return out;
}

bool writeTestFile(const std::string& path, TestRecord& test, std::string* message, std::string* reason) {
    AtomicFile file;
    if (!file.open(path)) {
        setMessage(message, kMsgFileSaveError);
        setMessage(reason, std::strerror(file.error()));
        return false;
    }
    return writeTestFile(file, path, test, message, reason);
}

bool writeTestFile(AtomicFile& file, const std::string& path, TestRecord& test, std::string* message,
                   std::string* reason) {
    const int count = test.repetitionCount < 0 ? 0 : std::min(test.repetitionCount, kMaxRepetitions);
    std::string out;
    out.reserve(1 << 16);
    out += encodeFileText(kFileTag);
    out += encodeFileText(test.subject.name);
    putI32(out, test.subject.sex);
    putI32(out, test.subject.height);
    putI32(out, test.subject.weight);
    out += encodeFileText(test.subject.comment1);
    out += encodeFileText(test.subject.comment2);
    out += encodeFileText(test.subject.comment3);
    putI32(out, count);

    // The whole length first: a file written in place is then either rewritten whole or,
    // with the disk full, not touched at all.
    uint64_t size = out.size() + 4;
    for (int r = 0; r < count; ++r)
        size += repetitionBlockBytes(test.repetitions[r].validSamples());
    bool ok = file.reserve(size);
    auto flush = [&] {
        ok = ok && file.write(out);
        out.clear();
    };
    constexpr size_t kFlushAt = 1 << 20;
    constexpr int kFlushSamples = 8192;
    for (int r = 0; r < count && ok; ++r) {
        const RepetitionRecord& rep = test.repetitions[r];
        const int n = rep.validSamples();
        putBlockHeader(out, rep);
        // In pieces, so that the buffer stays near kFlushAt however long the repetition.
        for (int first = 0; first < n; first += kFlushSamples) {
            putBlockSamples(out, rep, first, std::min(kFlushSamples, n - first));
            if (out.size() >= kFlushAt) flush();
        }
    }
    putI32(out, test.testTime);
    flush();
    if (!ok || !file.commit()) {
        if (message)
            *message = writeErrorMessage(file.error(), path, file.hadPrevious() && !file.inPlace() && !file.replaced());
        setMessage(reason, std::strerror(file.error()));
        return false;
    }
    test.saved = 1;
    return true;
}

namespace {

bool readTest(const Source& fd, TestRecord& test, std::string* message, SampleStorage storage, unsigned threads);

}  // namespace

bool readTestFile(const std::string& path, TestRecord& test, std::string* message, SampleStorage storage,
                  unsigned threads) {
    // Only a regular file is a test: a named pipe without a writer would block the station
    // for ever, a device would never end. O_NONBLOCK keeps the open itself from waiting
    // for a pipe's writer; it means nothing for a regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        setMessage(message, kMsgErrorOpeningFile);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        setMessage(message, kMsgErrorOpeningFile);
        return false;
    }
    const bool read = readTest(Source{fd}, test, message, storage, threads);
    ::close(fd);
    return read;
}

bool readTestBytes(std::span<const uint8_t> bytes, TestRecord& test, std::string* message, SampleStorage storage,
                   unsigned threads) {
    return readTest(Source{-1, bytes.data(), bytes.size()}, test, message, storage, threads);
}

namespace {

// The header fields of the file's test (everything but the repetitions' samples and what
// is worked out from them) become those of the test in memory.
void takeOverHead(StagedTest& staged, TestRecord& test) {
    const int32_t age = test.subject.age;
    test.subject = std::move(staged.subject);
    test.subject.age = age;
    test.repetitionCount = staged.repetitionCount;
    test.testTime = staged.testTime;
    test.saved = 1;
}

// Repetitions the test does not hold give their blocks back (nothing reads them).
void releaseFrom(TestRecord& test, int first) {
    for (int r = first; r < kMaxRepetitions; ++r) {
        test.repetitions[r].raw.release();
        test.series[r].values.release();
    }
}

// Numbers only: the whole file is read and analysed; its headers and results become the
// test in memory, which keeps no samples and no series.
void takeOverNumbers(StagedTest& staged, TestRecord& test) {
    takeOverHead(staged, test);
    const int count = staged.repetitionCount;
    for (int r = 0; r < count; ++r) {
        copyBlockHeader(staged.repetitions[static_cast<size_t>(r)], test.repetitions[r]);
        test.repetitions[r].raw.release();
        test.series[r].values.release();
        test.results[r] = staged.results[static_cast<size_t>(r)];
    }
    releaseFrom(test, count);
}

// Samples kept: the file, checked whole, is read straight into the records, each thread
// reading the few repetitions it analyses together and analysing them while their rate rows
// are still in the cache. Opening a test over another therefore takes no memory beyond the
// larger of the two and writes every sample once. Every block the file needs is made before
// anything changes, so running out of memory changes nothing. Only a file that gives fewer
// bytes than it did when it was checked (cut while being read, a disk that fails) is found
// after samples of the test in memory were overwritten: that test cannot be given back, and
// the records are left holding no test (no repetitions) rather than a mixture of two.
ReadFailure readInPlace(const Source& fd, StagedTest& staged, TestRecord& test, unsigned threads) {
    const int count = staged.repetitionCount;
    const int together = repetitionsTogether(count, threads);
    const int batches = (count + together - 1) / together;
    const unsigned workers = threadsFor(threads, batches);
    std::vector<std::unique_ptr<uint8_t[]>> pieces;  // one read buffer per thread
    std::vector<uint8_t> rowsWereZero;
    std::vector<int> made;  // 2r: rows of repetition r made here, 2r + 1: its series block
    try {
        for (unsigned w = 0; w < workers; ++w) pieces.emplace_back(new uint8_t[kPieceSamples * kSampleBytes]);
        rowsWereZero.assign(static_cast<size_t>(count), 0);
        made.reserve(2 * static_cast<size_t>(count));
        for (int r = 0; r < count; ++r) {
            // An empty repetition needs no sample storage.
            if (staged.repetitions[static_cast<size_t>(r)].sampleCount > 0 && !test.repetitions[r].raw.allocated()) {
                made.push_back(2 * r);
                test.repetitions[r].raw.allocate();
                rowsWereZero[static_cast<size_t>(r)] = 1;
            }
            if (!test.series[r].values.allocated()) {
                made.push_back(2 * r + 1);
                test.series[r].values.allocate();
            }
        }
    } catch (const std::bad_alloc&) {
        for (int m : made) {
            if (m % 2 == 0) test.repetitions[m / 2].raw.release();
            else test.series[m / 2].values.release();
        }
        return ReadFailure::Incompatible;
    }

    std::atomic<bool> failed{false};
    try {
        forEachSideBySide(batches, workers, [&](int item, unsigned worker) {
            if (failed.load(std::memory_order_relaxed)) return;
            const int first = item * together;
            const int end = std::min(count, first + together);
            RepetitionToAnalyse batch[kAnalysedTogether];
            for (int r = first; r < end; ++r) {
                RepetitionRecord& rep = test.repetitions[r];
                copyBlockHeader(staged.repetitions[static_cast<size_t>(r)], rep);
                if (!readSamplesInPlace(fd, staged.sampleOffsets[static_cast<size_t>(r)], rep,
                                        rowsWereZero[static_cast<size_t>(r)] != 0, pieces[worker].get())) {
                    failed = true;
                    return;
                }
                batch[r - first] = {&rep, &test.series[r], &test.results[r]};
            }
            analyseTogether(std::span<const RepetitionToAnalyse>(batch, static_cast<size_t>(end - first)));
        });
    } catch (const std::bad_alloc&) {
        failed = true;  // handing the work to the threads may allocate: as a read that stopped
    }
    if (failed) {
        test.repetitionCount = 0;
        test.saved = 1;
        releaseFrom(test, 0);
        return ReadFailure::EndsEarly;
    }
    takeOverHead(staged, test);
    for (int r = 0; r < count; ++r)
        if (test.repetitions[r].sampleCount <= 0) test.repetitions[r].raw.release();
    releaseFrom(test, count);
    return ReadFailure::None;
}

bool readTest(const Source& fd, TestRecord& test, std::string* message, SampleStorage storage, unsigned threads) {
    StagedTest staged;
    ReadFailure failure = ReadFailure::None;
    try {
        {
            FileReader in(fd);
            failure = readHead(in, staged);
            if (failure == ReadFailure::None) failure = walkBlocks(fd, in.offset(), staged);
        }
        // The test time is the file's last field: read before any samples, it proves the
        // file holds every block, so a file that ends early is refused before anything
        // changes.
        if (failure == ReadFailure::None) {
            uint8_t time[4];
            if (readAt(fd, time, sizeof time, staged.testTimeOffset)) staged.testTime = getI32(time);
            else failure = ReadFailure::EndsEarly;
        }
        if (failure == ReadFailure::None && storage == SampleStorage::Discard)
            failure = readForTheNumbers(fd, staged, test, threads);
    } catch (const std::bad_alloc&) {
        // A file the station cannot hold in memory (a text of gigabytes) is refused like
        // one beyond its capacities. Nothing has been taken over.
        failure = ReadFailure::Incompatible;
    }
    if (failure == ReadFailure::None) {
        if (storage == SampleStorage::Discard) takeOverNumbers(staged, test);
        else failure = readInPlace(fd, staged, test, threads);
    }
    if (failure != ReadFailure::None) {
        setMessage(message, failure == ReadFailure::Incompatible ? kMsgIncompatibleData : kMsgFileEndsEarly);
        return false;
    }
    return true;
}

}  // namespace

}  // namespace vanta
