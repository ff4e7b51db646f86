// oledb_link.cpp: the limit on the server's silence shared by every call that moves rows.
#include "plat/oledb/oledb_link.h"

#include <atomic>
#include <cstdlib>

namespace plat::oledb
{
namespace
{

constexpr std::chrono::milliseconds default_answer_limit{std::chrono::seconds(120)};
std::atomic<std::int64_t> answer_limit_ms{-1};

} // namespace

bool link_status::connection_gone() const
{
    for (const error_record& record : records)
    {
        if (record.sqlstate &&
            (record.sqlstate->starts_with(L"08") || *record.sqlstate == L"HYT00"))
        {
            return true;
        }
    }
    return false;
}

std::chrono::milliseconds answer_limit()
{
    std::int64_t limit = answer_limit_ms.load();
    if (limit < 0)
    {
        // A test-only setting for a program under test; anything else keeps the default.
        const char* text = std::getenv("ZOV_TEST_ANSWER_LIMIT_MS");
        limit = text != nullptr && *text != '\0' ? std::strtoll(text, nullptr, 10) : 0;
        limit = limit > 0 ? limit : default_answer_limit.count();
        answer_limit_ms = limit;
    }
    return std::chrono::milliseconds(limit);
}

void set_answer_limit(std::chrono::milliseconds limit)
{
    answer_limit_ms = limit.count();
}

unsigned answer_limit_seconds()
{
    return static_cast<unsigned>(
        std::max<std::int64_t>(1, std::chrono::ceil<std::chrono::seconds>(answer_limit()).count()));
}

} // namespace plat::oledb
