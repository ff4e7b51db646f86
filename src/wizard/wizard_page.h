// wizard_page.h: the base of every wizard page: activation, Next, Back, Cancel, help, tick.
#pragma once

#include <QString>
#include <QWizardPage>
#include <functional>
#include <span>
#include <string>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class vandrel_convertor;
class wizard_prompts;
class wizard_shell;

/// A wizard page. The shell calls activate() on every visit (forward and Back alike), so
/// page_init() always fills the controls from the converter. Next asks on_next() (0 moves on,
/// -1 keeps the page), Back calls on_back(), Cancel asks on_cancel(). No exception leaves any of
/// these: a tk_exception goes to the error handler, any other is shown as an error box.
class wizard_page : public QWizardPage
{
    Q_OBJECT
public:
    /// `title` and `subtitle` empty: a watermark page without header. `has_help` false: the
    /// Help button is disabled on this page and F1 does nothing.
    wizard_page(const QString& title, const QString& subtitle, int help_topic,
                bool has_help = true);
    ~wizard_page() override;

    int help_topic() const { return m_help_topic; }
    bool has_help() const { return m_has_help; }

    /// The activation: buttons, the shell's first-page set-up, then page_init().
    void activate();

    /// Fills the controls from the converter; runs on every activation.
    virtual bool page_init() { return true; }
    /// Next: 0 lets the wizard move on, -1 keeps the page.
    virtual int on_next() { return 0; }
    /// Back: stores the fields; the answer is ignored (Back cannot be refused).
    virtual int on_back() { return 0; }
    /// Cancel: true lets the wizard close. Asks "Are you sure you want to exit the wizard?"
    /// with No as the default.
    virtual bool on_cancel();
    /// F1 and Help: the page's topic (help_topic::none opens the index).
    virtual void page_on_help();
    /// The shell's progress timer.
    virtual void tick() {}
    /// The box write_log appends to; null when the page has none.
    virtual QPlainTextEdit* log_box() { return nullptr; }
    /// Stops (cooperatively) and joins the page's worker, if it has one; the shell calls it for
    /// every page before any page or the shell is destroyed. Never throws.
    virtual void join_worker() {}

    /// The hooks wrapped so that no exception leaves them (see the class comment).
    bool guarded_on_cancel();
    void guarded_on_help();
    void guarded_tick();

    bool validatePage() final;
    /// Back: stores through on_back(); the base's field reset is not wanted. Nothing while the
    /// wizard is being left (wizard_shell::leaving).
    void cleanupPage() final;

protected:
    /// Runs `work` the way every slot must: a tk_exception goes to the error handler (final
    /// stage), any other exception is shown with the shell's error box. False when it threw.
    bool run_guarded(const std::function<void()>& work);

    wizard_shell& shell() const;
    vandrel_convertor& converter() const;
    wizard_prompts& prompts() const;

    /// Turns a check box over (checked becomes unchecked, anything else checked).
    void invert_chbox(QCheckBox* box);
    /// Enables or disables a control; an enabled control also gets the focus.
    void enable_ctrl(QWidget* control, bool on);
    /// A text field named `name` that takes up to 259 characters; `secret` hides what is typed.
    static QLineEdit* line_edit(QWidget* parent, const char* name, bool secret = false);
    /// The large bold font of the watermark pages' titles (13 pt).
    static QFont title_font();

private:
    int m_help_topic;
    bool m_has_help;
};

/// Shows a caught exception the way the wizard does: a tk_exception goes to the error handler
/// (final stage), any other std::exception to the shell's error box. Never throws.
void show_caught(std::exception_ptr failure);

struct tk_error_pair;
class tk_exception;

/// The text `table` gives the error's code, else the error's own text.
std::string mapped_error_text(std::span<const tk_error_pair> table, const tk_exception& error);
