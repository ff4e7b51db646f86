// plat_fs.h: file-system services in the shape the system's Windows design expects of them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plat
{

/// A path split as the Windows runtime's _splitpath splits it. Paths here use '/' and have no
/// drive, so `drive` is always empty; it is kept so that joining the parts stays the same code.
struct path_parts
{
    std::string drive;
    std::string dir;  ///< everything up to and including the last '/'
    std::string name; ///< the last component without its extension
    std::string ext;  ///< from the last '.' of the last component, dot included
};

/// The running program's full path (from /proc/self/exe); empty, with last_error() set, when it
/// cannot be read. No length limit.
std::string module_path();

/// Splits a path; ".bashrc" has an empty name and the extension ".bashrc", as on Windows.
path_parts split_path(std::string_view path);

/// Joins parts as _makepath does: a '/' is added after a directory that lacks one and a '.'
/// before an extension that lacks one.
std::string make_path(const path_parts& parts);

/// The absolute, lexically normal form of `path` ("." and ".." folded, symbolic links left as
/// they are; an empty path is the working directory). Empty optional, with last_error() set, when
/// the working directory cannot be read or the path holds a NUL.
std::optional<std::string> full_path(std::string_view path);

/// True when `path` is a regular file that opens for reading, or with `write` for reading and
/// writing. With `write`, a file without any write bit in its mode counts as read-only even where
/// the process could override that (root), as the read-only attribute does on Windows.
/// Directories and other non-regular files answer false. Sets last_error() on false.
bool can_open(std::string_view path, bool write);

/// True when `path` is a directory the process may enter. Never changes the working directory.
bool is_dir(std::string_view path);

/// True when a file at `path` can be opened for appending, found without changing it: an
/// existing file (a device such as /dev/null included) is opened for writing and closed again,
/// a missing one is created and removed again. A directory answers false with EISDIR. Sets
/// last_error() on false.
bool can_append(std::string_view path);

/// The working directory; empty optional, with last_error() set, when it cannot be read.
std::optional<std::string> get_cwd();

/// Changes the working directory; false, with last_error() set, on failure.
bool change_dir(std::string_view path);

/// Replaces `path` by `content` so that readers see the old file or the new one, never a half
/// written one: a temporary file with `mode` from its creation, written, synced and renamed over
/// it. A failure leaves the old file whole and sets last_error().
bool write_file_atomically(const std::string& path, std::string_view content, unsigned mode);

} // namespace plat
