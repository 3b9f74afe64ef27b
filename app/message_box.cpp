#include "app/message_box.h"

#include <QMessageBox>

namespace vanta {

namespace {
void showBox(QMessageBox::Icon icon, QWidget* parent, const QString& text, const QString& detail) {
    QMessageBox box(icon, QString::fromLatin1(kMessageCaption), text, QMessageBox::Ok, parent);
    if (!detail.isEmpty()) box.setDetailedText(detail);
    box.exec();
}
}  // namespace

void showMessageBox(QWidget* parent, const QString& text, const QString& detail) {
    showBox(QMessageBox::Warning, parent, text, detail);
}

void showNoticeBox(QWidget* parent, const QString& text, const QString& detail) {
    showBox(QMessageBox::Information, parent, text, detail);
}

}  // namespace vanta
