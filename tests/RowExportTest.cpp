// Row export: CSV read back by Python's csv module, JSON Lines by a JSON
// parser, with the awkward values a phone database holds.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "engine/RowExport.h"
#include "platform/TextConvert.h"
#include "support/TempDir.h"

namespace {

const std::vector<std::u16string> kHeadings = {u"id", u"body, text", u"备注"};
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

TEST(RowExportTest, CsvReadsBackThroughPythonsCsvModule)
{
    CTempDir dir;
    const std::string path = Export(dir, CRowExport::Format::kCsv);
    std::ifstream raw(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(raw)), {});
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    // utf-8-sig drops the byte-order mark; strict mode rejects bad quoting.
    const std::string command =
        "python3 -c 'import csv, json, sys; f = open(sys.argv[1], encoding=\"utf-8-sig\", newline=\"\"); "
        "print(json.dumps(list(csv.reader(f, strict=True))))' '" + path + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, got);
    ASSERT_EQ(::pclose(pipe), 0);
    EXPECT_EQ(nlohmann::json::parse(output), ExpectedRecords());
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
