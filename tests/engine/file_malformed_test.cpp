// Malformed movie files: each case breaks one thing in a valid file the engine
// wrote, and must get a clear result code and a message naming the atom and its
// offset — never a crash, a hang or a leak (run under the sanitizers).
#include "file_support.h"

using namespace enginetest;

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t get32(const Bytes& b, size_t at) {
  return uint32_t(b[at] << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3]);
}

// A small valid movie file: one video track of three 4-byte samples, a title,
// and whatever `more` adds.
Bytes validFile(const ScratchDir& dir, const std::function<void(Movie)>& more = {}) {
  std::string path = dir / "valid.mov";
  FSSpec fsSpec = fsSpecOf(path);
  short ref = 0;
  Movie movie = nullptr;
  EXPECT_EQ(CreateMovieFile(&fsSpec, "TVOD"_4cc, 0, createMovieFileDeleteCurFile, &ref, &movie), noErr);
  videoTrack(movie, 600, 3, 20);
  HandleHolder text("Valid", 5);
  AddUserDataText(GetMovieUserData(movie), text, 0xA96E616D, 1, 0);
  if (more) more(movie);
  EXPECT_EQ(AddMovieResource(movie, ref, nullptr, nullptr), noErr);
  DisposeMovie(movie);
  CloseMovieFile(ref);
  return fileBytes(path);
}

// Offset of the first atom of that type (its size field) inside the movie atom.
size_t atomAt(const Bytes& b, const char* type) {
  std::string s(b.begin(), b.end());
  size_t moov = s.find("moov");
  size_t at = s.find(type, moov);
  EXPECT_NE(at, std::string::npos) << type;
  return at - 4;
}

void put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (24 - 8 * i));
}

struct Opened {
  OSErr err;
  std::string message;
};

Opened open(const ScratchDir& dir, const Bytes& bytes) {
  std::string path = dir / "case.mov";
  writeBytes(path, bytes);
  OpenedMovie m(path, fsRdPerm);
  return {m.err, m.message};
}

