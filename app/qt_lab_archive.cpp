#include "app/qt_lab_archive.h"

#include <QMetaObject>

#include "archive/lab_reader.h"
#include "archive/local_outbox.h"

namespace vanta {

namespace {

LabArchiveAnswer fromReader(archive::LabAnswer a) {
    LabArchiveAnswer out;
    out.ok = a.ok;
    out.tests = std::move(a.tests);
    out.bytes = std::move(a.bytes);
    out.subjects = std::move(a.subjects);
    out.reason = std::move(a.reason);
    return out;
}

}  // namespace

QtLabArchive::QtLabArchive(const std::string& connection, QObject* parent)
    : QObject(parent), reader_(std::make_unique<archive::LabArchiveReader>(connection)) {}

// The reader goes first: its thread ends before the object its answers are posted to.
QtLabArchive::~QtLabArchive() { reader_.reset(); }

std::function<void(LabArchiveAnswer)> QtLabArchive::backHome(Done done) {
    return [this, done = std::move(done)](LabArchiveAnswer answer) {
        QMetaObject::invokeMethod(
            this, [done, answer = std::move(answer)]() mutable { done(std::move(answer)); }, Qt::QueuedConnection);
    };
}

void QtLabArchive::subjectTests(const std::string& subjectId, const std::string& name, Done done) {
    auto home = backHome(std::move(done));
    reader_->subjectTests(subjectId, name, [home](archive::LabAnswer a) { home(fromReader(std::move(a))); });
}

void QtLabArchive::listTests(Done done) {
    auto home = backHome(std::move(done));
    reader_->list({}, [home](archive::LabAnswer a) { home(fromReader(std::move(a))); });
}

void QtLabArchive::fetch(const std::string& sha256, Done done) {
    auto home = backHome(std::move(done));
    reader_->fetch(sha256, [home](archive::LabAnswer a) { home(fromReader(std::move(a))); });
}

void QtLabArchive::findSubjects(const std::string& name, Done done) {
    auto home = backHome(std::move(done));
    reader_->findSubjects(name, [home](archive::LabAnswer a) { home(fromReader(std::move(a))); });
}

void QtLabArchive::storeSubject(const RegisteredSubject& subject, Done done) {
    auto home = backHome(std::move(done));
    reader_->storeSubjects({archive::archivedSubject(subject)},
                           [home](archive::LabAnswer a) { home(fromReader(std::move(a))); });
}

void QtLabArchive::mergeSubjects(const RegisteredSubject& keep, const RegisteredSubject& gone, Done done) {
    auto home = backHome(std::move(done));
    reader_->mergeSubjects(archive::archivedSubject(keep), archive::archivedSubject(gone),
                           [home](archive::LabAnswer a) { home(fromReader(std::move(a))); });
}

}  // namespace vanta
