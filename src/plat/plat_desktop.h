// plat_desktop.h: the desktop services a front-end may provide: the clipboard and mail.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace plat
{

/// Puts text on the clipboard; answers false when no clipboard is there. The wizard installs a
/// hook backed by its GUI toolkit's clipboard; without one (the agent, tests) nothing is copied.
using clipboard_hook = std::function<bool(const std::wstring& text)>;
void set_clipboard_hook(clipboard_hook hook);
bool copy_to_clipboard(const std::wstring& text);

/// Starts a program with an argument vector (never through a shell) and waits for it. Answers
/// its exit status, or -1 when it cannot be started (last_error() set).
int run_program(const std::vector<std::string>& arguments);

/// Hands a mail to the desktop's mail program (xdg-email): answers its exit status, -1 when no
/// mail program could be started. A test may install a hook in its place.
using mail_hook = std::function<int(const std::string& subject, const std::string& body,
                                    const std::string& recipient)>;
void set_mail_hook(mail_hook hook);
int send_mail(const std::string& subject, const std::string& body, const std::string& recipient);

} // namespace plat
