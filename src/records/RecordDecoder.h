// The record format: a header (its own size as a varint, then one serial
// type per value) followed by the values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DbInfo.h"

class CSqliteParser;

// Bytes taken by a value of serial type `t`.
std::uint64_t SerialTypeSize(std::uint64_t t);

// Reads the serial types of a record header. `areaLength` is the header size
// less its own varint; `dataBytes` the bytes readable from `data`.
// Returns 0, or -1 when the serial types run past the data.
int ReadSerialTypes(const std::uint8_t* data, std::uint64_t areaLength, std::uint64_t dataBytes,
                    std::vector<std::uint64_t>& types);

// Decodes one record of `dataLength` bytes: a schema row in schema mode,
// a table row (appended to parser.m_rows) otherwise. Returns 0, or -1 when
// the header is unreadable (reported in the log).
int DecodeRecord(const std::uint8_t* record, CSqliteParser& parser, DbInfo& db,
                 std::uint32_t dataLength, std::uint32_t pageNumber, int sizeLength,
                 int rowidLength, std::int64_t rowid);

// Bytes of a stored text up to its first NUL character.
std::uint64_t StoredTextLength(const std::uint8_t* bytes, std::uint64_t size,
                               std::uint32_t encoding);

// The shortest text that reads back as `value`, with ".0" added where that
// text would look like an integer ("3.0", "-0.0"; "1e+15" and "inf" stay).
void AppendRealText(std::u16string& out, double value);
void AppendRealText(std::string& out, double value);

// Text stored in the database's encoding, cut at its first NUL character.
void AppendStoredText(std::u16string& out, const std::uint8_t* bytes, std::uint64_t size,
                      std::uint32_t encoding);

// Appends the display text of the value of serial type `t` that starts at
// `offset` of a record of `dataLength` bytes. NULL appends nothing.
void AppendValueText(std::u16string& out, const std::uint8_t* record, std::uint64_t dataLength,
                     std::uint64_t offset, std::uint64_t t, std::uint32_t encoding);

// Signed integer value of serial types 1 to 6, 8 and 9; false for any other
// type or when its bytes run past the data.
bool ReadIntegerValue(const std::uint8_t* record, std::uint64_t dataLength, std::uint64_t offset,
                      std::uint64_t t, std::int64_t& value);
