// wizard_art.h: the wizard's pictures, drawn at run time: window icon, watermark and logo.
#pragma once

#include <QIcon>
#include <QPixmap>

/// The window icon: a database cylinder with an arrow.
QIcon window_icon();
/// The tall picture at the left of the welcome and finish pages.
QPixmap watermark_pixmap();
/// The small picture at the right of the inner pages' header.
QPixmap logo_pixmap();
