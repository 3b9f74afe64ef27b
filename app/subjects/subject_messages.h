// The one place the subject dialogs and the subject register talk to the operator: a
// message box with the station's caption. Every dialog here takes a MessageHook, so a
// test can catch the texts instead of facing a modal box.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace vanta {

using MessageHook = std::function<void(QWidget* parent, const QString& text)>;

// A warning with OK, captioned "vanta_check".
void showSubjectMessage(QWidget* parent, const QString& text);

// The hook, or showSubjectMessage when it is empty.
void tellOperator(const MessageHook& hook, QWidget* parent, const QString& text);

}  // namespace vanta
