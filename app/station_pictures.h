// The station's own pictures, drawn in code: the 19 x 17 toolbar button images and the
// 120 x 90 picture of the About box.
#pragma once

#include <QPixmap>

namespace vanta {

inline constexpr int kButtonImageWidth = 19;
inline constexpr int kButtonImageHeight = 17;
inline constexpr int kAboutPictureWidth = 120;
inline constexpr int kAboutPictureHeight = 90;

// The image of a toolbar command; a null pixmap for a command without a button.
QPixmap toolbarImage(int commandId);

// Bitmap 131: a barbell over the arc of a trunk rotation.
QPixmap aboutPicture();

}  // namespace vanta
