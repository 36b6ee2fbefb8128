// Candidates equal to a live row are not deleted records: each live table
// is read once, and every row is checked against an index of the
// candidates of the tables that read its bytes alike.
#pragma once

#include "recover/RecoverContext.h"

// Marks the candidates equal to a live row (Candidate::live), and takes the
// table's name from the records of a freelist page that held another
// table's rows.
void DropLiveRows(RecoverContext& context);
