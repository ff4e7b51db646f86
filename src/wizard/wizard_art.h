// wizard_art.h: the wizard's pictures, drawn at run time: window icon, watermark and logo, and
// the watermark's stretch to the window's height.
#pragma once

#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QWizard>

/// The window icon: a database cylinder with an arrow.
QIcon window_icon();
/// The tall picture at the left of the welcome and finish pages, `height` pixels tall (the
/// column's height at the window's least size by default); the sky fills the height, the
/// drawing keeps its size and place.
QPixmap watermark_pixmap(int height = 414);

/// Keeps the watermark of the pages without a header as tall as the column it stands in, as a
/// stretched watermark does: Qt draws the picture at its own size and leaves the rest of a taller
/// column empty. Owned by the wizard it watches.
class watermark_stretch final : public QObject
{
public:
    explicit watermark_stretch(QWizard& wizard);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Draws the current page's watermark at its column's height.
    void fit();

    QWizard& m_wizard;
    /// The wizard's watermark column (a QLabel), found by the picture it shows. Held as a
    /// QObject: events still reach the filter while it is being destroyed.
    QPointer<QObject> m_label;
};
/// The small picture at the right of the inner pages' header.
QPixmap logo_pixmap();
