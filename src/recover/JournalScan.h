// The page images of a rollback journal read for records: the original
// pages of the transaction a hot journal belongs to, or the old images a
// journal kept behind a zeroed header after its commit (PERSIST mode),
// with what is left of longer earlier transactions after them.
#pragma once

#include "recover/RecoverContext.h"

// Scans every table leaf image of the journal the source read (with
// --journal), cells and free space, against every table, except an image
// the database shown reads as its own page (a hot journal rolled back).
// A record's offset is its byte offset in the journal. A cell's overflow
// chain is read from the images of its own journal segment, then from
// freelist leaves of the database shown.
void ScanJournal(RecoverContext& context);
