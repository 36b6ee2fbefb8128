// Row export: CSV read back by Python's csv module, JSON Lines by a JSON
// parser, with the awkward values a phone database holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "engine/RowExport.h"
#include "platform/TextConvert.h"
#include "support/SqliteOracle.h"
#include "support/TempDir.h"

namespace {

const std::vector<std::u16string> kHeadings = {u"id", u"body, text", u"备注"};  // also a table's columns
const std::vector<std::vector<std::u16string>> kRows = {
    {u"1", u"plain", u"中文短信"},
    {u"2", u"a, b", u"say \"hi\""},
    {u"3", u"line 1\nline 2\r\nline 3", u"\"\""},
    {u"4", u"", u" spaced , \t tab"},
    {u"5"},  // short row: the rest are empty
};

std::string Export(const CTempDir& dir, CRowExport::Format format)
{
    const std::string path = dir.File(format == CRowExport::Format::kCsv ? "rows.csv" : "rows.jsonl");
    std::FILE* out = std::fopen(path.c_str(), "wb");
    CRowExport writer(format, out, kHeadings);
    EXPECT_TRUE(writer.Begin());
    for (const auto& row : kRows)
        EXPECT_TRUE(writer.WriteRow(row));
    EXPECT_TRUE(writer.Finish());
    std::fclose(out);
    return path;
}

// The file's records as the reader sees them, as a JSON array of arrays.
nlohmann::json ExpectedRecords()
{
    nlohmann::json records = nlohmann::json::array();
    std::vector<std::string> heading;
    for (const auto& h : kHeadings)
        heading.push_back(WideToUtf8(h));
    records.push_back(heading);
    for (const auto& row : kRows) {
        std::vector<std::string> record(kHeadings.size());
        for (std::size_t i = 0; i < row.size(); ++i)
            record[i] = WideToUtf8(row[i]);
        records.push_back(record);
    }
    return records;
}

// The records of a CSV file as Python's csv module reads them (the
// byte-order mark checked and dropped, strict quoting), or null.
nlohmann::json ReadCsvWithPython(const std::string& path)
{
    std::ifstream raw(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(raw)), {});
    if (bytes.substr(0, 3) != "\xEF\xBB\xBF" || bytes.substr(bytes.size() - 2) != "\r\n")
        return nullptr;
    const std::string command =
        "python3 -c 'import csv, json, sys; f = open(sys.argv[1], encoding=\"utf-8-sig\", newline=\"\"); "
        "print(json.dumps(list(csv.reader(f, strict=True))))' '" + path + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, got);
    return ::pclose(pipe) == 0 ? nlohmann::json::parse(output) : nullptr;
}

TEST(RowExportTest, CsvReadsBackThroughPythonsCsvModule)
{
    CTempDir dir;
    EXPECT_EQ(ReadCsvWithPython(Export(dir, CRowExport::Format::kCsv)), ExpectedRecords());
}

TEST(RowExportTest, CliRowsCsvHoldsTheTableUnderItsColumnNames)
{
    CTempDir dir;
    const std::string db = dir.File("export.db");
    {
        CSqliteDb sqlite(db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        sqlite.Exec("CREATE TABLE \"body, text\"(id INTEGER, \"body, text\" TEXT, 备注 TEXT)");
        std::vector<std::vector<SqlValue>> rows;
        for (const auto& row : kRows)
            rows.push_back({std::stoll(WideToUtf8(row[0])), row.size() > 1 ? SqlValue(WideToUtf8(row[1])) : nullptr,
                            row.size() > 2 ? SqlValue(WideToUtf8(row[2])) : nullptr});
        sqlite.InsertRows("INSERT INTO \"body, text\" VALUES(?, ?, ?)", rows);
    }
    const std::string csv = dir.File("rows.csv");
    const std::string command = std::string(SALVIX_CLI_PATH) + " rows --csv '" + db + "' 'body, text' > '" + csv + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    // Rows come in the order of the b-tree walk, not of insertion.
    nlohmann::json records = ReadCsvWithPython(csv);
    ASSERT_TRUE(records.is_array());
    std::sort(records.begin() + 1, records.end());
    EXPECT_EQ(records, ExpectedRecords());
}

// Texts a spreadsheet would run as formulas, each with what the reader gets
// back from the guarded CSV; numbers and other texts come back unchanged.
const std::vector<std::pair<std::string, std::string>> kFormulaCases = {
    {"=1+1", "'=1+1"},       {"-5", "-5"},           {"+1.5e-3", "+1.5e-3"},
    {"-inf", "-inf"},         {"@SUM(A1)", "'@SUM(A1)"}, {"+", "'+"},
    {"-x", "'-x"},           {"\t=1", "'\t=1"},     {"\r\n=1", "'\r\n=1"},
    {"=HYPERLINK(\"http://a\", \"b\")", "'=HYPERLINK(\"http://a\", \"b\")"},
    {"1e5x", "1e5x"},         {"a=b", "a=b"},         {"", ""},
};

TEST(RowExportTest, CsvGuardsFormulasUnlessRawValuesAreAsked)
{
    CTempDir dir;
    CSqliteDb sqlite(dir.File("formulas.db"), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    sqlite.Exec("CREATE TABLE t(n INTEGER PRIMARY KEY, v)");
    std::vector<std::vector<SqlValue>> rows;
    for (const auto& [value, guarded] : kFormulaCases)
        rows.push_back({std::int64_t(rows.size()), SqlValue(value)});
    rows.push_back({std::int64_t(rows.size()), SqlValue(std::int64_t(-5))});
    sqlite.InsertRows("INSERT INTO t VALUES(?, ?)", rows);
    for (const std::string option : {"--csv", "--csv-raw"}) {
        const std::string csv = dir.File("formulas.csv");
        const std::string command = std::string(SALVIX_CLI_PATH) + " rows " + option + " '" +
                                    dir.File("formulas.db") + "' t > '" + csv + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        nlohmann::json expected = nlohmann::json::array({{"n", "v"}});
        for (const auto& [value, guarded] : kFormulaCases)
            expected.push_back({std::to_string(expected.size() - 1), option == "--csv" ? guarded : value});
        expected.push_back({std::to_string(expected.size() - 1), "-5"});
        // Rows come in the order of their cells in the page, not of n.
        nlohmann::json records = ReadCsvWithPython(csv);
        ASSERT_TRUE(records.is_array());
        std::sort(records.begin() + 1, records.end(), [](const auto& a, const auto& b) {
            return std::stoi(a[0].template get<std::string>()) < std::stoi(b[0].template get<std::string>());
        });
        EXPECT_EQ(records, expected) << option;
    }
}

TEST(RowExportTest, JsonLinesHoldOneObjectPerRow)
{
    CTempDir dir;
    std::ifstream in(Export(dir, CRowExport::Format::kJsonLines), std::ios::binary);
    const nlohmann::json expected = ExpectedRecords();
    std::string line;
    std::size_t row = 1;
    for (; std::getline(in, line); ++row) {
        ASSERT_LT(row, expected.size());
        nlohmann::json object;
        for (std::size_t i = 0; i < kHeadings.size(); ++i)
            object[expected[0][i].get<std::string>()] = expected[row][i];
        EXPECT_EQ(nlohmann::json::parse(line), object) << line;
    }
    EXPECT_EQ(row, expected.size());
}

}  // namespace
