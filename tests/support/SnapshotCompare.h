// Comparisons of an engine snapshot with the reference one, as GoogleTest
// assertion results that say what differs.
#pragma once

#include <gtest/gtest.h>

#include "support/DbSnapshot.h"

// The same table names (in any order), and for every table with a b-tree
// the same root page and the same columns (names and declared types).
::testing::AssertionResult SameSchema(const DbSnapshot& engine, const DbSnapshot& oracle);

// The same rows, compared as multisets (the engine's order is the b-tree
// walk's, sqlite3's is its own).
::testing::AssertionResult SameRows(const std::vector<DisplayRow>& engine,
                                    const std::vector<DisplayRow>& oracle);

// The table name in UTF-8, for SCOPED_TRACE.
std::string NameOf(const TableSnapshot& table);
