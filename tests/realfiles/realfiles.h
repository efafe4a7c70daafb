// What the real-file tests share: the files make_files.sh made, what ffprobe says
// about a file (as key=value records), each stream's packets, and the plugin
// fixture that hands engine movies read from those files to user code.
#pragma once

#include "chapter_movies.h"
#include "file_support.h"

#include <QuickTime/MetaData.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace realfiles {

using enginetest::fileBytes;
using enginetest::HandleHolder;
using enginetest::haveTool;
using enginetest::OpenedMovie;
using enginetest::run;
using enginetest::ScratchDir;
using Record = std::map<std::string, std::string>;

// The folder the ctest fixture fills; run by hand, the first test fills it.
inline std::string filesDir() {
  static const std::string dir = [] {
    std::string d = REALFILES_DIR;
    if (access((d + "/h264-aac-tc-chapters.mov").c_str(), R_OK) != 0 && haveTool("ffmpeg"))
      std::system(("'" REALFILES_MAKE_SCRIPT "' '" + d + "' >&2").c_str());
    return d;
  }();
  return dir;
}

inline const std::vector<std::string>& fileNames() {
  static const std::vector<std::string> names = {
      "h264-aac-tc-chapters.mov", "mjpeg-pcm-dropframe-faststart.mov", "mjpeg-pcm-mdta.mov",
      "h264-aac-chapters-faststart.mp4", "h264-aac-mdta.mp4"};
  return names;
}

inline std::string quoted(const std::string& path) { return "'" + path + "'"; }

// ffprobe's compact output, one record per line of the given section
// ("stream", "chapter", "format"); tags keep their "tag:" prefix.
inline std::vector<Record> probe(const std::string& path, const std::string& what, const std::string& section) {
  std::vector<Record> out;
  std::istringstream lines(run("ffprobe -v error " + what + " -of compact " + quoted(path)));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(section + "|", 0) != 0) continue;
    Record r;
    std::istringstream fields(line.substr(section.size() + 1));
    for (std::string f; std::getline(fields, f, '|');) {
      size_t eq = f.find('=');
      if (eq != std::string::npos) r[f.substr(0, eq)] = f.substr(eq + 1);
    }
    out.push_back(std::move(r));
  }
  return out;
}

inline std::vector<Record> streams(const std::string& path) {
  return probe(path,
               "-show_entries stream=index,id,codec_type,codec_tag_string,time_base,duration_ts,nb_frames,width,"
               "height:stream_tags=timecode:stream_disposition=default",
               "stream");
}

inline std::vector<Record> chapters(const std::string& path) { return probe(path, "-show_chapters", "chapter"); }

inline Record formatTags(const std::string& path) {
  auto f = probe(path, "-show_entries format_tags", "format");
  return f.empty() ? Record{} : f[0];
}

// Every packet's timing, size, flags and data hash, by stream index.
inline std::map<int, std::string> packetsByStream(const std::string& path) {
  std::map<int, std::string> out;
  std::istringstream lines(enginetest::packets(path));
  for (std::string line; std::getline(lines, line);) {
    // "packet,<stream index>,..."
    size_t comma = line.find(',');
    if (comma == std::string::npos) continue;
    out[std::atoi(line.c_str() + comma + 1)] += line + "\n";
  }
  return out;
}

inline void copyFile(const std::string& from, const std::string& to) { enginetest::writeBytes(to, fileBytes(from)); }

// The number in "1/600".
inline long denominator(const std::string& timeBase) {
  size_t slash = timeBase.find('/');
  return slash == std::string::npos ? 0 : std::atol(timeBase.c_str() + slash + 1);
}

