// plat_err.cpp: the thread's last system error and its text.
#include "plat/plat_err.h"

#include <cstring>

namespace plat
{

namespace
{
thread_local int t_last_error = 0;
}

int last_error()
{
    return t_last_error;
}

void set_last_error(int code)
{
    t_last_error = code;
}

std::string error_text(int code)
{
    if (code == 0)
    {
        return {};
    }
    char buffer[256] = {};
    // The GNU strerror_r answers a pointer that may or may not be the buffer.
    const char* text = ::strerror_r(code, buffer, sizeof buffer);
    if (text == nullptr || std::strncmp(text, "Unknown error", 13) == 0)
    {
        return {};
    }
    return text;
}

} // namespace plat
