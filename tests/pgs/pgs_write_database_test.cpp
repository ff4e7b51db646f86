// pgs_write_database_test.cpp: schemas made, tables dropped and foreign keys added in a PostgreSQL
// database written to.
#include "pgs/pgs_exception.h"
#include "pgs/pgs_write_types.h"
#include "pgs_test_server.h"
#include "test_support.h"
#include "tk/tk_string.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <pqxx/result>
#include <pqxx/transaction>
#include <string>
#include <vector>

namespace
{

using pgs_test::server_test;
using names = std::vector<std::wstring>;
using texts = std::vector<std::string>;

class PgsWriteDatabase : public server_test
{
protected:
    void SetUp() override
    {
        server_test::SetUp();
        if (IsSkipped() || HasFatalFailure())
        {
            return;
        }
        connect_engine();
    }

    void TearDown() override
    {
        m_target.reset();
        server_test::TearDown();
    }

    // Opens the scratch database as a target listing the tables of every schema.
    pgs_database& open_target(int mode = udb_open_mode::created)
    {
        m_target = m_engine->open_db(
            std::wstring(m_database->name().begin(), m_database->name().end()), mode, L"");
        return *m_target;
    }

    // Every trace line from here on goes to a file that log_lines reads.
    void capture_log()
    {
        m_logger->set_file_name(m_log_dir.file("trace.log").c_str());
        m_logger->set_threshold(1);
        m_logger->set_enabled(true);
    }

    texts log_lines() const
    {
        const std::string text = test_support::read_file(m_log_dir.file("trace.log"));
        texts lines;
        for (std::size_t start = 0; start < text.size();)
        {
            const std::size_t end = text.find("\r\n", start);
            lines.push_back(text.substr(start, end - start));
            start = end == std::string::npos ? text.size() : end + 2;
        }
        return lines;
    }

