#include "app/qt_lab_archive.h"

#include <QMetaObject>

#include "archive/lab_reader.h"
#include "archive/local_outbox.h"

namespace vanta {

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
    reader_->subjectTests(subjectId, name, backHome(std::move(done)));
}

void QtLabArchive::listTests(Done done) {
    reader_->list({}, backHome(std::move(done)));
}

void QtLabArchive::fetch(const std::string& sha256, Done done) {
    reader_->fetch(sha256, backHome(std::move(done)));
}

void QtLabArchive::findSubjects(const std::string& name, Done done) {
    reader_->findSubjects(name, backHome(std::move(done)));
}

void QtLabArchive::storeSubject(const RegisteredSubject& subject, Done done) {
    reader_->storeSubjects({archive::archivedSubject(subject)}, backHome(std::move(done)));
}

void QtLabArchive::mergeSubjects(const RegisteredSubject& keep, const RegisteredSubject& gone, Done done) {
    reader_->mergeSubjects(archive::archivedSubject(keep), archive::archivedSubject(gone),
                           backHome(std::move(done)));
}

}  // namespace vanta
