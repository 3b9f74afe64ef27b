#include "app/qt_operator_dialogs.h"

#include <QFileDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QStatusBar>

#include "app/about_dialog.h"
#include "app/message_box.h"
#include "app/screens/axes_dialog.h"
#include "app/subjects/subject_dialog.h"
#include "app/subjects/subject_mode_dialog.h"

namespace vanta {

namespace {
QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

void QtOperatorDialogs::message(std::string_view text, std::string_view detail) {
    showMessageBox(parent_, toQString(text), toQString(detail));
}

void QtOperatorDialogs::notice(std::string_view text, std::string_view detail) {
    showNoticeBox(parent_, toQString(text), toQString(detail));
}

bool QtOperatorDialogs::askYesNo(std::string_view text, Answer defaultAnswer) {
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kMessageCaption), toQString(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(defaultAnswer == Answer::No ? QMessageBox::No : QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

Answer QtOperatorDialogs::askYesNoCancel(std::string_view text) {
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kMessageCaption), toQString(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent_);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::No: return Answer::No;
        default: return Answer::Cancel;  // Cancel, Esc, the box's close button
    }
}

void QtOperatorDialogs::showStatus(std::string_view text) {
    auto* frame = parent_ ? qobject_cast<QMainWindow*>(parent_->window()) : nullptr;
    if (frame) frame->statusBar()->showMessage(toQString(text));
}

std::optional<std::string> QtOperatorDialogs::chooseFileToOpen(const std::string& initialDirectory) {
    QFileDialog dlg(parent_, QString(), QString::fromStdString(initialDirectory),
                    QString::fromLatin1(kTestFileFilter));
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setDefaultSuffix(QString::fromLatin1(kTestFileSuffix));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
    return dlg.selectedFiles().constFirst().toStdString();
}

std::optional<std::string> QtOperatorDialogs::chooseFileToSave(const std::string& proposedPath,
                                                               const std::string& initialDirectory) {
    QFileDialog dlg(parent_, QString(), QString::fromStdString(initialDirectory),
                    QString::fromLatin1(kTestFileFilter));
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setDefaultSuffix(QString::fromLatin1(kTestFileSuffix));
    dlg.setOption(QFileDialog::DontConfirmOverwrite, false);  // asks before replacing a file
    if (!proposedPath.empty()) dlg.selectFile(QString::fromStdString(proposedPath));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
    return dlg.selectedFiles().constFirst().toStdString();
}

bool QtOperatorDialogs::editSubject(SubjectInfo& subject) { return SubjectDialog::edit(subject, parent_); }

bool QtOperatorDialogs::editSubjectMode(uint8_t& subjectLibraryMode) {
    return SubjectModeDialog::edit(subjectLibraryMode, parent_);
}

bool QtOperatorDialogs::editGraphSettings(GraphSettings& settings) { return AxesDialog::edit(settings, parent_); }

void QtOperatorDialogs::showAbout() {
    AboutDialog dlg(parent_);
    dlg.exec();
}

}  // namespace vanta
