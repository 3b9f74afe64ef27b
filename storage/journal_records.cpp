#include "storage/journal_records.h"

#include "storage/crc32c.h"
#include "storage/journal_format.h"
#include "storage/little_endian.h"
#include "storage/repetition_block.h"

namespace vanta::journal_format {

namespace {

void putText(std::string& out, const std::string& text) {
    putU32(out, static_cast<uint32_t>(text.size()));
    out += text;
}

// Starts a record: room for the head, then the kind. finishRecord() fills the head in.
size_t beginRecord(std::string& out, Kind kind) {
    const size_t at = out.size();
    out.append(kRecordHead, '\0');
    out.push_back(static_cast<char>(kind));
    return at;
}

void finishRecord(std::string& out, size_t at) {
    const size_t body = out.size() - at - kRecordHead;
    std::string head;
    putU32(head, static_cast<uint32_t>(body));
    putU32(head, crc32c(out.data() + at + kRecordHead, body));
    out.replace(at, kRecordHead, head);
}

// The body of one record, checked piece by piece: a field that runs past the body makes
// the record damaged.
class BodyReader {
public:
    BodyReader(const unsigned char* p, size_t n) : p_(p), end_(p + n) {}
    bool i32(int32_t& v) {
        const unsigned char* at = take(4);
        if (at) v = getI32(at);
        return at != nullptr;
    }
    bool f32(float& v) {
        const unsigned char* at = take(4);
        if (at) v = getF32(at);
        return at != nullptr;
    }
    bool text(std::string& s) {
        int32_t n = 0;
        if (!i32(n) || n < 0 || end_ - p_ < n) return false;
        s.assign(reinterpret_cast<const char*>(p_), static_cast<size_t>(n));
        p_ += n;
        return true;
    }
    const unsigned char* take(size_t n) {
        if (static_cast<size_t>(end_ - p_) < n) return nullptr;
        const unsigned char* at = p_;
        p_ += n;
        return at;
    }
    bool atEnd() const { return p_ == end_; }

private:
    const unsigned char* p_;
    const unsigned char* end_;
};

std::optional<Record> decodeSubject(BodyReader& in) {
    SubjectEntry e;
    SubjectInfo& s = e.subject;
    if (!in.i32(e.testTime) || !in.text(s.name) || !in.i32(s.sex) || !in.i32(s.age) || !in.i32(s.weight) ||
        !in.i32(s.height) || !in.text(s.comment1) || !in.text(s.comment2) || !in.text(s.comment3))
        return std::nullopt;
    // The register id came later: a journal without it is as whole as one with it.
    if (!in.atEnd() && (!in.text(e.subjectId) || !in.atEnd())) return std::nullopt;
    return e;
}

std::optional<Record> decodeAttempt(BodyReader& in) {
    AttemptEntry e;
    const unsigned char* header = nullptr;
    if (!in.i32(e.index) || !in.i32(e.testTime) || !(header = in.take(kBlockHeaderBytes))) return std::nullopt;
    const int32_t samples = getBlockHeader(header, e.header);
    if (samples < 0 || samples > kMaxSamples) return std::nullopt;
    e.header.sampleCount = samples;
    e.samples = in.take(static_cast<size_t>(samples) * kSampleBytes);
    if (!e.samples || !in.atEnd()) return std::nullopt;
    return e;
}

std::optional<Record> decodeIgnore(BodyReader& in) {
    IgnoreEntry e;
    if (!in.i32(e.dropped) || !in.i32(e.testTime) || !in.atEnd()) return std::nullopt;
    return e;
}

std::optional<Record> decodeCalibration(BodyReader& in) {
    CalibrationEntry e;
    if (!in.i32(e.testTime)) return std::nullopt;
    for (float& off : e.offsets)
        if (!in.f32(off)) return std::nullopt;
    if (!in.atEnd()) return std::nullopt;
    return e;
}

}  // namespace

void appendSubject(std::string& out, const SubjectInfo& s, const std::string& subjectId, int32_t testTime) {
    const size_t at = beginRecord(out, KindSubject);
    putI32(out, testTime);
    putText(out, s.name);
    putI32(out, s.sex);
    putI32(out, s.age);
    putI32(out, s.weight);
    putI32(out, s.height);
    putText(out, s.comment1);
    putText(out, s.comment2);
    putText(out, s.comment3);
    if (!subjectId.empty()) putText(out, subjectId);
    finishRecord(out, at);
}

void appendAttempt(std::string& out, const TestRecord& test, int index) {
    const RepetitionRecord& rep = test.repetitions[static_cast<size_t>(index)];
    out.reserve(out.size() + kRecordHead + 9 + repetitionBlockBytes(rep.validSamples()));
    const size_t at = beginRecord(out, KindAttempt);
    putI32(out, index);
    putI32(out, test.testTime);
    putRepetitionBlock(out, rep);
    finishRecord(out, at);
}

void appendIgnore(std::string& out, int dropped, int32_t testTime) {
    const size_t at = beginRecord(out, KindIgnore);
    putI32(out, dropped);
    putI32(out, testTime);
    finishRecord(out, at);
}

void appendCalibration(std::string& out, const TestRecord& test) {
    const size_t at = beginRecord(out, KindCalibration);
    putI32(out, test.testTime);
    for (float off : test.repetitions[0].channelOffset) putF32(out, off);
    finishRecord(out, at);
}

std::optional<Record> decodeRecord(const unsigned char* body, size_t n) {
    if (n < 1) return std::nullopt;
    BodyReader in(body + 1, n - 1);
    switch (body[0]) {
        case KindSubject: return decodeSubject(in);
        case KindAttempt: return decodeAttempt(in);
        case KindIgnore: return decodeIgnore(in);
        case KindCalibration: return decodeCalibration(in);
        default: return std::nullopt;
    }
}

}  // namespace vanta::journal_format
