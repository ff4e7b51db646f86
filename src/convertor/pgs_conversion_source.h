// pgs_conversion_source.h: the PostgreSQL engine as the converter's source side.
#pragma once

#include "convertor/conversion_sides.h"

class pgs_engine;

/// Opens source databases through the process's PostgreSQL engine (which reconnects to each).
class pgs_conversion_source final : public conversion_source
{
public:
    explicit pgs_conversion_source(pgs_engine& engine);

    /// A pgs_database opened as source; throws pgs_exception.
    std::unique_ptr<udb_database> open_db(const std::wstring& name,
                                          const std::wstring& schema) override;

private:
    pgs_engine& m_engine;
};
