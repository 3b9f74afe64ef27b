#include "station/session_recovery.h"

#include <cstring>
#include <memory>

#include "core/analysis.h"
#include "reports/page_header.h"
#include "storage/session_journal.h"

namespace vanta {

std::string recoveryQuestion(const std::string& name, int32_t testTime, int attempts) {
    const std::string date = formatTime(testTime, "%d.%m.%Y %H:%M");
    return "Recover the unsaved test of " + (name.empty() ? std::string("(no name)") : name) + " from " + date + " (" +
           std::to_string(attempts) + (attempts == 1 ? " attempt" : " attempts") + ")?";
}

std::string deleteQuestion(const std::string& path) { return "Delete it? It stays in " + path + " otherwise."; }

void tellJournalFailure(Station& station, OperatorDialogs& dialogs) {
    if (!station.journal.takeWarning()) return;
    dialogs.message(kMsgJournalNotWritten, station.journal.path() + ": " + std::strerror(station.journal.error()));
}

bool recoverUnsavedTests(Station& station, OperatorDialogs& dialogs) {
    if (station.journal.folder().empty()) return false;
    for (const JournalEntry& entry : listJournals(station.journal.folder())) {
        if (entry.held) continue;
        // Held while the operator decides, so that a station starting meanwhile leaves it.
        JournalClaim claim(entry.path);
        if (!claim.claimed()) continue;
        auto test = std::make_unique<TestRecord>();
        const JournalReading reading = readJournalFd(claim.fd(), test.get());
        if (!reading.isJournal) continue;
        if (reading.attempts == 0) {
            claim.remove();
            continue;
        }
        if (dialogs.askYesNo(recoveryQuestion(test->subject.name, test->testTime, reading.attempts))) {
            TestRecord& into = station.test;
            into.subject = test->subject;
            into.testTime = test->testTime;
            into.repetitionCount = reading.attempts;
            for (int r = 0; r < reading.attempts; ++r) {
                RepetitionRecord& to = into.repetitions[static_cast<size_t>(r)];
                RepetitionRecord& from = test->repetitions[static_cast<size_t>(r)];
                to.direction = from.direction;
                std::copy(from.channelOffset, from.channelOffset + kChannelCount, to.channelOffset);
                to.loadMass = from.loadMass;
                to.radius = from.radius;
                to.sampleCount = from.sampleCount;
                to.raw.swap(from.raw);
            }
            analyseRepetitions(into, into.repetitionCount);
            into.saved = 0;
            station.resultsAvailable = 1;
            station.lastFilePath.clear();
            station.journal.adopt(claim.release(), entry.path, into, reading.end);
            return true;
        }
        if (dialogs.askYesNo(deleteQuestion(entry.path))) claim.remove();
    }
    return false;
}

}  // namespace vanta
