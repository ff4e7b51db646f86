// plat_desktop.cpp: clipboard and mail hooks, and starting a helper program without a shell.
#include "plat/plat_desktop.h"

#include "plat/plat_err.h"

#include <cerrno>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace plat
{

namespace
{

// Hooks are installed once at start-up by a front-end; the mutex only keeps a late install from
// racing a worker thread that reports an error.
std::mutex g_hook_mutex;
clipboard_hook g_clipboard;
mail_hook g_mail;

} // namespace

void set_clipboard_hook(clipboard_hook hook)
{
    std::lock_guard lock(g_hook_mutex);
    g_clipboard = std::move(hook);
}

bool copy_to_clipboard(const std::wstring& text)
{
    clipboard_hook hook;
    {
        std::lock_guard lock(g_hook_mutex);
        hook = g_clipboard;
    }
    return hook ? hook(text) : false;
}

int run_program(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
    {
        set_last_error(EINVAL);
        return -1;
    }
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments)
    {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    const int error = ::posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
    if (error != 0)
    {
        set_last_error(error);
        return -1;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
    {
        if (errno != EINTR)
        {
            set_last_error(errno);
            return -1;
        }
    }
    if (!WIFEXITED(status))
    {
        return -1;
    }
    // posix_spawnp reports a missing program through the child's exit status 127.
    if (WEXITSTATUS(status) == 127)
    {
        set_last_error(ENOENT);
        return -1;
    }
    return WEXITSTATUS(status);
}

void set_mail_hook(mail_hook hook)
{
    std::lock_guard lock(g_hook_mutex);
    g_mail = std::move(hook);
}

int send_mail(const std::string& subject, const std::string& body, const std::string& recipient)
{
    mail_hook hook;
    {
        std::lock_guard lock(g_hook_mutex);
        hook = g_mail;
    }
    if (hook)
    {
        return hook(subject, body, recipient);
    }
    return run_program({"xdg-email", "--utf8", "--subject", subject, "--body", body, recipient});
}

} // namespace plat
