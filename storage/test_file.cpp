#include "storage/test_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/analysis.h"
#include "core/codepage.h"
#include "storage/atomic_file.h"
#include "storage/little_endian.h"

namespace vanta {

namespace {

constexpr size_t kReadBuffer = 1 << 20;
constexpr size_t kSampleBytes = 4 * kChannelCount;

// Buffered reader over a file descriptor. Every read either delivers all it was asked
// for or reports that the file ended.
class FileReader {
public:
    explicit FileReader(int fd) : fd_(fd), buffer_(new uint8_t[kReadBuffer]) {}

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

    // Reads n samples of six int32 each, interleaved by sample, into the channel rows.
    bool readSamples(int32_t* const* channels, int n) {
        int i = 0;
        while (i < n) {
            if (end_ - pos_ < kSampleBytes) {
                if (!refill()) return false;
                if (end_ - pos_ < kSampleBytes) continue;  // a sample split over two reads
            }
            const size_t whole = (end_ - pos_) / kSampleBytes;
            const int take = static_cast<int>(std::min<size_t>(whole, static_cast<size_t>(n - i)));
            const uint8_t* p = buffer_.get() + pos_;
            for (int k = 0; k < take; ++k, ++i) {
                for (int c = 0; c < kChannelCount; ++c, p += 4) {
                    uint32_t u;
                    std::memcpy(&u, p, 4);
                    channels[c][i] = static_cast<int32_t>(fromLittle(u));
                }
            }
            pos_ += static_cast<size_t>(take) * kSampleBytes;
        }
        return true;
    }

private:
    // Moves what is left to the front and reads more behind it; false when nothing more came.
    bool refill() {
        const size_t left = end_ - pos_;
        if (left > 0 && pos_ > 0) std::memmove(buffer_.get(), buffer_.get() + pos_, left);
        pos_ = 0;
        end_ = left;
        for (;;) {
            const ssize_t got = ::read(fd_, buffer_.get() + end_, kReadBuffer - end_);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            end_ += static_cast<size_t>(got);
            return true;
        }
    }

