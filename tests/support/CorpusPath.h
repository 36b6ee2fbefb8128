// Where the real phone databases are: $SALVIX_CORPUS_DIR, else the shared
// folder beside the source tree, else the workplace's shared folder.
#pragma once

#include <string>

std::string RealCorpusDir();
