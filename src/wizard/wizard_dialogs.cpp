// wizard_dialogs.cpp: the wizard's own modal dialogs.
#include "wizard/wizard_dialogs.h"

#include "tk/tk_error_report.h"
#include "tk/tk_logger.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>
#include <cmath>
#include <numbers>

namespace
{

/// The standard icon at its usual size and the message beside it, word-wrapped.
QHBoxLayout* icon_and_text(QWidget* dialog, QStyle::StandardPixmap icon, const QString& text)
{
    auto* row = new QHBoxLayout;
    auto* icon_label = new QLabel(dialog);
    const int extent = dialog->style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    icon_label->setPixmap(dialog->style()->standardIcon(icon).pixmap(extent, extent));
    icon_label->setAlignment(Qt::AlignTop);
    row->addWidget(icon_label);
    auto* text_label = new QLabel(text, dialog);
    text_label->setObjectName("text_label");
    text_label->setWordWrap(true);
    text_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text_label->setMinimumWidth(320);
    row->addWidget(text_label, 1);
    return row;
}

QPushButton* add_button(QDialogButtonBox* box, const QString& text, const char* name)
{
    QPushButton* button = box->addButton(text, QDialogButtonBox::ActionRole);
    button->setObjectName(name);
    return button;
}

} // namespace

dlg_error_ex::dlg_error_ex(QWidget* owner, const QString& text, const QString& caption,
                           const QString& product_title, send_bug_fn send_bug)
    : QDialog(owner)
    , m_text(text)
    , m_product_title(product_title)
    , m_send_bug(std::move(send_bug))
{
    tk_log(1, "dlg_error_ex::ctor");
    setWindowTitle(caption);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(icon_and_text(this, QStyle::SP_MessageBoxCritical, text));
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* send = add_button(buttons, "Send bug", "send_bug_button");
    QPushButton* ok = add_button(buttons, "OK", "ok_button");
    QPushButton* copy = add_button(buttons, "Copy to clipboard", "copy_button");
    send->setDefault(true);
    send->setFocus();
    layout->addWidget(buttons);
    connect(send, &QPushButton::clicked, this,
            [this]
            {
                if (m_send_bug)
                {
                    m_send_bug(m_product_title, m_text);
                }
                done(send_bug_result);
            });
    connect(ok, &QPushButton::clicked, this, [this] { done(ok_result); });
    connect(copy, &QPushButton::clicked, this,
            [this]
            {
                tk_copy_to_clipboard2(m_text.toStdWString());
                done(copy_result);
            });
}

void dlg_error_ex::reject()
{
    // The report must be acknowledged by a button: Escape does nothing.
}

void dlg_error_ex::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

dlg_error_continue::dlg_error_continue(QWidget* owner, const QString& text, const QString& caption)
    : QDialog(owner)
{
    tk_log(1, "dlg_error_continue::ctor");
    setWindowTitle(caption);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(icon_and_text(this, QStyle::SP_MessageBoxCritical, text));
    auto* check = new QCheckBox("&Do not show this dialog box again", this);
    check->setObjectName("do_not_show_check_box");
    layout->addWidget(check);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* go_on = add_button(buttons, "Continue", "continue_button");
    QPushButton* abort = add_button(buttons, "Abort", "abort_button");
    go_on->setDefault(true);
    go_on->setFocus();
    layout->addWidget(buttons);
    connect(check, &QCheckBox::toggled, this, [this](bool on) { m_do_not_show = on; });
    connect(go_on, &QPushButton::clicked, this, [this] { done(continue_result); });
    connect(abort, &QPushButton::clicked, this, [this] { done(abort_result); });
}

void dlg_error_continue::reject()
{
    done(continue_result);
}

