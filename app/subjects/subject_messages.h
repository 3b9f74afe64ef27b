// Where the subject dialogs and the subject register talk to the operator: the station's
// message box. Every dialog here takes a MessageHook, so a test can catch the texts
// instead of facing a modal box.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace vanta {

using MessageHook = std::function<void(QWidget* parent, const QString& text)>;

// The hook, or the station's message box when it is empty.
void tellOperator(const MessageHook& hook, QWidget* parent, const QString& text);
// The same with a detail apart from the fixed text (the hook gets both, one line each).
void tellOperator(const MessageHook& hook, QWidget* parent, const QString& text, const QString& detail);

}  // namespace vanta
