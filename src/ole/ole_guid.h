// ole_guid.h: finding a braced GUID inside a longer text.
#pragma once

#include <string>

/// Looks, in a text of at least 45 characters, for "guid" (else "GUID") and after it for a
/// well-formed braced GUID "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (hexadecimal digits).
class ole_guid_extractor
{
public:
    /// The index of the GUID's opening brace once found; -1 otherwise.
    int position = -1;
    /// The searched text.
    std::wstring text;
    bool found = false;

    explicit ole_guid_extractor(const std::wstring& searched);

    /// The 38 characters of the braced GUID when found, else an empty text.
    std::wstring get() const;
    /// The GUID's 32 hexadecimal digits without braces and dashes when found, else empty.
    std::wstring get_hex_digits() const;
};
