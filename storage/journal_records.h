// The session journal's records as values: encoded by the writer, decoded by the reader
// before anything is applied (storage/journal_format.h gives the bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "core/records.h"

namespace vanta::journal_format {

struct SubjectEntry {
    int32_t testTime = 0;
    SubjectInfo subject;
    std::string subjectId;  // the register's permanent id; empty when not known
};

// An attempt's fields; its samples stay where they lie in the record's body.
struct AttemptEntry {
    int32_t index = 0;
    int32_t testTime = 0;
    RepetitionRecord header;  // direction, offsets, load, radius, sample count; no samples
    const unsigned char* samples = nullptr;  // header.sampleCount samples as the file holds them
};

struct IgnoreEntry {
    int32_t dropped = 0;
    int32_t testTime = 0;
};

struct CalibrationEntry {
    int32_t testTime = 0;
    float offsets[kChannelCount] = {};
};

using Record = std::variant<SubjectEntry, AttemptEntry, IgnoreEntry, CalibrationEntry>;

// Appends one whole record (head and body) to `out`.
void appendSubject(std::string& out, const SubjectInfo& subject, const std::string& subjectId, int32_t testTime);
void appendAttempt(std::string& out, const TestRecord& test, int index);
void appendIgnore(std::string& out, int dropped, int32_t testTime);
void appendCalibration(std::string& out, const TestRecord& test);

// The record of a body whose checksum fitted; nullopt when its kind is unknown or its
// fields do not fill the body exactly (damage). `body` must outlive an AttemptEntry.
std::optional<Record> decodeRecord(const unsigned char* body, size_t n);

}  // namespace vanta::journal_format