overwrite_dlg2::overwrite_dlg2(QWidget* owner, int help_topic, const QString& text,
                               const QString& caption, help_fn help)
    : QDialog(owner)
    , m_help_topic(help_topic)
    , m_help(std::move(help))
    , m_modes(new QButtonGroup(this))
{
    tk_log(1, "overwrite_dlg2::ctor");
    setWindowTitle(caption);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(icon_and_text(this, QStyle::SP_MessageBoxWarning, text));
    const char* const labels[] = {"&Overwrite the entire database",
                                  "Overwrite existing &tables only", "&Skip existing tables",
                                  "&Merge"};
    for (int mode_idx = 0; mode_idx < 4; ++mode_idx)
    {
        auto* radio = new QRadioButton(labels[mode_idx], this);
        radio->setObjectName(QString("mode_%1_radio").arg(mode_idx));
        m_modes->addButton(radio, mode_idx);
        layout->addWidget(radio);
    }
    m_modes->button(0)->setChecked(true);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    QPushButton* help_button = buttons->addButton(QDialogButtonBox::Help);
    ok->setObjectName("ok_button");
    cancel->setObjectName("cancel_button");
    help_button->setObjectName("help_button");
    ok->setDefault(true);
    layout->addWidget(buttons);
    connect(ok, &QPushButton::clicked, this,
            [this]
            {
                m_mode = m_modes->checkedId();
                done(ok_result);
            });
    connect(cancel, &QPushButton::clicked, this, [this] { done(cancel_result); });
    // The box's own helpRequested would also do; the button's click keeps the dialog open.
    connect(help_button, &QPushButton::clicked, this,
            [this]
            {
                if (m_help)
                {
                    m_help(m_help_topic);
                }
            });
}

QAbstractButton* overwrite_dlg2::mode_button(int mode) const
{
    return m_modes->button(mode);
}

void overwrite_dlg2::reject()
{
    done(cancel_result);
}

void overwrite_dlg2::showEvent(QShowEvent* event)
{
    tk_log(1, "overwrite_dlg2::on_init");
    QDialog::showEvent(event);
    QApplication::beep();
}

std::array<QPixmap, dlg_animation::frame_count> animation_frames(int size)
{
    // Eight dots on a circle; the bright one moves a step further in each frame.
    std::array<QPixmap, dlg_animation::frame_count> frames;
    for (int frame_idx = 0; frame_idx < dlg_animation::frame_count; ++frame_idx)
    {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const double centre = size / 2.0;
        const double radius = size * 0.36;
        const double dot = size * 0.11;
        for (int dot_idx = 0; dot_idx < dlg_animation::frame_count; ++dot_idx)
        {
            const double angle = 2 * std::numbers::pi * dot_idx / dlg_animation::frame_count;
            const int age =
                (frame_idx - dot_idx + dlg_animation::frame_count) % dlg_animation::frame_count;
            QColor colour(32, 96, 176);
            colour.setAlphaF(1.0 - age * 0.11);
            painter.setPen(Qt::NoPen);
            painter.setBrush(colour);
            painter.drawEllipse(
                QPointF(centre + radius * std::sin(angle), centre - radius * std::cos(angle)), dot,
                dot);
        }
        frames[frame_idx] = pixmap;
    }
    return frames;
}

dlg_animation::dlg_animation(QWidget* owner, const QString& text, int period)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint)
    , m_period(period)
    , m_frames(animation_frames(32))
    , m_icon(new QLabel(this))
    , m_text(new QLabel(text, this))
{
    setModal(true);
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Panel);
    frame->setFrameShadow(QFrame::Raised);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);
    auto* row = new QHBoxLayout(frame);
    row->setContentsMargins(16, 12, 20, 12);
    row->setSpacing(14);
    m_icon->setObjectName("animation_icon");
    m_icon->setFixedSize(32, 32);
    m_text->setObjectName("text_label");
    row->addWidget(m_icon);
    row->addWidget(m_text, 1);
    m_timer.setInterval(m_period);
    connect(&m_timer, &QTimer::timeout, this, &dlg_animation::advance);
}

QString dlg_animation::text() const
{
    return m_text->text();
}

void dlg_animation::advance()
{
    m_frame = (m_frame + 1) % frame_count;
    m_icon->setPixmap(m_frames[static_cast<std::size_t>(m_frame)]);
}

void dlg_animation::reject()
{
    // Only the worker ends the wait.
}

void dlg_animation::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_frame = 0;
    m_icon->setPixmap(m_frames[0]);
    m_timer.start();
}

void dlg_animation::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    m_frame = -1;
    QDialog::hideEvent(event);
}

void dlg_animation::closeEvent(QCloseEvent* event)
{
    // Alt+F4 must not end the wait either; done() from the worker hides the dialog directly.
    event->ignore();
}
