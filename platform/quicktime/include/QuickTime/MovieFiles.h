// Movie files: opening a QuickTime movie file (or an ISO/MP4 file, which shares
// its structure) into a movie, saving a movie back into its file, and
// flattening a movie into a new self-contained file.
#pragma once

#include <Files.h>
#include <QuickTime/Movies.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
  fsCurPerm = 0,
  fsRdPerm = 1,
  fsWrPerm = 2,
  fsRdWrPerm = 3,
};

// The movie of a single-fork file lives in the data fork, under this ID.
enum { movieInDataForkResID = -1 };

enum {
  createMovieFileDeleteCurFile = (SInt32)(1U << 31),
  createMovieFileDontCreateMovie = 1L << 30,
  createMovieFileDontOpenFile = 1L << 29,
  createMovieFileDontCreateResFile = 1L << 28,
};

enum {
  flattenAddMovieToDataFork = 1L << 0,
  flattenActiveTracksOnly = 1L << 2,
  flattenDontInterleaveFlatten = 1L << 3,
  flattenFSSpecPtrIsDataRefRecordPtr = 1L << 4,
  flattenCompressMovieResource = 1L << 5,
  // "Fast start": the movie atom precedes the sample data.
  flattenForceMovieResourceBeforeMovieData = 1L << 6,
};

// Opens the file for NewMovieFromFile and UpdateMovieResource; fsRdWrPerm is
// needed to save into it, and takes the file's edit lock until it is closed:
// while another program holds it, the answer is opWrErr. Only regular files
// (or links to them) open.
OSErr OpenMovieFile(const FSSpec* fileSpec, short* resRefNum, SInt8 permission);
OSErr CloseMovieFile(short resRefNum);

// Reads the movie of an open file. Sample bytes stay in the file and are read
// when asked for. A malformed file gives badPublicMovieAtom (or a more precise
// code) and QTEngineLastFileErrorMessage names the atom and its offset.
OSErr NewMovieFromFile(Movie* theMovie, short resRefNum, short* resId, StringPtr resName, short newMovieFlags,
                       Boolean* dataRefWasChanged);

// Creates (with createMovieFileDeleteCurFile: replaces) a movie file, opens it
// read-write and, unless createMovieFileDontCreateMovie, makes a new movie for it.
OSErr CreateMovieFile(const FSSpec* fileSpec, OSType creator, ScriptCode scriptTag, SInt32 createMovieFileFlags,
                      short* resRefNum, Movie* newmovie);

// Saves the movie in the open file: samples added since the last save go into a
// new 'mdat' at the end, the sample bytes already there never move. At every
// moment the file holds either the old movie or the new one. An unedited movie
// leaves the file untouched. AddMovieResource does the same for a file that
// holds no movie yet.
OSErr UpdateMovieResource(Movie theMovie, short resRefNum, short resId, ConstStr255Param resName);
OSErr AddMovieResource(Movie theMovie, short resRefNum, short* resId, ConstStr255Param resName);

// Writes a new file holding every sample the movie uses and the movie atom
// (first with flattenForceMovieResourceBeforeMovieData, else last), and answers
// the movie read back from it (the caller disposes of it), or NULL on failure
// (GetMoviesError says why). It writes as cp does: through symbolic links, and
// into an existing device or pipe (answering the movie checked before writing,
// as such a file cannot be read back); a new file takes 0666 less the umask and
// a replaced one keeps its mode. A regular file appears whole or not at all.
Movie FlattenMovieData(Movie theMovie, SInt32 movieFlattenFlags, const FSSpec* theFile, OSType creator,
                       ScriptCode scriptTag, SInt32 createMovieFileFlags);

// What went wrong in the last movie-file call that failed on this thread, in
// words, naming the file, and for malformed files the atom path and offset;
// "" after a success.
const char* QTEngineLastFileErrorMessage(void);

// Unlinks the temporary name of a file being flattened, if it has one (where
// the file system cannot make a file without a name). Safe in a signal handler.
void QTEngineRemoveUnfinishedFile(void);

#ifdef __cplusplus
}
#endif
