#include "app/subjects/subject_messages.h"

#include "app/message_box.h"

namespace vanta {

void tellOperator(const MessageHook& hook, QWidget* parent, const QString& text) {
    if (hook)
        hook(parent, text);
    else
        showMessageBox(parent, text);
}

void tellOperator(const MessageHook& hook, QWidget* parent, const QString& text, const QString& detail) {
    if (hook)
        hook(parent, text + QLatin1Char('\n') + detail);
    else
        showMessageBox(parent, text, detail);
}

}  // namespace vanta
