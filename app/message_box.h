// The one message box of the station: a warning with OK, captioned "vanta_check" (a notice
// that something went well carries the information icon instead). The operator dialogs
// and the subject dialogs both show their messages through it.
#pragma once

#include <QString>

class QWidget;

namespace vanta {

inline constexpr const char* kMessageCaption = "vanta_check";

// `detail` (a file's path, a reason) goes into the box's detail text, apart from the
// station's fixed message; empty: no detail part.
void showMessageBox(QWidget* parent, const QString& text, const QString& detail = {});
// The same box with the information icon, for a notice that something went well.
void showNoticeBox(QWidget* parent, const QString& text, const QString& detail = {});

}  // namespace vanta
