// udb_database_test.cpp: table lookups of the neutral database and the recordset's bookkeeping.
#include "ole/ole_exception.h"
#include "test_support.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "udb/udb_database.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace
{

class fake_recordset : public udb_recordset
{
public:
    using udb_recordset::udb_recordset;
    void append_record(udb_record& record) override { appended.push_back(record); }
    std::vector<udb_record> appended;
};

class fake_database : public udb_database
{
public:
    fake_database(bool case_sensitive, const std::vector<std::wstring>& tables)
        : udb_database(L"db", udb_open_mode::existing, case_sensitive)
    {
        for (const std::wstring& table : tables)
        {
            add_table_name(table);
        }
    }
    std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                                const udb_indexes& indexes) override
    {
        auto table = std::make_unique<fake_recordset>(name, 1);
        table->schema() = schema;
        table->indexes() = indexes;
        add_table_name(name);
        return table;
    }
    std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& sql,
                                             int) override
    {
        auto query = std::make_unique<fake_recordset>(name, 1);
        query->set_query(sql);
        return query;
    }
    std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int) override
    {
        return std::make_unique<fake_recordset>(name, 1);
    }
    bool test_query(const std::wstring&) override { return true; }
};

struct exist_case
{
    const char* label;
    bool case_sensitive;
    std::vector<std::wstring> tables;
    std::wstring name;
    bool expected;
};

class UdbDatabaseTableExists : public testing::TestWithParam<exist_case>
{
};

TEST_P(UdbDatabaseTableExists, FollowsTheSideCaseRule)
{
    const exist_case& c = GetParam();
    fake_database database(c.case_sensitive, c.tables);
    EXPECT_EQ(database.is_table_exist(c.name), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UdbDatabaseTableExists,
    testing::Values(exist_case{"PostgreSqlExact", true, {L"Orders"}, L"orders", false},
                    exist_case{"PostgreSqlSame", true, {L"Orders"}, L"Orders", true},
                    exist_case{"SqlServerOtherCase", false, {L"Orders"}, L"orders", true},
                    exist_case{"SqlServerNonLatin", false, {L"ÉTÉ"}, L"été", true},
                    exist_case{"PostgreSqlNonLatin", true, {L"ÉTÉ"}, L"été", false},
                    exist_case{"SchemaQualified", false, {L"public.a", L"s.b"}, L"S.B", true},
                    exist_case{"PrefixIsNotAMatch", false, {L"Orders"}, L"Order", false},
                    exist_case{"Empty", false, {}, L"x", false}),
    [](const testing::TestParamInfo<exist_case>& param_info) { return param_info.param.label; });

TEST(UdbDatabase, DeleteTabRemovesOnlyTheFirstMatch)
{
    const struct
    {
        bool case_sensitive;
        std::wstring name;
        bool result;
        std::vector<std::wstring> left;
    } cases[] = {{false, L"b", true, {L"a", L"b", L"B"}},
                 {true, L"b", true, {L"a", L"B", L"B"}},
                 {true, L"c", false, {L"a", L"B", L"b", L"B"}},
                 {false, L"A", true, {L"B", L"b", L"B"}}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.case_sensitive << " " << c.name.size());
        fake_database database(c.case_sensitive, {L"a", L"B", L"b", L"B"});
        EXPECT_EQ(database.delete_tab(c.name), c.result);
        EXPECT_EQ(database.get_tables(), c.left);
    }
}

TEST(UdbDatabase, BaseSlotsKeepTheirDefaults)
{
    fake_database database(false, {L"t"});
    std::vector<std::wstring> schemas{L"left over"};
    database.get_schema_info(schemas);
    EXPECT_TRUE(schemas.empty());
    try
    {
        database.query(L"select 1");
        FAIL() << "no exception";
    }
    catch (const tk_mail_assertion& error)
    {
        // "udb_db\76" in hex.
        EXPECT_EQ(error.message(), "Internal error: \ncode=7564625f64625c3736");
    }
}

TEST(UdbDatabase, RecordsetsBelongToTheCaller)
{
    fake_database database(true, {});
    std::unique_ptr<udb_recordset> query = database.get_query(L"q", L"select 1", 1);
    std::unique_ptr<udb_recordset> table = database.get_table(L"t", 1);
    EXPECT_TRUE(query->is_query());
    EXPECT_FALSE(table->is_query());
    EXPECT_EQ(query->name(), L"q");
    EXPECT_EQ(query->query(), L"select 1");

    udb_schema schema;
    schema.adopt(std::make_unique<t_ftd>(4, L"id", VT_I4, true, true, ole_variant(), 0, L""));
    udb_indexes indexes;
    indexes.push_back({L"PK", true, true, {L"id"}});
    std::unique_ptr<udb_recordset> created = database.create_table(L"New", schema, indexes);
    schema = udb_schema();
    ASSERT_EQ(created->schema().size(), 1u);
    EXPECT_EQ(created->schema()[0]->name, L"id");
    EXPECT_EQ(created->indexes().size(), 1u);
    EXPECT_TRUE(database.is_table_exist(L"New"));
}

