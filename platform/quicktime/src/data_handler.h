// Data-handler I/O: which file a data reference names, the files a media keeps
// open, and reading and writing bytes whole. Every retry of a short or
// interrupted read or write in the engine is here.
#pragma once

#include "model.h"

#include <string>

namespace qte {

// The file a data reference names (an alias, or a file:// URL); empty for a
// reference to the movie's own file or one that names no file.
std::string pathOf(const DataRef& ref);
bool sameDataRef(const DataRef& a, const DataRef& b);

// Read or write all `n` bytes at `at`, retrying short and interrupted calls;
// false on an error or the end of the file (errno tells which error).
bool readAll(int fd, uint64_t at, uint8_t* p, size_t n);
bool writeAll(int fd, uint64_t at, const uint8_t* p, size_t n);
// Writes all `n` bytes at the file position: the destination may be a pipe.
bool writeOn(int fd, const uint8_t* p, size_t n);

// The data reference index (from 1) an stsd entry names; 0 when it has none.
uint16_t dataRefIndexOf(const Bytes& description);
// The entry naming data reference `index` instead.
Bytes withDataRefIndex(const Bytes& description, uint16_t index);

}  // namespace qte