// The movie's 'mdta' items as key → UTF-8 value (the engine's metadata calls).
inline std::map<std::string, std::string> mdtaItems(Movie movie) {
  std::map<std::string, std::string> out;
  QTMetaDataRef meta = nullptr;
  if (QTCopyMovieMetaData(movie, &meta) != noErr) return out;
  QTMetaDataItem item = kQTMetaDataItemUninitialized;
  while (QTMetaDataGetNextItem(meta, kQTMetaDataStorageFormatQuickTime, item, 0, nullptr, 0, &item) == noErr) {
    std::string key(256, '\0'), value(4096, '\0');
    ByteCount keySize = 0, valueSize = 0;
    QTMetaDataGetItemProperty(meta, item, kPropertyClass_MetaDataItem, kQTMetaDataItemPropertyID_Key, key.size(),
                              key.data(), &keySize);
    QTMetaDataGetItemValue(meta, item, reinterpret_cast<UInt8*>(value.data()), value.size(), &valueSize);
    out[key.substr(0, keySize)] = value.substr(0, valueSize);
  }
  QTMetaDataRelease(meta);
  return out;
}

// A metadata item's key: 'mdta' keys are their bytes, four-character keys
// ('itsk', 'udta') an OSType as it lies in memory.
inline std::string fourCharKey(OSType type) { return std::string(reinterpret_cast<const char*>(&type), 4); }

// The value of the movie's first item under `key`, or "(none)".
inline std::string metaText(Movie movie, QTMetaDataStorageFormat storage, QTMetaDataKeyFormat keyFormat,
                            const std::string& key) {
  QTMetaDataRef meta = nullptr;
  if (QTCopyMovieMetaData(movie, &meta) != noErr) return "(none)";
  QTMetaDataItem item = kQTMetaDataItemUninitialized;
  std::string value = "(none)";
  if (QTMetaDataGetNextItem(meta, storage, item, keyFormat, reinterpret_cast<const UInt8*>(key.data()), key.size(),
                            &item) == noErr) {
    value.assign(4096, '\0');
    ByteCount size = 0;
    QTMetaDataGetItemValue(meta, item, reinterpret_cast<UInt8*>(value.data()), value.size(), &size);
    value.resize(size);
  }
  QTMetaDataRelease(meta);
  return value;
}

// Replaces every item under `key` with one UTF-8 value.
inline OSStatus setMetaText(Movie movie, QTMetaDataStorageFormat storage, QTMetaDataKeyFormat keyFormat,
                            const std::string& key, const std::string& value) {
  QTMetaDataRef meta = nullptr;
  OSStatus err = QTCopyMovieMetaData(movie, &meta);
  if (err != noErr) return err;
  const auto* k = reinterpret_cast<const UInt8*>(key.data());
  QTMetaDataRemoveItemsWithKey(meta, storage, keyFormat, k, key.size());
  QTMetaDataItem item;
  err = QTMetaDataAddItem(meta, storage, keyFormat, k, key.size(), reinterpret_cast<const UInt8*>(value.data()),
                          value.size(), kQTMetaDataTypeUTF8, &item);
  QTMetaDataRelease(meta);
  return err;
}

inline OSStatus addMdta(Movie movie, const std::string& key, const std::string& value) {
  return setMetaText(movie, kQTMetaDataStorageFormatQuickTime, kQTMetaDataKeyFormatQuickTime, key, value);
}

}  // namespace realfiles

// Plugin tests on movies read from files: the engine opens and saves the file, user
// code works on the movie through the plugin.
class RealFileTest : public EngineMovieTest {
 protected:
  void SetUp() override {
    EngineMovieTest::SetUp();
    if (!realfiles::haveTool("ffprobe") || !realfiles::haveTool("ffmpeg"))
      GTEST_SKIP() << "ffmpeg/ffprobe are not installed: real-file checks skipped";
    if (access((realfiles::filesDir() + "/" + realfiles::fileNames()[0]).c_str(), R_OK) != 0)
      GTEST_SKIP() << "make_files.sh made no files in " << realfiles::filesDir();
  }

  // Wraps an opened movie for user code; the movie stays the OpenedMovie's.
  rt::Value UserMovie(const realfiles::OpenedMovie& m) { return runtime().newMovie(m.movie); }

  rt::Value S(std::string_view bytes, uint32_t encoding = kREALEncodingUTF8) {
    return runtime().string(bytes, encoding);
  }
  static rt::Value I(int64_t v) { return rt::Value::integer(v); }
  rt::Value FullNameType() { return S("\xA9nam", kREALEncodingMacRoman); }
};
