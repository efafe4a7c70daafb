// Reading the 'meta' containers of either dialect inside a movie atom, with
// failures named by atom path and file offset like the rest of the reader
// (metadata_atoms.cpp; metadata_store.h has the forms without a path).
#pragma once

#include "children.h"
#include "../metadata_store.h"

namespace qte::file {

// `meta` is the whole atom; `out` changes only when it reads.
bool readQuickTimeMeta(const Atom& meta, Walk& walk, QuickTimeMetaData& out);
bool readITunesMeta(const Atom& meta, Walk& walk, std::vector<ITunesItem>& out);

}  // namespace qte::file
