// What the movie-file calls share: the file message and result they leave,
// opening only regular files, and reading a file's movie. Whole reads and
// writes are the data handler's (data_handler.h).
#pragma once

#include "../data_handler.h"
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

// Opens `path` with open(2) `flags`, refusing anything but a regular file (a
// FIFO with no writer would otherwise block the open, a folder fail later with
// a puzzling read error). Answers the descriptor, or -1 with `f` saying why.
int openRegularFile(const std::string& path, int flags, Failure& f);

// The 'ftyp' atom of the files the engine makes: a QuickTime movie.
Bytes quickTimeFileType();

uint64_t sizeOfFile(int fd);

// Reads the movie of the file open on `fd`. On failure nothing is left behind.
OSErr loadMovie(int fd, const std::string& path, qte::Movie*& out, Failure& f);

// Reads a movie atom held in memory as the one at `offset` of the file at `path`
// of `fileSize` bytes, which starts with `ftyp`. loadMovie reads files through it,
// and saves check what they are about to write with it; sample tables that
// `known` holds already are not read again (see readMovie).
OSErr readMovieAtom(std::shared_ptr<const AtomBytes> moov, uint64_t offset, const std::string& path,
                    uint64_t fileSize, Bytes ftyp, qte::Movie*& out, Failure& f,
                    const qte::Movie* known = nullptr);

// Checks a movie atom before anything in the file changes: `movie` holds nothing
// from its file that the writer cannot represent (see writable), and the atom
// reads back from memory as the file at `path` will hold it at `offset` once it
// is `fileSize` bytes long. It must be `movie`, with every track written (all
// with media, or only the enabled ones) read back under its ID and kind, and the
// next track ID past them all or "unknown". `out` receives the movie read.
OSErr checkRendered(const qte::Movie& movie, const Bytes& ftyp, const WrittenAtom& moov, uint64_t offset,
                    const std::string& path, uint64_t fileSize, bool enabledOnly, std::unique_ptr<qte::Movie>& out,
                    Failure& f);

}  // namespace qte::file
