// udb_record_test.cpp: ownership and lookups of records, fields, descriptors and schemas.
#include "test_support.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "udb/udb_record.h"
#include "udb/udb_recordset.h"
#include "udb/udb_schema.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>

namespace
{

std::unique_ptr<t_ftd> column(const std::wstring& name, VARTYPE vartype, int size = 4)
{
    return std::make_unique<t_ftd>(size, name, vartype, false, false, ole_variant(), 0, L"");
}

// A side's own descriptor and field, with state the base copy would lose.
struct engine_ftd : t_ftd
{
    std::wstring type_name;
    std::unique_ptr<t_ftd> clone() const override { return std::make_unique<engine_ftd>(*this); }
};

class engine_field : public udb_field
{
public:
    engine_field(const std::wstring& name, const ole_variant& field_value, std::wstring raw)
        : udb_field(name, 0, field_value, false, false)
        , raw_text(std::move(raw))
    {
    }
    std::unique_ptr<udb_field> clone() const override
    {
        return std::make_unique<engine_field>(*this);
    }
    std::wstring to_wstring() const override { return L"<" + raw_text + L">"; }
    std::wstring raw_text;
};

TEST(UdbRecord, CopiesAreDeepAndKeepDerivedFields)
{
    auto original = std::make_unique<udb_record>();
    original->add_field(std::make_unique<udb_field>(L"id", 4, ole_variant(7), true, true));
    original->add_field(std::make_unique<engine_field>(L"raw", ole_variant(L"x"), L"abc"));

    udb_record copy(*original);
    udb_record assigned;
    assigned.add_field(std::make_unique<udb_field>());
    assigned = copy;
    assigned = assigned;
    original.reset();

    for (const udb_record* record : {&copy, &assigned})
    {
        ASSERT_EQ(record->size(), 2u);
        EXPECT_EQ((*record)[0]->name(), L"id");
        EXPECT_EQ((*record)[0]->size(), 4);
        EXPECT_TRUE((*record)[0]->is_not_null());
        EXPECT_TRUE((*record)[0]->is_auto_num());
        EXPECT_EQ((*record)[0]->to_long(), 7);
        EXPECT_EQ((*record)[1]->to_wstring(), L"<abc>");
    }
    EXPECT_NE(copy[0].get(), assigned[0].get());
    copy[0]->assign_value(ole_variant(8));
    EXPECT_EQ(assigned[0]->to_long(), 7);

    udb_record moved(std::move(copy));
    EXPECT_EQ(moved.size(), 2u);
}

udb_record two_fields(const std::wstring& text)
{
    udb_record record;
    record.add_field(std::make_unique<udb_field>(L"id", 8, ole_variant(7), true, true));
    record.add_field(std::make_unique<udb_field>(L"label", 40, ole_variant(text), false, false));
    return record;
}

// A record given back holds no value (a megabyte must not wait in the pool); past its capacity
// a record is freed, and the last one given is the first taken.
TEST(UdbRecordPool, KeepsEmptiedRecordsUpToItsCapacity)
{
    udb_record_pool pool(2);
    const std::wstring large(1 << 20, L'x');
    for (const std::wstring& text : {large, std::wstring(L"b"), std::wstring(L"c")})
    {
        pool.give(two_fields(text));
    }
    EXPECT_EQ(pool.size(), 2u);

    udb_record record = two_fields(L"kept");
    const udb_field* kept_field = record[0].get();
    ASSERT_TRUE(pool.take(record));
    EXPECT_NE(record[0].get(), kept_field);
    ASSERT_EQ(record.size(), 2u);
    for (const std::unique_ptr<udb_field>& field : record)
    {
        EXPECT_EQ(field->get_type(), VT_EMPTY);
        EXPECT_LT(field->value.bstrVal.capacity(), large.size());
    }
    EXPECT_EQ(record[1]->name(), L"label");
    ASSERT_TRUE(pool.take(record));
    EXPECT_LT(record[1]->value.bstrVal.capacity(), large.size());

    const udb_field* last = record[0].get();
    EXPECT_FALSE(pool.take(record));
    EXPECT_EQ(record[0].get(), last);
}

// A refilled field is what the constructor makes with an empty value, whatever it held before.
TEST(UdbField, RefillIsTheConstructorWithAnEmptyValue)
{
    udb_field field(L"a much longer column name", 12, ole_variant(L"old text"), true, true);
    field.refill(L"id", 4, false, true);
    const udb_field made(L"id", 4, ole_variant(), false, true);
    EXPECT_EQ(field.name(), made.name());
    EXPECT_EQ(field.size(), made.size());
    EXPECT_EQ(field.is_not_null(), made.is_not_null());
    EXPECT_EQ(field.is_auto_num(), made.is_auto_num());
    EXPECT_EQ(field.get_type(), VT_EMPTY);
    EXPECT_EQ(field.to_wstring(), made.to_wstring());
}

TEST(UdbRecord, LookupsIgnoreCaseAndAbsentNamesGiveAnEmptyField)
{
    udb_record record;
    record.add_field(std::make_unique<udb_field>(L"Name", 10, ole_variant(L"Ann"), false, false));
    record.add_field(std::make_unique<udb_field>(L"ÉTÉ", 4, ole_variant(1), false, false));
    EXPECT_TRUE(record.find_field(L"NAME"));
    EXPECT_TRUE(record.find_field(L"été"));
    EXPECT_FALSE(record.find_field(L"Nam"));
    EXPECT_EQ(record.get_field(L"name").to_wstring(), L"Ann");

    const udb_field& absent = record.get_field(L"none");
    EXPECT_EQ(absent.get_type(), VT_EMPTY);
    EXPECT_EQ(absent.name(), L"");
    EXPECT_EQ(absent.size(), 0);
    EXPECT_FALSE(absent.is_not_null());
    EXPECT_FALSE(absent.is_auto_num());
    EXPECT_EQ(&record.get_field(L"other"), &absent);
}

TEST(UdbSchema, CopiesCloneOwnedDescriptorsAndShareBorrowedOnes)
{
    engine_ftd borrowed;
    borrowed.name = L"borrowed";
    auto original = std::make_unique<udb_schema>(1);
    auto owned = std::make_unique<engine_ftd>();
    owned->name = L"owned";
    owned->type_name = L"int8";
    original->adopt(std::move(owned));
    original->push_back(&borrowed);

    udb_schema copy(*original);
    udb_schema assigned;
    assigned.adopt(column(L"dropped", VT_I4));
    assigned = *original;
    original.reset();

    for (const udb_schema* schema : {&copy, &assigned})
    {
        ASSERT_EQ(schema->size(), 2u);
        const auto* kept = dynamic_cast<const engine_ftd*>((*schema)[0]);
        ASSERT_NE(kept, nullptr);
        EXPECT_EQ(kept->type_name, L"int8");
        EXPECT_EQ((*schema)[1], &borrowed);
    }
    EXPECT_NE(copy[0], assigned[0]);

    udb_schema moved(std::move(copy));
    EXPECT_TRUE(copy.empty());
    EXPECT_EQ(moved[0]->name, L"owned");
    assigned = std::move(moved);
    EXPECT_EQ(assigned[0]->name, L"owned");
}

class writer : public udb_recordset
{
public:
    using udb_recordset::udb_recordset;
    void append_record(udb_record&) override {}
};

TEST(UdbSchema, SchemaCopiedFromARecordsetOutlivesIt)
{
    auto recordset = std::make_unique<writer>(L"t", 1);
    recordset->add_column(column(L"id", VT_I4));
    const udb_schema copy = recordset->schema();
    recordset.reset();
    EXPECT_EQ(copy.get_field_type(L"ID"), VT_I4);
}

TEST(UdbSchema, LookupsByName)
{
    udb_schema schema;
    schema.adopt(column(L"Id", VT_I4, 4));
    schema.adopt(column(L"Straße", VT_BSTR, 40));
    schema.adopt(column(L"id", VT_R8, 8));
    EXPECT_TRUE(schema.find_field(L"ID"));
    EXPECT_TRUE(schema.find_field(L"STRAßE"));
    EXPECT_FALSE(schema.find_field(L"STRASSE"));
    EXPECT_EQ(schema.get_field_idx(L"iD"), 0);
    EXPECT_EQ(schema.get_field_idx(L"straße"), 1);
    EXPECT_EQ(schema.get_field_idx(L"none"), -1);
    EXPECT_EQ(schema.get_field_size(L"straße"), 40);
    EXPECT_EQ(schema.get_field_type(L"ID"), VT_I4);
    EXPECT_EQ(&schema.get_field1(L"STRAßE"), schema[1]);
    EXPECT_EQ(&schema.get_field2(L"id"), schema[0]);
}

TEST(UdbSchema, AbsentColumnsAreInternalErrorsOrAnEmptyDescriptor)
{
    test_support::temp_dir dir;
    tk_logger logger(dir.file("s.log").c_str(), true, 3, false);
    udb_schema schema;
    schema.adopt(column(L"id", VT_I4));

    const struct
    {
        int (*call)(const udb_schema&);
        const char* message;
    } asserting[] = {
        // "udb_sche\368" and "udb_sche\384" in hex.
        {[](const udb_schema& s) { return s.get_field_size(L"x"); },
         "Internal error: \ncode=7564625f736368655c333638"},
        {[](const udb_schema& s) { return static_cast<int>(s.get_field_type(L"x")); },
         "Internal error: \ncode=7564625f736368655c333834"},
    };
    for (const auto& c : asserting)
    {
        SCOPED_TRACE(c.message);
        try
        {
            c.call(schema);
            FAIL() << "no exception";
        }
        catch (const tk_mail_assertion& error)
        {
            EXPECT_EQ(error.message(), c.message);
        }
    }

    std::remove(dir.file("s.log").c_str());
    const t_ftd& absent = schema.get_field1(L"nope");
    EXPECT_EQ(absent.size, 0);
    EXPECT_EQ(absent.name, L"");
    EXPECT_EQ(absent.vartype, VT_EMPTY);
    EXPECT_FALSE(absent.b_not_null);
    EXPECT_FALSE(absent.b_auto_num);
    EXPECT_EQ(absent.default_value.get_type(), VT_EMPTY);
    EXPECT_EQ(absent.dw_reserved, 0);
    EXPECT_EQ(&schema.get_field2(L"other"), &absent);
    EXPECT_EQ(test_support::read_file(dir.file("s.log")),
              "Field 'nope' not found\r\nField 'other' not found\r\n");
}

TEST(TFtd, PrecisionAndScaleComeFromTheReservedWord)
{
    const struct
    {
        std::int32_t reserved;
        int precision;
        int scale;
    } cases[] = {
        {0, 0, 0}, {0x0A02, 10, 2}, {0x2600, 38, 0}, {t_ftd::make_precision_scale(18, 4), 18, 4}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.reserved);
        t_ftd descriptor(0, L"d", VT_DECIMAL, false, false, ole_variant(), c.reserved, L"");
        EXPECT_EQ(descriptor.get_precision(), c.precision);
        EXPECT_EQ(descriptor.get_scale(), c.scale);
    }
}

} // namespace
