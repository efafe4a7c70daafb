// Reading a movie atom into the model (QTFF "Movie atoms"; ISO/IEC 14496-12 8.2-8.7).
// Reading is lenient where real writers differ (string conventions, meta with or
// without version/flags, trailing zero words, missing 'edts' or 'stss') and strict
// where a value would make the model lie: every count is checked against the
// bytes that hold it before anything is allocated, and every failure names the
// atom path and its file offset.
#include "families/reader.h"

namespace qte::file {

OSErr readMovie(const Atom& moov, std::shared_ptr<const void> holder, const std::string& filePath,
                uint64_t fileSize, Movie& movie, MovieOrigin& origin, Failure& fail, const Movie* known) {
  AtomPath path;
  Failure f;
  Reader r(filePath, fileSize, origin, std::move(holder), known, path, f);
  if (!r.movie(moov, movie)) {
    fail = f;
    return fail.err;
  }
  return noErr;
}

}  // namespace qte::file
