// Fuzz target for editing a movie file in place: any bytes that open as a movie
// get one edit and a save into the same file, a third of the time with the file
// allowed to grow only a little, as on a full disk (the input's size and last
// byte choose, so mutations vary both). Whatever the bytes, either the save fails
// and the file is exactly what it was, or it succeeds and the file opens again
// with the edit in it. Anything else aborts, which is the finding.
#include <FixMath.h>
#include <QuickTime/QuickTime.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_scratch.h"

namespace {

const std::string& scratchPath() { return fuzzScratchPath("qte-edit-fuzz"); }

[[noreturn]] void fail(const char* what, int edit) {
  std::fprintf(stderr, "edit %d: %s (%s)\n", edit, what, QTEngineLastFileErrorMessage());
  std::abort();
}

std::vector<uint8_t> readAll(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
  }
  return bytes;
}

struct Opened {
  short ref = 0;
  Movie movie = nullptr;
  Opened(const std::string& path, SInt8 perm) {
    FSSpec fsSpec{};
    std::snprintf(fsSpec.path, sizeof fsSpec.path, "%s", path.c_str());
    if (OpenMovieFile(&fsSpec, &ref, perm) == noErr)
      NewMovieFromFile(&movie, ref, nullptr, nullptr, newMovieActive, nullptr);
  }
  ~Opened() {
    if (movie) DisposeMovie(movie);
    if (ref) CloseMovieFile(ref);
  }
};

constexpr OSType kName = 0xA96E616D;  // ©nam
constexpr char kKey[] = "com.example.fuzz";

Handle handleOf(const void* bytes, Size size) {
  Handle h = nullptr;
  PtrToHand(bytes, &h, size);
  return h;
}

// The count an edit changes, read the same way before the edit and after reopening.
SInt32 measure(Movie movie, int edit) {
  switch (edit) {
    case 0:
    case 1: return CountUserDataType(GetMovieUserData(movie), kName);
    case 2: {
      QTMetaDataRef meta = nullptr;
      if (QTCopyMovieMetaData(movie, &meta) != noErr) return -1;
      ItemCount n = 0;
      OSStatus err = QTMetaDataGetItemCountWithKey(meta, kQTMetaDataStorageFormatWildcard, kQTMetaDataKeyFormatQuickTime,
                                                   reinterpret_cast<const UInt8*>(kKey), sizeof kKey - 1, &n);
      QTMetaDataRelease(meta);
      return err == noErr ? SInt32(n) : -1;
    }
    default: return GetMovieTrackCount(movie);
  }
}

// Returns the count the reopened file must show, or -1 when the edit itself was
// refused (nothing to save then).
SInt32 applyEdit(Movie movie, int edit, SInt32 before) {
  switch (edit) {
    case 0: {  // a user-data text item added
      Handle text = handleOf("fuzz", 4);
      OSErr err = AddUserDataText(GetMovieUserData(movie), text, kName, before + 1, 0);
      DisposeHandle(text);
      return err == noErr ? before + 1 : -1;
    }
    case 1:  // a user-data item removed
      return before > 0 && RemoveUserData(GetMovieUserData(movie), kName, 1) == noErr ? before - 1 : -1;
    case 2: {  // a metadata item added
      QTMetaDataRef meta = nullptr;
      if (QTCopyMovieMetaData(movie, &meta) != noErr) return -1;
      QTMetaDataItem item;
      OSErr err = QTMetaDataAddItem(meta, kQTMetaDataStorageFormatQuickTime, kQTMetaDataKeyFormatQuickTime,
                                    reinterpret_cast<const UInt8*>(kKey), sizeof kKey - 1,
                                    reinterpret_cast<const UInt8*>("v"), 1, kQTMetaDataTypeUTF8, &item);
      QTMetaDataRelease(meta);
      return err == noErr ? before + 1 : -1;
    }
    default: {  // a text track with one sample, as a chapter track is made
      Track track = NewMovieTrack(movie, 0, 0, 0);
      if (!track) return -1;
      Media media = NewTrackMedia(track, TextMediaType, 600, nullptr, 0);
      if (!media) return -1;
      uint8_t desc[60] = {0, 0, 0, 60, 't', 'e', 'x', 't'};
      desc[15] = 1;
      const uint8_t sample[] = {0, 4, 'f', 'u', 'z', 'z'};
      Handle d = handleOf(sample, sizeof sample), s = handleOf(desc, sizeof desc);
      BeginMediaEdits(media);
      OSErr err = AddMediaSample(media, d, 0, sizeof sample, 600, reinterpret_cast<SampleDescriptionHandle>(s), 1,
                                 0, nullptr);
      EndMediaEdits(media);
      DisposeHandle(d);
      DisposeHandle(s);
      if (err == noErr) err = InsertMediaIntoTrack(track, 0, 0, 600, fixed1);
      return err == noErr ? before + 1 : -1;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string& path = scratchPath();
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return 0;
  const bool written = ::write(fd, data, size) == ssize_t(size);
  ::close(fd);
  if (!written) return 0;

  const size_t choice = size + data[size - 1];
  const int edit = int(choice % 4);
  const bool diskFull = choice / 4 % 3 == 0;
  SInt32 expected = -1;
  OSErr saved = noErr;
  {
    Opened opened(path, fsRdWrPerm);
    if (!opened.movie) return 0;
    expected = applyEdit(opened.movie, edit, measure(opened.movie, edit));
    if (expected < 0) return 0;
    rlimit unlimited{};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    if (diskFull) {
      std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
      rlimit room = unlimited;
      room.rlim_cur = size + choice / 12 % 64 * 16;
      setrlimit(RLIMIT_FSIZE, &room);
    }
    saved = UpdateMovieResource(opened.movie, opened.ref, movieInDataForkResID, nullptr);
    setrlimit(RLIMIT_FSIZE, &unlimited);
  }
  if (saved != noErr) {
    if (readAll(path) != std::vector<uint8_t>(data, data + size)) fail("a failed save changed the file", edit);
    return 0;
  }
  Opened again(path, fsRdPerm);
  if (!again.movie) fail("the saved file does not open again", edit);
  if (measure(again.movie, edit) != expected) fail("the saved file does not hold the edit", edit);
  return 0;
}
