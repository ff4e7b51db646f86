// wizard_art.cpp: drawing the wizard's pictures with QPainter, so no image files are shipped.
#include "wizard/wizard_art.h"

#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QWizardPage>
#include <algorithm>

namespace
{

/// A database cylinder in `rect`.
void draw_cylinder(QPainter& painter, const QRectF& rect, const QColor& body)
{
    const double cap = rect.height() * 0.22;
    QPainterPath side;
    side.moveTo(rect.left(), rect.top() + cap / 2);
    side.lineTo(rect.left(), rect.bottom() - cap / 2);
    side.arcTo(QRectF(rect.left(), rect.bottom() - cap, rect.width(), cap), 180, 180);
    side.lineTo(rect.right(), rect.top() + cap / 2);
    side.closeSubpath();
    QLinearGradient shade(rect.topLeft(), rect.topRight());
    shade.setColorAt(0, body.darker(130));
    shade.setColorAt(0.45, body.lighter(125));
    shade.setColorAt(1, body.darker(140));
    painter.setPen(QPen(body.darker(170), 1));
    painter.setBrush(shade);
    painter.drawPath(side);
    painter.setBrush(body.lighter(150));
    painter.drawEllipse(QRectF(rect.left(), rect.top(), rect.width(), cap));
}

void draw_arrow(QPainter& painter, const QPointF& from, const QPointF& to, double width,
                const QColor& colour)
{
    QPainterPath arrow;
    const double head = width * 1.6;
    arrow.moveTo(from.x(), from.y() - width / 2);
    arrow.lineTo(to.x() - head, to.y() - width / 2);
    arrow.lineTo(to.x() - head, to.y() - head);
    arrow.lineTo(to.x(), to.y());
    arrow.lineTo(to.x() - head, to.y() + head);
    arrow.lineTo(to.x() - head, to.y() + width / 2);
    arrow.lineTo(from.x(), from.y() + width / 2);
    arrow.closeSubpath();
    painter.setPen(QPen(colour.darker(150), 1));
    painter.setBrush(colour);
    painter.drawPath(arrow);
}

} // namespace

QIcon window_icon()
{
    QIcon icon;
    for (const int size : {16, 32, 48, 64})
    {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        draw_cylinder(painter, QRectF(size * 0.04, size * 0.1, size * 0.42, size * 0.8),
                      QColor(51, 103, 145));
        draw_cylinder(painter, QRectF(size * 0.54, size * 0.1, size * 0.42, size * 0.8),
                      QColor(204, 41, 39));
        draw_arrow(painter, QPointF(size * 0.2, size * 0.5), QPointF(size * 0.8, size * 0.5),
                   size * 0.12, QColor(250, 190, 40));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPixmap watermark_pixmap(int height)
{
    QPixmap pixmap(164, std::max(height, 1));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, pixmap.height());
    sky.setColorAt(0, QColor(22, 58, 105));
    sky.setColorAt(1, QColor(70, 130, 190));
    painter.fillRect(pixmap.rect(), sky);
    draw_cylinder(painter, QRectF(16, 150, 56, 84), QColor(51, 103, 145));
    draw_cylinder(painter, QRectF(92, 150, 56, 84), QColor(204, 41, 39));
    draw_arrow(painter, QPointF(46, 196), QPointF(120, 196), 10, QColor(250, 190, 40));
    painter.end();
    return pixmap;
}

QPixmap logo_pixmap()
{
    return window_icon().pixmap(48, 48);
}

watermark_stretch::watermark_stretch(QWizard& wizard)
    : QObject(&wizard)
    , m_wizard(wizard)
{
    // After the wizard has put the page's own picture up and laid the page out.
    connect(&wizard, &QWizard::currentIdChanged, this,
            [this] { QTimer::singleShot(0, this, [this] { fit(); }); });
}

bool watermark_stretch::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_label && event->type() == QEvent::Resize)
    {
        fit();
    }
    return QObject::eventFilter(watched, event);
}

void watermark_stretch::fit()
{
    const QWizardPage* page = m_wizard.currentPage();
    if (page == nullptr)
    {
        return;
    }
    const QPixmap watermark = page->pixmap(QWizard::WatermarkPixmap);
    if (watermark.isNull())
    {
        return;
    }
    auto* column = qobject_cast<QLabel*>(m_label.data());
    if (column == nullptr)
    {
        for (QLabel* label : m_wizard.findChildren<QLabel*>())
        {
            if (label->pixmap().cacheKey() == watermark.cacheKey())
            {
                column = label;
                m_label = label;
                // Its least height stays that of the page's own picture: a picture drawn for a
                // tall window must not keep the window from being made smaller again.
                label->setMinimumSize(watermark.size());
                label->installEventFilter(this);
                break;
            }
        }
        if (column == nullptr)
        {
            return;
        }
    }
    const int height = std::max(column->height(), watermark.height());
    if (column->pixmap().height() != height)
    {
        column->setPixmap(watermark_pixmap(height));
    }
}
