// plat_err.h: the thread's last system error, set by the platform layer as the system would.
#pragma once

#include <string>

namespace plat
{

/// The last error the layer recorded on this thread (an errno value; 0 when none).
int last_error();
void set_last_error(int code);

/// The system's text for an error code; empty when the system has none.
std::string error_text(int code);

} // namespace plat
