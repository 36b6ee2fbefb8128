#pragma once

#include <cstdint>
#include <string>

// A byte count as display text: one decimal and " KB", " MB", " GB" or " TB".
std::u16string FormatSize(std::int64_t bytes);
