#include "app/message_box.h"

#include <QMessageBox>

namespace vanta {

void showMessageBox(QWidget* parent, const QString& text, const QString& detail) {
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kMessageCaption), text, QMessageBox::Ok, parent);
    if (!detail.isEmpty()) box.setDetailedText(detail);
    box.exec();
}

}  // namespace vanta
