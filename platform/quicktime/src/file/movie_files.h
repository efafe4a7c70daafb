// What the movie-file calls share: the file message and result they leave,
// whole reads and writes that survive interruptions, and reading a file's movie.
#pragma once

#include "movie_reader.h"
#include "movie_writer.h"

#include <QuickTime/MovieFiles.h>

#include <string>

namespace qte::file {

// Sets what GetMoviesError and QTEngineLastFileErrorMessage answer; returns `err`.
OSErr fail(OSErr err, const std::string& message);
OSErr succeed();
const char* lastFileMessage();

// The Mac result code closest to an errno value.
OSErr errnoResult(int e);
// The path an FSSpec names; empty when there is none or it does not end in the record.
std::string pathOfFsSpec(const FSSpec* fsSpec);

// Reads or writes all `n` bytes at `at`, retrying short and interrupted calls.
bool readAll(int fd, uint64_t at, uint8_t* p, size_t n);
bool writeAll(int fd, uint64_t at, const uint8_t* p, size_t n);
uint64_t sizeOfFile(int fd);

// Reads the movie of the file open on `fd`. On failure nothing is left behind.
OSErr loadMovie(int fd, const std::string& path, qte::Movie*& out, Failure& f);

}  // namespace qte::file
