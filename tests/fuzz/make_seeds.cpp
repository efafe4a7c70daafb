// Writes the fuzz target's seed corpus: small movies made through the engine's
// own calls (video and sound, user data, metadata, an edit list, a fast-start
// flattened copy), so the fuzzer starts from files that reach every atom family.
#include <FixMath.h>
#include <QuickTime/QuickTime.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

void addSamples(Media m, OSType format, size_t descSize, SInt32 count, TimeValue duration, UInt32 size, short flags) {
  std::vector<uint8_t> desc(descSize, 0);
  desc[3] = uint8_t(descSize);
  for (int i = 0; i < 4; ++i) desc[4 + i] = uint8_t(format >> (24 - 8 * i));
  desc[15] = 1;
  std::vector<uint8_t> data(size_t(count) * size, 0x5A);
  Handle d = nullptr, s = nullptr;
  PtrToHand(data.data(), &d, Size(data.size()));
  PtrToHand(desc.data(), &s, Size(desc.size()));
  AddMediaSample(m, d, 0, UInt32(data.size()), duration, reinterpret_cast<SampleDescriptionHandle>(s), count, flags,
                 nullptr);
  DisposeHandle(d);
  DisposeHandle(s);
}

bool makeMovie(const std::string& path, bool withMeta) {
  FSSpec fsSpec{};
  std::snprintf(fsSpec.path, sizeof fsSpec.path, "%s", path.c_str());
  short ref = 0;
  Movie movie = nullptr;
  if (CreateMovieFile(&fsSpec, "TVOD"_4cc, 0, createMovieFileDeleteCurFile, &ref, &movie) != noErr) return false;
  Track v = NewMovieTrack(movie, 64 << 16, 48 << 16, 0);
  Media vm = NewTrackMedia(v, VideoMediaType, 600, nullptr, 0);
  BeginMediaEdits(vm);
  addSamples(vm, "jpeg"_4cc, 86, 2, 20, 6, 0);
  addSamples(vm, "jpeg"_4cc, 86, 3, 20, 4, mediaSampleNotSync);
  EndMediaEdits(vm);
  InsertMediaIntoTrack(v, 0, 0, 60, fixed1);
  InsertMediaIntoTrack(v, 100, 40, 60, fixed1);
  Track s = NewMovieTrack(movie, 0, 0, 0x100);
  Media sm = NewTrackMedia(s, SoundMediaType, 8000, nullptr, 0);
  BeginMediaEdits(sm);
  addSamples(sm, "twos"_4cc, 36, 40, 1, 2, 0);
  EndMediaEdits(sm);
  InsertMediaIntoTrack(s, 0, 0, 40, fixed1);
  Handle text = nullptr;
  PtrToHand("Seed", &text, 4);
  AddUserDataText(GetMovieUserData(movie), text, 0xA96E616D, 1, 0);
  DisposeHandle(text);
  if (withMeta) {
    QTMetaDataRef meta = nullptr;
    if (QTCopyMovieMetaData(movie, &meta) == noErr) {
      const char key[] = "com.example.seed";
      QTMetaDataItem item;
      QTMetaDataAddItem(meta, kQTMetaDataStorageFormatQuickTime, kQTMetaDataKeyFormatQuickTime,
                        reinterpret_cast<const UInt8*>(key), sizeof key - 1, reinterpret_cast<const UInt8*>("v"), 1,
                        kQTMetaDataTypeUTF8, &item);
      QTMetaDataRelease(meta);
    }
  }
  bool ok = AddMovieResource(movie, ref, nullptr, nullptr) == noErr;
  if (ok) {
    FSSpec fast = fsSpec;
    std::snprintf(fast.path, sizeof fast.path, "%s.fast.mov", path.c_str());
    Movie flat = FlattenMovieData(movie, flattenAddMovieToDataFork | flattenForceMovieResourceBeforeMovieData, &fast,
                                  "TVOD"_4cc, 0, createMovieFileDeleteCurFile);
    ok = flat != nullptr;
    if (flat) DisposeMovie(flat);
  }
  DisposeMovie(movie);
  CloseMovieFile(ref);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
    return 2;
  }
  std::string dir = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  bool ok = makeMovie(dir + "/plain.mov", false) && makeMovie(dir + "/meta.mov", true);
  if (!ok) std::fprintf(stderr, "making the seed movies failed\n");
  return ok ? 0 : 1;
}
