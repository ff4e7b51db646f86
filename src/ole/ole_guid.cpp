// ole_guid.cpp: finding a braced GUID inside a longer text.
#include "ole/ole_guid.h"

#include "tk/tk_logger.h"

namespace
{

constexpr std::size_t guid_length = 38;

bool is_hex(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// Only the full shape counts: any other brace after "guid" (JSON, say) is not a GUID, and a
// shorter rest of text cannot be cut into one.
bool is_braced_guid(const std::wstring& text, std::size_t at)
{
    if (at + guid_length > text.size() || text[at] != L'{' || text[at + 37] != L'}')
    {
        return false;
    }
    for (std::size_t offset = 1; offset < 37; ++offset)
    {
        const wchar_t c = text[at + offset];
        const bool dash_place = offset == 9 || offset == 14 || offset == 19 || offset == 24;
        if (dash_place ? c != L'-' : !is_hex(c))
        {
            return false;
        }
    }
    return true;
}

int index_or_minus_one(std::size_t pos)
{
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

} // namespace

ole_guid_extractor::ole_guid_extractor(const std::wstring& searched)
    : text(searched)
{
    tk_wlog(1, L"ole_guid_extractor::ctor(%s)", text);
    if (text.size() < 45)
    {
        return;
    }
    const std::size_t lower = text.find(L"guid");
    const std::size_t upper = text.find(L"GUID");
    tk_log(1, "Locating 'guid' (%d : %d)", index_or_minus_one(lower), index_or_minus_one(upper));
    const std::size_t anchor = lower != std::wstring::npos ? lower : upper;
    if (anchor == std::wstring::npos)
    {
        return;
    }
    for (std::size_t brace = text.find(L'{', anchor + 4); brace != std::wstring::npos;
         brace = text.find(L'{', brace + 1))
    {
        if (is_braced_guid(text, brace))
        {
            position = static_cast<int>(brace);
            found = true;
            return;
        }
    }
}

std::wstring ole_guid_extractor::get() const
{
    return found ? text.substr(static_cast<std::size_t>(position), guid_length) : std::wstring();
}

std::wstring ole_guid_extractor::get_hex_digits() const
{
    if (!found)
    {
        return {};
    }
    const auto at = static_cast<std::size_t>(position);
    return text.substr(at + 1, 8) + text.substr(at + 10, 4) + text.substr(at + 15, 4) +
           text.substr(at + 20, 4) + text.substr(at + 25, 12);
}
