// Whether bytes read from free space as a text value are text a phone
// keeps: well formed in the database's encoding, no control characters,
// and (in UTF-16) no characters that text read from a wrong offset turns
// into.
#pragma once

#include <cstdint>

bool PlausibleUtf8(const std::uint8_t* p, std::uint64_t n);
bool PlausibleUtf16(const std::uint8_t* p, std::uint64_t n, bool bigEndian);
// By the database's text encoding (kUtf8, kUtf16le or kUtf16be).
bool PlausibleText(const std::uint8_t* p, std::uint64_t n, std::uint32_t encoding);