    int fd_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t pos_ = 0;
    size_t end_ = 0;
};

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
    std::vector<RepetitionRecord> repetitions;
    // Discarding samples: each repetition passes through `work` and leaves its results here.
    std::vector<RepetitionResults> results;
    std::unique_ptr<TestRecord> work;
    int workSamples = 0;  // samples the scratch store holds from the previous repetition
};

ReadFailure readWhole(FileReader& in, StagedTest& staged, const TestRecord& current) {
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
    staged.repetitions.resize(static_cast<size_t>(count));
    if (staged.work) staged.results.resize(static_cast<size_t>(count));

    for (int r = 0; r < count; ++r) {
        RepetitionRecord& rep = staged.work ? staged.work->repetitions[0] : staged.repetitions[static_cast<size_t>(r)];
        if (!in.readI32(rep.direction)) return ReadFailure::EndsEarly;
        for (float& off : rep.channelOffset)
            if (!in.readF32(off)) return ReadFailure::EndsEarly;
        int32_t n = 0;
        if (!in.readF32(rep.loadMass) || !in.readF32(rep.radius) || !in.readI32(n)) return ReadFailure::EndsEarly;
        if (n > kMaxSamples) return ReadFailure::Incompatible;
        if (n < 0) n = 0;
        rep.sampleCount = n;
        if (n > 0 || staged.work) {  // an empty repetition needs no sample storage
            int32_t* channels[kChannelCount];
            for (int c = 0; c < kChannelCount; ++c) channels[c] = rep.raw.row(c);
            if (!in.readSamples(channels, n)) return ReadFailure::EndsEarly;
        }
        if (staged.work) {
            // The scratch block is reused: what lies beyond the samples must read as zeros
            // again, as in a fresh store. Results start from what the station holds, which
            // they keep when the repetition has no peak.
            for (int c = 0; c < kChannelCount && staged.workSamples > n; ++c)
                std::fill(rep.raw.row(c) + n, rep.raw.row(c) + staged.workSamples, 0);
            staged.workSamples = n;
            staged.work->results[0] = current.results[r];
            analyseRepetition(*staged.work, 0);
            staged.results[static_cast<size_t>(r)] = staged.work->results[0];
            RepetitionRecord& header = staged.repetitions[static_cast<size_t>(r)];
            header.direction = rep.direction;
            std::copy(std::begin(rep.channelOffset), std::end(rep.channelOffset), std::begin(header.channelOffset));
            header.loadMass = rep.loadMass;
            header.radius = rep.radius;
            header.sampleCount = rep.sampleCount;
        }
    }
    if (!in.readI32(staged.testTime)) return ReadFailure::EndsEarly;
    return ReadFailure::None;
}

void setMessage(std::string* message, std::string_view text) {
    if (message) *message = std::string(text);
}

// The platform's file-error text with the path. Only a save that went through a temporary
// file may promise that the previous file is still there.
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

bool writeTestFile(const std::string& path, TestRecord& test, std::string* message) {
    AtomicFile file;
    if (!file.open(path)) {
        setMessage(message, kMsgFileSaveError);
        return false;
    }

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

    bool ok = true;
    auto flush = [&] {
        ok = ok && file.write(out);
        out.clear();
    };
    constexpr size_t kFlushAt = 1 << 20;
    for (int r = 0; r < count && ok; ++r) {
        const RepetitionRecord& rep = test.repetitions[r];
        const int n = rep.validSamples();
        putI32(out, rep.direction);
        for (float off : rep.channelOffset) putF32(out, off);
        putF32(out, rep.loadMass);
        putF32(out, rep.radius);
        putI32(out, n);
        const int32_t* ch[kChannelCount];
        for (int c = 0; c < kChannelCount; ++c) ch[c] = rep.raw.row(c);
        for (int i = 0; i < n; ++i) {
            for (int c = 0; c < kChannelCount; ++c) putI32(out, ch[c][i]);
            if (out.size() >= kFlushAt) flush();
        }
    }
    putI32(out, test.testTime);
    flush();
    if (!ok || !file.commit()) {
        if (message) *message = writeErrorMessage(file.error(), path, !file.inPlace() && !file.replaced());
        return false;
    }
    test.saved = 1;
    return true;
}

bool readTestFile(const std::string& path, TestRecord& test, std::string* message, SampleStorage storage) {
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
    StagedTest staged;
    ReadFailure failure;
    try {
        if (storage == SampleStorage::Discard) staged.work = std::make_unique<TestRecord>();
        FileReader in(fd);
        failure = readWhole(in, staged, test);
        // The take-over below must not fail half-way: the series it fills are made here.
        if (failure == ReadFailure::None && !staged.work)
            for (int r = 0; r < staged.repetitionCount; ++r) test.series[r].values.allocate();
    } catch (const std::bad_alloc&) {
        // A file the station cannot hold in memory (a text of gigabytes) is refused like
        // one beyond its capacities; nothing has been taken over.
        failure = ReadFailure::Incompatible;
    }
    ::close(fd);
    if (failure == ReadFailure::Incompatible) {
        setMessage(message, kMsgIncompatibleData);
        return false;
    }
    if (failure == ReadFailure::EndsEarly) {
        setMessage(message, kMsgFileEndsEarly);
        return false;
    }

    // Everything is read: take it over and analyse repetition by repetition, in file order.
    const int32_t age = test.subject.age;
    test.subject = std::move(staged.subject);
    test.subject.age = age;
    test.repetitionCount = staged.repetitionCount;
    for (int r = 0; r < staged.repetitionCount; ++r) {
        RepetitionRecord& from = staged.repetitions[static_cast<size_t>(r)];
        RepetitionRecord& to = test.repetitions[r];
        to.direction = from.direction;
        std::copy(std::begin(from.channelOffset), std::end(from.channelOffset), std::begin(to.channelOffset));
        to.loadMass = from.loadMass;
        to.radius = from.radius;
        to.sampleCount = from.sampleCount;
        if (staged.work) {
            to.raw.release();
            test.series[r].values.release();
            test.results[r] = staged.results[static_cast<size_t>(r)];
        } else {
            to.raw.swap(from.raw);
            analyseRepetition(test, r);
        }
    }
    test.testTime = staged.testTime;
    test.saved = 1;
    return true;
}

}  // namespace vanta