TEST(MalformedMovieFiles, EachFaultGivesAClearError) {
  ScratchDir dir;
  const Bytes valid = validFile(dir);
  ASSERT_EQ(open(dir, valid).err, noErr);

  struct Case {
    const char* name;
    std::function<void(Bytes&)> breakIt;
    OSErr expect;
    const char* mentions;  // in the message: the atom path or the fault
  };
  const Case cases[] = {
      {"movie atom cut short", [](Bytes& b) { b.erase(b.end() - 10, b.end()); }, badPublicMovieAtom, "'moov'"},
      {"no movie atom", [](Bytes& b) { b[atomAt(b, "moov") + 7] = 'd'; }, noMovieFound, "no movie atom"},
      {"child larger than its parent", [](Bytes& b) { put32(b, atomAt(b, "tkhd"), 0x10000); }, badPublicMovieAtom,
       "moov/trak[1] at offset"},
      {"size under 8", [](Bytes& b) { put32(b, atomAt(b, "mdhd"), 4); }, badPublicMovieAtom, "moov/trak[1]/mdia"},
      {"64-bit size past the parent", [](Bytes& b) { put32(b, atomAt(b, "hdlr"), 1); }, badPublicMovieAtom,
       "moov/trak[1]/mdia"},
      {"size 0 swallows the media", [](Bytes& b) { put32(b, atomAt(b, "tkhd"), 0); }, badPublicMovieAtom,
       "track without media"},
      {"movie header version 2", [](Bytes& b) { b[atomAt(b, "mvhd") + 8] = 2; }, badPublicMovieAtom, "moov/mvhd"},
      {"media header version 5", [](Bytes& b) { b[atomAt(b, "mdhd") + 8] = 5; }, badPublicMovieAtom, "mdhd"},
      {"time scale 0", [](Bytes& b) { put32(b, atomAt(b, "mvhd") + 20, 0); }, badPublicMovieAtom, "time scale 0"},
      {"track ID 0", [](Bytes& b) { put32(b, atomAt(b, "tkhd") + 20, 0); }, badPublicMovieAtom, "track ID 0"},
      {"huge description count", [](Bytes& b) { put32(b, atomAt(b, "stsd") + 12, 0xFFFFFFFF); }, badPublicMovieAtom,
       "stbl/stsd"},
      {"huge duration count", [](Bytes& b) { put32(b, atomAt(b, "stts") + 12, 0x7FFFFFFF); }, badPublicMovieAtom,
       "stbl/stts"},
      {"huge chunk count", [](Bytes& b) { put32(b, atomAt(b, "stco") + 12, 0x40000000); }, badPublicMovieAtom,
       "stbl/stco"},
      {"huge chunk-run count", [](Bytes& b) { put32(b, atomAt(b, "stsc") + 12, 0xFFFFFFF0); }, badPublicMovieAtom,
       "stbl/stsc"},
      {"huge data-reference count", [](Bytes& b) { put32(b, atomAt(b, "dref") + 12, 0x10000000); },
       badPublicMovieAtom, "dinf/dref"},
      {"durations and sizes disagree", [](Bytes& b) { put32(b, atomAt(b, "stts") + 16, 4); }, badPublicMovieAtom,
       "samples"},
      {"chunk run starting at chunk 0", [](Bytes& b) { put32(b, atomAt(b, "stsc") + 16, 0); }, badPublicMovieAtom,
       "stsc"},
      {"missing sample description", [](Bytes& b) { put32(b, atomAt(b, "stsc") + 24, 7); }, badPublicMovieAtom,
       "description 7"},
      {"chunk past the end of the file", [](Bytes& b) { put32(b, atomAt(b, "stco") + 16, 0x7FFFFFF0); },
       badPublicMovieAtom, "past the end of the file"},
      // Each container's children are declared: a child allowed once comes once,
      // and a header's fields fill its atom exactly.
      {"a second track header",
       [](Bytes& b) {
         const size_t tkhd = atomAt(b, "tkhd"), size = get32(b, tkhd);
         const Bytes copy(b.begin() + long(tkhd), b.begin() + long(tkhd + size));
         b.insert(b.begin() + long(tkhd + size), copy.begin(), copy.end());
         for (const char* type : {"moov", "trak"}) put32(b, atomAt(b, type), uint32_t(get32(b, atomAt(b, type)) + size));
       },
       badPublicMovieAtom, "second 'tkhd'"},
      {"bytes after the media header's fields",
       [](Bytes& b) {
         const size_t mdhd = atomAt(b, "mdhd");
         b.insert(b.begin() + long(mdhd + get32(b, mdhd)), 4, 0);
         for (const char* type : {"moov", "trak", "mdia", "mdhd"})
           put32(b, atomAt(b, type), uint32_t(get32(b, atomAt(b, type)) + 4));
       },
       badPublicMovieAtom, "mdia/mdhd at offset"},
      {"stray bytes ending a container",
       [](Bytes& b) {
         size_t moov = atomAt(b, "moov");
         b.insert(b.end(), 3, 0xEE);
         put32(b, moov, get32(b, moov) + 3);
       },
       badPublicMovieAtom, "stray bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes b = valid;
    c.breakIt(b);
    Opened r = open(dir, b);
    EXPECT_EQ(r.err, c.expect);
    EXPECT_NE(r.message.find(c.mentions), std::string::npos) << r.message;
    EXPECT_NE(r.message.find(dir / "case.mov"), std::string::npos) << "the message names the file: " << r.message;
  }
}

// A fault inside a metadata container names the atom it is in and its offset,
// not only "malformed metadata".
TEST(MalformedMovieFiles, MetadataFaultsNameTheirAtom) {
  ScratchDir dir;
  const Bytes valid = validFile(dir, [](Movie movie) {
    QTMetaDataRef md = nullptr;
    ASSERT_EQ(QTCopyMovieMetaData(movie, &md), noErr);
    const std::string key = "com.example.title", value = "Meta";
    EXPECT_EQ(QTMetaDataAddItem(md, kQTMetaDataStorageFormatQuickTime, kQTMetaDataKeyFormatQuickTime,
                                reinterpret_cast<const UInt8*>(key.data()), ByteCount(key.size()),
                                reinterpret_cast<const UInt8*>(value.data()), ByteCount(value.size()),
                                kQTMetaDataTypeUTF8, nullptr),
              noErr);
    QTMetaDataRelease(md);
  });
  ASSERT_EQ(open(dir, valid).err, noErr);

  struct Case {
    const char* name;
    std::function<void(Bytes&)> breakIt;
    std::string mentions;
  };
  const Case cases[] = {
      {"item of a missing key", [](Bytes& b) { put32(b, atomAt(b, "ilst") + 12, 7); },
       "moov/meta/ilst at offset " + std::to_string(atomAt(valid, "ilst") + 8) + ": item of key 7"},
      {"key count beyond the atom", [](Bytes& b) { put32(b, atomAt(b, "keys") + 12, 0x40000000); },
       "moov/meta/keys at offset " + std::to_string(atomAt(valid, "keys"))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes b = valid;
    c.breakIt(b);
    Opened r = open(dir, b);
    EXPECT_EQ(r.err, badPublicMovieAtom);
    EXPECT_NE(r.message.find(c.mentions), std::string::npos) << r.message;
  }
}

// Readers meet these in real files; they open.
TEST(MalformedMovieFiles, ToleratedQuirksOpen) {
  ScratchDir dir;
  const Bytes valid = validFile(dir);
  // An edit list whose count overstates its entries, and a user-data list ending in a zero word.
  Bytes b = valid;
  put32(b, atomAt(b, "elst") + 12, 1000);
  EXPECT_EQ(open(dir, b).err, noErr) << open(dir, b).message;
  b = valid;
  size_t udta = atomAt(b, "udta");
  size_t moov = atomAt(b, "moov");
  b.insert(b.begin() + long(udta + get32(b, udta)), 4, 0);
  put32(b, udta, get32(b, udta) + 4);
  put32(b, moov, get32(b, moov) + 4);
  EXPECT_EQ(open(dir, b).err, noErr) << open(dir, b).message;
  // Zero padding after the last top-level atom.
  b = valid;
  b.insert(b.end(), 5, 0);
  EXPECT_EQ(open(dir, b).err, noErr);
}

// A one-track movie as ffmpeg writes it (edit list and 'url ' self reference of its own).
Bytes ffmpegFile(const ScratchDir& dir) {
  std::string path = dir / "ffmpeg.mov";
  run("ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=10 -t 1 -c:v mpeg4 -y '" + path + "'");
  return fileBytes(path);
}

// Damaged but readable: an edit either leaves the file valid, every sample where
// outside readers found it before, or is refused with the file as it was.
TEST(MalformedMovieFiles, EditsNeverMakeADamagedFileWorse) {
  ScratchDir dir;
  std::vector<Bytes> sources{validFile(dir)};
  if (haveTool("ffmpeg")) sources.push_back(ffmpegFile(dir));
  auto rename = [](const char* type) { return [type](Bytes& b) { b[atomAt(b, type) + 7] = 'X'; }; };
  struct Case {
    const char* name;
    std::function<void(Bytes&)> breakIt;
    const char* refusal;  // in the message, or null when the edit is saved
  };
  const Case cases[] = {
      {"no data information", rename("dinf"), nullptr},
      {"no data reference atom", rename("dref"), nullptr},
      {"edits without an edit list", rename("elst"), nullptr},
      {"self reference without its flag", [](Bytes& b) { b[atomAt(b, "dref") + 16 + 11] = 0; }, nullptr},
      {"edit list flagged version 1, laid out as 0", [](Bytes& b) { b[atomAt(b, "elst") + 8] = 1; }, nullptr},
      {"samples in an atom retyped free, among others",
       [](Bytes& b) {
         std::memcpy(&b[std::string(b.begin(), b.end()).find("mdat")], "free", 4);
         for (int k = 0; k < 4; ++k) b.insert(b.end(), {0, 0, 0, 8, 'f', 'r', 'e', 'e'});
       },
       nullptr},
      {"a track inside a track",
       [](Bytes& b) {
         const size_t trak = atomAt(b, "trak"), size = get32(b, trak);
         const Bytes copy(b.begin() + long(trak), b.begin() + long(trak + size));
         b.insert(b.begin() + long(trak + size), copy.begin(), copy.end());
         put32(b, trak, uint32_t(2 * size));
         put32(b, atomAt(b, "moov"), uint32_t(get32(b, atomAt(b, "moov")) + size));
       },
       "moov/trak[1]/trak"},
      {"edit list one byte short",
       [](Bytes& b) {
         for (const char* type : {"moov", "trak", "edts", "elst"}) put32(b, atomAt(b, type), get32(b, atomAt(b, type)) - 1);
         b.erase(b.begin() + long(atomAt(b, "elst") + get32(b, atomAt(b, "elst"))));
       },
       "moov/trak[1]/edts/elst"},
  };
  const std::string path = dir / "case.mov", original = dir / "original.mov";
  for (const Bytes& source : sources) {
    writeBytes(original, source);
    TimeValue duration = GetMovieDuration(OpenedMovie(original, fsRdPerm));
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      Bytes b = source;
      c.breakIt(b);
      writeBytes(path, b);
      {
        OpenedMovie m(path);
        ASSERT_EQ(m.err, noErr) << m.message;
        EXPECT_EQ(GetMovieDuration(m), duration);
        HandleHolder text("Edited", 6);
        ASSERT_EQ(AddUserDataText(GetMovieUserData(m), text, 0xA96E616D, 1, 0), noErr);
        OSErr err = m.save();
        std::string message = QTEngineLastFileErrorMessage();
        if (c.refusal) {
          EXPECT_NE(err, noErr);
          EXPECT_NE(message.find(c.refusal), std::string::npos) << message;
          EXPECT_TRUE(fileBytes(path) == b) << "a refused save changed the file";
          continue;
        }
        EXPECT_EQ(err, noErr) << message;
      }
      OpenedMovie saved(path, fsRdPerm);
      EXPECT_EQ(GetMovieDuration(saved), duration);
      HandleHolder sample;
      EXPECT_EQ(GetMediaSample(GetTrackMedia(GetMovieIndTrack(saved, 1)), sample, 0, nullptr, 0, nullptr, nullptr,
                               nullptr, nullptr, 1, nullptr, nullptr), noErr);
      if (haveTool("ffprobe")) {
        EXPECT_EQ(packets(path), packets(original));
      }
    }
  }
}

// Every single-byte change and every truncation of the movie atom opens or fails
// cleanly; what opens can be flattened (a sample of them: flattening syncs).
TEST(MalformedMovieFiles, EveryByteOfTheMovieAtom) {
  ScratchDir dir;
  const Bytes valid = validFile(dir);
  const size_t moov = atomAt(valid, "moov");
  std::string out = dir / "flat.mov";
  FSSpec fsSpec = fsSpecOf(out);
  int opened = 0;
  for (size_t at = moov; at < valid.size(); ++at) {
    for (uint8_t v : {uint8_t(0x00), uint8_t(0xFF), uint8_t(valid[at] ^ 0x01)}) {
      Bytes b = valid;
      b[at] = v;
      std::string path = dir / "case.mov";
      writeBytes(path, b);
      OpenedMovie m(path, fsRdPerm);
      if (m.err != noErr) {
        EXPECT_FALSE(m.message.empty()) << "byte " << at;
        continue;
      }
      if (++opened % 16) continue;
      Movie flat = FlattenMovieData(m, 0, &fsSpec, "TVOD"_4cc, 0, createMovieFileDeleteCurFile);
      if (flat) DisposeMovie(flat);
    }
  }
  EXPECT_GT(opened, 0);
  for (size_t n = moov; n < valid.size(); ++n) {
    Opened r = open(dir, Bytes(valid.begin(), valid.begin() + long(n)));
    EXPECT_NE(r.err, noErr) << "cut at " << n;
  }
}

}  // namespace
