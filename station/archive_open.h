// File > "Open from archive...": what the dialog lists of each of the lab's tests, the
// search by subject, and where a test fetched from the lab's archive is put before it is
// opened as File > Open opens a file. No toolkit: the window's dialog shows these texts.
#pragma once

#include <string>
#include <vector>

#include "archive/archive_types.h"

namespace vanta {

// One line of the dialog's list.
struct LabTestRow {
    std::string subject;
    std::string date;     // local time, "2026-03-01 14:05"
    std::string loads;    // "10.00, 15.00 kg", each load group once
    std::string sides;    // "left", "right" or "left, right", as the station names them now
    std::string station;  // the station that recorded it
};
LabTestRow labTestRow(const archive::IndexedTest& test, bool sidesSwapped);

// True when the subject's name contains `search` in any case and with or without accents,
// as the register's search finds names ("novak" finds "Jan Novák"); an empty search
// finds every test.
bool subjectMatches(const std::string& subject, const std::string& search);

// The folder a fetched test goes into: in Extended mode the register's folder of the
// test's subject (by its permanent id, else the one subject of exactly its name), made if
// missing; otherwise, or when the register knows no such subject, `dataDirectory`.
std::string folderForFetchedTest(const archive::IndexedTest& test, bool extendedMode, const std::string& dataRoot,
                                 const std::string& dataDirectory);

// Writes a fetched test into `folder` under the file name it had on its station (else one
// made of its identity), never over an existing file: "a.kvq" taken, it becomes "a_2.kvq",
// "a_3.kvq", ... The bytes must be the test `sha256`; the file appears whole or not at all.
// False with `error` (nothing written).
bool storeFetchedTest(const std::string& bytes, const archive::IndexedTest& test, const std::string& folder,
                      std::string& path, std::string& error);

}  // namespace vanta
