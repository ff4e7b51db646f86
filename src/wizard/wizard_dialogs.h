// wizard_dialogs.h: the internal-error, continue/abort, overwrite and waiting dialogs.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QString>
#include <QTimer>
#include <array>
#include <functional>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QPushButton;

/// The internal error: the text, "Send bug" (default, result 1112), "OK" (1) and "Copy to
/// clipboard" (1108). Escape and the close box do nothing.
class dlg_error_ex : public QDialog
{
    Q_OBJECT
public:
    static constexpr int send_bug_result = 1112;
    static constexpr int ok_result = 1;
    static constexpr int copy_result = 1108;

    /// `send_bug` gets the product title and the text.
    using send_bug_fn = std::function<void(const QString& title, const QString& text)>;

    /// `caption`: the shell's title + " Error", or "Error"; `product_title`: the shell's title
    /// (empty before the shell is initialised).
    dlg_error_ex(QWidget* owner, const QString& text, const QString& caption,
                 const QString& product_title, send_bug_fn send_bug);

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QString m_text;
    QString m_product_title;
    send_bug_fn m_send_bug;
};

/// A failure the run may go on after: "Continue" (default, result 2) and "Abort" (1), and "Do
/// not show this dialog box again". Escape and the close box mean Continue.
class dlg_error_continue : public QDialog
{
    Q_OBJECT
public:
    static constexpr int continue_result = 2;
    static constexpr int abort_result = 1;

    dlg_error_continue(QWidget* owner, const QString& text, const QString& caption);

    /// The check box's state, kept whichever button ends the dialog.
    bool do_not_show() const { return m_do_not_show; }

    void reject() override;

private:
    bool m_do_not_show = false;
};

/// What to do with an existing destination database: four modes (0 overwrite the database, 1
/// overwrite tables, 2 skip tables, 3 merge), OK (result 1), Cancel (2, mode unchanged) and Help,
/// which opens the dialog's topic and leaves the dialog open. Beeps when it opens.
class overwrite_dlg2 : public QDialog
{
    Q_OBJECT
public:
    static constexpr int ok_result = 1;
    static constexpr int cancel_result = 2;

    using help_fn = std::function<void(int topic)>;

    /// `caption`: the shell's title + " Warning".
    overwrite_dlg2(QWidget* owner, int help_topic, const QString& text, const QString& caption,
                   help_fn help);

    int mode() const { return m_mode; }
    /// The radio of `mode` (0-3), for tests and keyboard users alike.
    QAbstractButton* mode_button(int mode) const;

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    int m_help_topic;
    int m_mode = 0;
    help_fn m_help;
    QButtonGroup* m_modes;
};

/// The waiting animation: a frameless modal box with an icon of eight frames changing every
/// `period` ms and the text of what it waits for. It never closes itself: only its worker ends
/// it (with a queued done()).
class dlg_animation : public QDialog
{
    Q_OBJECT
public:
    static constexpr int frame_count = 8;
    /// The texts of the two waits: the PostgreSQL lists and the SQL Server connection.
    static constexpr const char* pgs_text = "Connecting to PostgreSQL server. Please wait...";
    static constexpr const char* mssql_text = "Connecting to MS SQL server. Please wait...";

    dlg_animation(QWidget* owner, const QString& text, int period = 500);

    /// The frame on show: -1 before the dialog is shown, then 0-7.
    int frame() const { return m_frame; }
    /// The next frame, 7 wrapping to 0.
    void advance();
    QString text() const;

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    int m_period;
    int m_frame = -1;
    std::array<QPixmap, frame_count> m_frames;
    QLabel* m_icon;
    QLabel* m_text;
    QTimer m_timer;
};

/// The eight frames of the waiting animation, drawn at `size` pixels.
std::array<QPixmap, dlg_animation::frame_count> animation_frames(int size);