TEST(UdbRecordset, BaseReadsNothing)
{
    test_support::temp_dir dir;
    tk_logger logger(dir.file("r.log").c_str(), true, 1, false);
    fake_recordset recordset(L"t", 1);
    recordset.reset();
    EXPECT_TRUE(recordset.is_eof());
    EXPECT_EQ(recordset.get_item(), nullptr);
    recordset.next();
    udb_record record;
    recordset.update(record);
    EXPECT_EQ(recordset.record_count(), 0);
    EXPECT_EQ(recordset.key_index(), -1);
    EXPECT_EQ(recordset.schema().tag(), 1);
    EXPECT_EQ(test_support::read_file(dir.file("r.log")), "udb_recordset::update\r\n");
}

struct key_index_case
{
    const char* label;
    std::vector<udb_index> offered;
    int key_index;
    std::vector<udb_index> kept;
};

class UdbRecordsetKeyIndex : public testing::TestWithParam<key_index_case>
{
};

TEST_P(UdbRecordsetKeyIndex, IsTheFirstPrimaryOrUniqueIndexAdded)
{
    fake_recordset recordset(L"t", 1);
    for (const udb_index& index : GetParam().offered)
    {
        recordset.add_index(index);
    }
    EXPECT_EQ(recordset.key_index(), GetParam().key_index);
    EXPECT_EQ(recordset.indexes().items(), GetParam().kept);
}

const udb_index plain{L"IX_a", false, false, {L"a"}};
const udb_index unique{L"UX_b", true, false, {L"b"}};
const udb_index primary{L"PK", true, true, {L"id"}};
const udb_index primary_named_like_plain{L"ix_A", true, true, {L"id"}};

INSTANTIATE_TEST_SUITE_P(
    Cases, UdbRecordsetKeyIndex,
    testing::Values(
        key_index_case{"None", {}, -1, {}}, key_index_case{"OnlyPlain", {plain}, -1, {plain}},
        key_index_case{
            "PlainThenUniqueThenPrimary", {plain, unique, primary}, 1, {plain, unique, primary}},
        key_index_case{"PrimaryFirst", {primary, unique}, 0, {primary, unique}},
        key_index_case{"RepeatedNameNotOffered", {plain, primary_named_like_plain}, -1, {plain}}),
    [](const testing::TestParamInfo<key_index_case>& param_info)
    { return param_info.param.label; });

TEST(UdbRecordset, ConvertRecordPairsByPosition)
{
    fake_recordset recordset(L"t", 1);
    recordset.add_column(
        std::make_unique<t_ftd>(4, L"first", VT_I4, false, false, ole_variant(), 0, L""));
    recordset.add_column(
        std::make_unique<t_ftd>(10, L"second", VT_BSTR, false, false, ole_variant(), 0, L""));
    recordset.add_column(
        std::make_unique<t_ftd>(10, L"third", VT_R8, false, false, ole_variant(), 0, L""));

    udb_record record;
    record.add_field(std::make_unique<udb_field>(L"second", 0, ole_variant(L"42"), false, false));
    record.add_field(std::make_unique<udb_field>(L"first", 0, ole_variant(2.5), false, false));
    record.add_field(std::make_unique<udb_field>(L"third", 0, ole_variant(), false, false));
    recordset.convert_record(record);

    EXPECT_EQ(record[0]->get_type(), VT_I4);
    EXPECT_EQ(record[0]->to_long(), 42);
    EXPECT_EQ(record[1]->get_type(), VT_BSTR);
    EXPECT_EQ(record[1]->to_wstring(), L"2.5");
    EXPECT_EQ(record[2]->get_type(), VT_EMPTY);
    EXPECT_EQ(record[0]->name(), L"second");
}

TEST(UdbRecordset, ConvertRecordReportsAValueThatDoesNotFit)
{
    fake_recordset recordset(L"t", 1);
    recordset.add_column(
        std::make_unique<t_ftd>(4, L"n", VT_I4, false, false, ole_variant(), 0, L""));
    udb_record record;
    record.add_field(std::make_unique<udb_field>(L"n", 0, ole_variant(5000000000LL), false, false));
    EXPECT_THROW(recordset.convert_record(record), ole_cast_exception);
}

} // namespace