    bool logged(const std::string& line) const
    {
        const texts lines = log_lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    // The first column of every row, as text.
    texts read(const std::string& sql)
    {
        pqxx::work transaction(m_engine->connection());
        texts rows;
        for (const auto& row : transaction.exec(sql))
        {
            rows.emplace_back(row[0].c_str());
        }
        return rows;
    }

    texts server_tables()
    {
        return read("SELECT format('%s|%s', schemaname, tablename) FROM pg_tables"
                    " WHERE schemaname NOT IN ('pg_catalog', 'information_schema') ORDER BY 1");
    }

    texts foreign_keys()
    {
        return read("SELECT format('%s|%s|%s', conrelid::regclass, conname,"
                    " pg_get_constraintdef(oid)) FROM pg_constraint WHERE contype = 'f'"
                    " ORDER BY conname");
    }

    test_support::temp_dir m_log_dir;
    std::unique_ptr<pgs_database> m_target;
};

udb_schema int_columns(const std::vector<std::wstring>& columns)
{
    udb_schema schema;
    for (const std::wstring& column : columns)
    {
        schema.adopt(
            std::make_unique<t_ftd>(0, column, VT_I4, false, false, ole_variant(), 0, L""));
    }
    return schema;
}

// --- create_schema -----------------------------------------------------------------------------

struct schema_case
{
    const char* label;
    const wchar_t* name;
    const char* listed; // the schema's name as the server holds it
};

void PrintTo(const schema_case& test, std::ostream* out)
{
    *out << test.label;
}

const schema_case schema_cases[] = {
    {"Plain", L"sales", "sales"},
    {"CaseKept", L"Sales", "Sales"},
    {"DotInsideTheName", L"sales.eu", "sales.eu"},
    {"QuotesAndBlanks", L"O'Brien \"q\" x", "O'Brien \"q\" x"},
};

class PgsCreateSchema : public PgsWriteDatabase, public testing::WithParamInterface<schema_case>
{
};

TEST_P(PgsCreateSchema, SchemaIsCreatedUnderItsOwnNameOnce)
{
    pgs_database& target = open_target();
    target.create_schema(GetParam().name);
    target.create_schema(GetParam().name); // already there: nothing happens
    EXPECT_EQ(read("SELECT nspname FROM pg_namespace WHERE nspname NOT LIKE 'pg\\_%'"
                   " AND nspname NOT IN ('information_schema', 'public') ORDER BY 1"),
              texts{GetParam().listed});
}

INSTANTIATE_TEST_SUITE_P(Names, PgsCreateSchema, testing::ValuesIn(schema_cases),
                         [](const testing::TestParamInfo<schema_case>& param_info)
                         { return param_info.param.label; });

TEST_F(PgsWriteDatabase, PublicSchemaIsLeftAlone)
{
    m_database->execute("DROP SCHEMA public CASCADE");
    pgs_database& target = open_target();
    capture_log();
    target.create_schema(L"public");
    EXPECT_TRUE(read("SELECT nspname FROM pg_namespace WHERE nspname = 'public'").empty());
    EXPECT_TRUE(logged("Skip 'public' schema"));
    // Only the exact name: "Public" is another schema.
    target.create_schema(L"Public");
    EXPECT_EQ(read("SELECT nspname FROM pg_namespace WHERE nspname ILIKE 'public'"),
              texts{"Public"});
}

// --- delete_tab --------------------------------------------------------------------------------

struct drop_case
{
    const char* label;
    const char* setup_sql;
    const wchar_t* name;
    bool result;
    names listed_after;
    texts server_after; // schema|table
};

void PrintTo(const drop_case& test, std::ostream* out)
{
    *out << test.label;
}

const char two_t_tables[] = "CREATE TABLE t (x int); CREATE SCHEMA s; CREATE TABLE s.t (x int)";

const drop_case drop_cases[] = {
    {"BareNameIsTheTableOfPublic", two_t_tables, L"t", true, {L"s.t"}, {"s|t"}},
    {"DottedName", two_t_tables, L"s.t", true, {L"public.t"}, {"public|t"}},
    {"QuotesAndBlanks",
     "CREATE TABLE \"O'Brien \"\"q\"\" t\" (x int); CREATE TABLE other (x int)",
     L"O'Brien \"q\" t",
     true,
     {L"public.other"},
     {"public|other"}},
    {"DotInsideTheTableName",
     "CREATE TABLE \"x.y\" (x int); CREATE SCHEMA x; CREATE TABLE x.y (x int)",
     L"public.\"x.y\"",
     true,
     {L"x.y"},
     {"x|y"}},
    // The dotted schema is quoted in the key: split at its first dot, the name would be the
    // table "b.c" of schema "a", which does not exist, and the table would stay on the server.
    {"DotInsideTheSchemaName",
     "CREATE SCHEMA \"a.b\"; CREATE TABLE \"a.b\".c (x int); CREATE SCHEMA a;"
     " CREATE TABLE a.other (x int)",
     L"\"a.b\".c",
     true,
     {L"a.other"},
     {"a|other"}},
    {"MissingTable", two_t_tables, L"nosuch", false, {L"public.t", L"s.t"}, {"public|t", "s|t"}},
    {"MissingSchema", two_t_tables, L"nosuch.t", false, {L"public.t", L"s.t"}, {"public|t", "s|t"}},
    // The drop takes what depends on the table with it: here another table's foreign key.
    {"WithDependents",
     "CREATE TABLE t (x int PRIMARY KEY); CREATE TABLE u (x int REFERENCES t)",
     L"public.t",
     true,
     {L"public.u"},
     {"public|u"}},
};

class PgsDeleteTab : public PgsWriteDatabase, public testing::WithParamInterface<drop_case>
{
};

TEST_P(PgsDeleteTab, TableLeavesTheServerAndTheList)
{
    m_database->execute(GetParam().setup_sql);
    pgs_database& target = open_target();
    capture_log();
    EXPECT_EQ(target.delete_tab(GetParam().name), GetParam().result);
    EXPECT_EQ(target.get_tables(), GetParam().listed_after);
    EXPECT_EQ(server_tables(), GetParam().server_after);
    EXPECT_EQ(logged("Table not found!"), !GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Names, PgsDeleteTab, testing::ValuesIn(drop_cases),
                         [](const testing::TestParamInfo<drop_case>& param_info)
                         { return param_info.param.label; });

TEST_F(PgsWriteDatabase, DroppedTableIsMadeAgainWithItsOwnRenamings)
{
    pgs_database& target = open_target();
    target.create_table(L"t", int_columns({L"a-b"}), udb_indexes());
    EXPECT_EQ(target.names_map().get_fn_mapped_name(L"public.t", L"a-b", true), L"a_b");
    EXPECT_TRUE(target.delete_tab(L"t"));
    EXPECT_FALSE(target.is_table_exist(L"public.t"));

    // Now "a_b" is a column of its own, and "a-b" needs another name.
    const auto made = target.create_table(L"t", int_columns({L"a_b", L"a-b"}), udb_indexes());
    ASSERT_EQ(made->schema().size(), 2u);
    EXPECT_EQ(made->schema()[1]->name, L"a_b00000");
    EXPECT_EQ(target.get_tables(), names{L"public.t"});
    EXPECT_EQ(target.names_map().get_fn_mapped_name(L"public.t", L"a-b", true), L"a_b00000");
    EXPECT_EQ(target.names_map().get_fn_mapped_name(L"t", L"a-b", true), L"a_b00000");
    EXPECT_EQ(server_tables(), texts{"public|t"});
}

// --- create_relationships ----------------------------------------------------------------------

// A parent whose key columns are renamed (and one of which holds a blank) and a child whose
// foreign key columns are renamed, both made by create_table, the names holding a quote, a dot
// and blanks.
class PgsForeignKeys : public PgsWriteDatabase
{
protected:
    void SetUp() override
    {
        PgsWriteDatabase::SetUp();
        if (IsSkipped() || HasFatalFailure())
        {
            return;
        }
        open_target();
        udb_indexes parent_indexes;
        parent_indexes.push_back(udb_index(L"parent_pk", true, true, {L"key-1", L"Key Two"}));
        parent_indexes.push_back(udb_index(L"parent_key_1", true, false, {L"key-1"}));
        m_target->create_table(parent, int_columns({L"key-1", L"Key Two"}), parent_indexes);
        // Made in public by its full name, named bare by the keys.
        m_target->create_table(L"public." + std::wstring(child),
                               int_columns({L"ref-1", L"ref two", L"own"}), udb_indexes());
    }

    udb_relationship key(const std::wstring& name, const std::vector<std::wstring>& columns,
                         const std::vector<std::wstring>& referenced,
                         const std::wstring& rules = L"") const
    {
        return udb_relationship(name, L"", child, parent, rules, columns, referenced);
    }

    static constexpr const wchar_t* parent = L"public.Parent. Table";
    static constexpr const wchar_t* child = L"child \"q\"";
};

TEST_F(PgsForeignKeys, KeysOfOneAndTwoColumnsReferToTheRenamedColumns)
{
    udb_relationships keys;
    keys.push_back(key(L"fk one", {L"ref-1"}, {L"key-1"}, L"CASCADE"));
    keys.push_back(key(L"fk \"two\".x", {L"ref-1", L"ref two"}, {L"key-1", L"Key Two"}));
    EXPECT_EQ(m_target->foreign_key_sql(keys[0]),
              L"ALTER TABLE \"public\".\"child \"\"q\"\"\" ADD CONSTRAINT \"fk one\" FOREIGN KEY "
              L"(\"ref_1\") REFERENCES \"public\".\"Parent. Table\"(\"key_1\") ON DELETE CASCADE");
    EXPECT_EQ(m_target->foreign_key_sql(keys[1]),
              L"ALTER TABLE \"public\".\"child \"\"q\"\"\" ADD CONSTRAINT \"fk \"\"two\"\".x\" "
              L"FOREIGN KEY (\"ref_1\", \"ref two\") REFERENCES \"public\".\"Parent. "
              L"Table\"(\"key_1\", \"Key Two\")");
    m_target->create_relationships(keys);
    EXPECT_EQ(foreign_keys(),
              (texts{"\"child \"\"q\"\"\"|fk \"two\".x|FOREIGN KEY (ref_1, \"ref two\") REFERENCES "
                     "\"Parent. Table\"(key_1, \"Key Two\")",
                     "\"child \"\"q\"\"\"|fk one|FOREIGN KEY (ref_1) REFERENCES \"Parent. "
                     "Table\"(key_1) ON DELETE CASCADE"}));
}

TEST_F(PgsForeignKeys, AppendModeLogsAndCreatesTheKeys)
{
    // Opened again, the database knows the tables by their names on the server only.
    open_target(udb_open_mode::append);
    capture_log();
    udb_relationships keys;
    keys.push_back(key(L"fk", {L"ref_1"}, {L"key_1"}));
    m_target->create_relationships(keys);
    EXPECT_TRUE(logged("Foreign Keys are not converted in append mode"));
    EXPECT_EQ(foreign_keys(),
              texts{"\"child \"\"q\"\"\"|fk|FOREIGN KEY (ref_1) REFERENCES \"Parent. "
                    "Table\"(key_1)"});
}

struct rule_case
{
    const char* label;
    const wchar_t* rules;
    const wchar_t* written; // after the referenced columns; empty when none
    const char* definition; // the rule part of the server's definition
    bool refused;
};

void PrintTo(const rule_case& test, std::ostream* out)
{
    *out << test.label;
}

const rule_case rule_cases[] = {
    {"None", L"", L"", "", false},
    {"Cascade", L"CASCADE", L" ON DELETE CASCADE", " ON DELETE CASCADE", false},
    {"SetNull", L"SET NULL", L" ON DELETE SET NULL", " ON DELETE SET NULL", false},
    {"SetDefault", L"SET DEFAULT", L" ON DELETE SET DEFAULT", " ON DELETE SET DEFAULT", false},
    {"Restrict", L"RESTRICT", L" ON DELETE RESTRICT", " ON DELETE RESTRICT", false},
    {"OnDeleteSetNull", L" ON DELETE SET NULL", L" ON DELETE SET NULL", " ON DELETE SET NULL",
     false},
    {"OnUpdateRestrict", L" ON UPDATE RESTRICT", L" ON UPDATE RESTRICT", " ON UPDATE RESTRICT",
     false},
    {"UpdateAndDelete", L" ON UPDATE CASCADE ON DELETE NO ACTION",
     L" ON UPDATE CASCADE ON DELETE NO ACTION", " ON UPDATE CASCADE", false},
    {"DeleteAndUpdate", L"ON DELETE SET DEFAULT  ON UPDATE SET NULL ",
     L" ON DELETE SET DEFAULT ON UPDATE SET NULL", " ON UPDATE SET NULL ON DELETE SET DEFAULT",
     false},
    {"LowerCase", L"on delete cascade", L" ON DELETE CASCADE", " ON DELETE CASCADE", false},
    {"StatementAfterTheRule", L"CASCADE; DROP TABLE \"Parent. Table\" CASCADE", L"", "", true},
    {"NoActionAlone", L"NO ACTION", L"", "", true},
    {"DeleteTwice", L" ON DELETE CASCADE ON DELETE SET NULL", L"", "", true},
    {"Deferrable", L"CASCADE DEFERRABLE", L"", "", true},
    {"ClauseWithoutAction", L" ON DELETE", L"", "", true},
};

class PgsForeignKeyRules : public PgsForeignKeys, public testing::WithParamInterface<rule_case>
{
};

TEST_P(PgsForeignKeyRules, OnlyReferentialActionsAreWritten)
{
    capture_log();
    udb_relationships keys;
    keys.push_back(key(L"fk", {L"ref-1"}, {L"key-1"}, GetParam().rules));
    EXPECT_EQ(m_target->foreign_key_sql(keys[0]),
              L"ALTER TABLE \"public\".\"child \"\"q\"\"\" ADD CONSTRAINT \"fk\" FOREIGN KEY "
              L"(\"ref_1\") REFERENCES \"public\".\"Parent. Table\"(\"key_1\")" +
                  std::wstring(GetParam().written));
    m_target->create_relationships(keys);
    EXPECT_EQ(foreign_keys(), texts{"\"child \"\"q\"\"\"|fk|FOREIGN KEY (ref_1) REFERENCES "
                                    "\"Parent. Table\"(key_1)" +
                                    std::string(GetParam().definition)});
    EXPECT_EQ(logged("Foreign key 'fk': '" + tk_string::to_utf8(GetParam().rules) +
                     "' is not a referential action; the key is created without it"),
              GetParam().refused);
    EXPECT_EQ(server_tables(), (texts{"public|Parent. Table", "public|child \"q\""}));
}

INSTANTIATE_TEST_SUITE_P(Rules, PgsForeignKeyRules, testing::ValuesIn(rule_cases),
                         [](const testing::TestParamInfo<rule_case>& param_info)
                         { return param_info.param.label; });

// --- failures ----------------------------------------------------------------------------------

struct failure_case
{
    const char* label;
    const char* setup_sql;
    std::function<void(pgs_database&)> action;
    const char* message_start;
};

void PrintTo(const failure_case& test, std::ostream* out)
{
    *out << test.label;
}

const failure_case failure_cases[] = {
    {"SchemaNameReserved", "", [](pgs_database& target) { target.create_schema(L"pg_x"); },
     "Cannot create schema:ERROR:  unacceptable schema name \"pg_x\""},
    {"DropOfAView", "CREATE VIEW \"my view\" AS SELECT 1 AS x",
     [](pgs_database& target) { target.delete_tab(L"my view"); },
     "Cannot drop table: my view. ERROR:  \"my view\" is not a table"},
    {"KeyWithoutUniqueReference", "CREATE TABLE a (x int); CREATE TABLE b (x int)",
     [](pgs_database& target)
     {
         udb_relationships keys;
         keys.push_back(
             udb_relationship(L"fk", L"", L"public.b", L"public.a", L"", {L"x"}, {L"x"}));
         target.create_relationships(keys);
     },
     "Cannot create foreign key:ERROR:  there is no unique constraint matching given keys for "
     "referenced table \"a\""},
};

class PgsWriteFailure : public PgsWriteDatabase, public testing::WithParamInterface<failure_case>
{
};

TEST_P(PgsWriteFailure, ServerRefusalIsPgsExceptionWithItsText)
{
    if (*GetParam().setup_sql != '\0')
    {
        m_database->execute(GetParam().setup_sql);
    }
    pgs_database& target = open_target();
    try
    {
        GetParam().action(target);
        FAIL() << "no exception";
    }
    catch (const pgs_exception& error)
    {
        const std::string expected = GetParam().message_start;
        EXPECT_EQ(std::string(error.what()).substr(0, expected.size()), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Statements, PgsWriteFailure, testing::ValuesIn(failure_cases),
                         [](const testing::TestParamInfo<failure_case>& param_info)
                         { return param_info.param.label; });

// --- a source database -------------------------------------------------------------------------

struct refusal_case
{
    const char* label;
    std::function<void(pgs_database&)> action;
};

void PrintTo(const refusal_case& test, std::ostream* out)
{
    *out << test.label;
}

const refusal_case refusal_cases[] = {
    {"CreateSchema", [](pgs_database& source) { source.create_schema(L"made"); }},
    {"DeleteTab", [](pgs_database& source) { source.delete_tab(L"public.child"); }},
    {"CreateRelationships",
     [](pgs_database& source)
     {
         udb_relationships keys;
         keys.push_back(udb_relationship(L"made_fk", L"", L"public.child", L"public.parent", L"",
                                         {L"a"}, {L"id"}));
         source.create_relationships(keys);
     }},
};

class PgsSourceRefusal : public PgsWriteDatabase, public testing::WithParamInterface<refusal_case>
{
};

TEST_P(PgsSourceRefusal, NothingIsWrittenIntoTheSource)
{
    const auto source = open_fixture("pgs_catalog.sql");
    const texts tables_before = server_tables();
    const texts keys_before = foreign_keys();
    try
    {
        GetParam().action(*source);
        FAIL() << "no exception";
    }
    catch (const pgs_exception& error)
    {
        EXPECT_STREQ(error.what(), pgs_source_write_message);
    }
    EXPECT_EQ(server_tables(), tables_before);
    EXPECT_EQ(foreign_keys(), keys_before);
    EXPECT_TRUE(read("SELECT nspname FROM pg_namespace WHERE nspname = 'made'").empty());
    EXPECT_TRUE(source->is_table_exist(L"public.child"));
}

INSTANTIATE_TEST_SUITE_P(Operations, PgsSourceRefusal, testing::ValuesIn(refusal_cases),
                         [](const testing::TestParamInfo<refusal_case>& param_info)
                         { return param_info.param.label; });

} // namespace
