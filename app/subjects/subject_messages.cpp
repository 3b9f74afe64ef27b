#include "app/subjects/subject_messages.h"

#include <QMessageBox>

namespace vanta {

void showSubjectMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("vanta_check"), text, QMessageBox::Ok, parent);
    box.exec();
}

void tellOperator(const MessageHook& hook, QWidget* parent, const QString& text) {
    if (hook)
        hook(parent, text);
    else
        showSubjectMessage(parent, text);
}

}  // namespace vanta
