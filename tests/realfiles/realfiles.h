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

  // A movie file opened as user code opens one, through a folder item.
  rt::Value OpenUserMovie(const std::string& path, bool editable) {
    return runtime().openMovie(runtime().newFolderItem(path), editable);
  }
  // The QuickTime movie behind a movie object that has tracks.
  Movie QtMovieOf(const rt::Value& movie) {
    return GetTrackMovie(HandleOf(runtime().call(movie, "GetTrackIndexZQK", {I(1)})));
  }

  // The movie's metadata items of one storage format ("mdta", "itms", "udta") as
  // key → value; four-character keys as their text ("©nam").
  std::map<std::string, std::string> MetadataOf(const rt::Value& movie, const std::string& storage) {
    rt::Runtime& rt = runtime();
    rt::Value md = rt.call(movie, "MetaDataZQK");
    std::map<std::string, std::string> out;
    for (rt::Value item = rt.call(md, "FirstItem"); !item.isNil(); item = rt.call(md, "NextItem")) {
      if (rt.bytes(rt.call(item, "GetPropertyCode", {S("sfmt")})) != storage) continue;
      const bool textKey = storage == "mdta";
      rt::Value key = rt.call(item, "GetPropertyString", {S("key ")});
      if (!textKey) key = rt.call(item, "GetPropertyCode", {S("key ")});
      rt::Value value = rt.call(item, "GetString");
      out.emplace(rt.bytes(key), value.isNil() ? "" : rt.bytes(value));
    }
    rt.call(md, "Close");
    return out;
  }
  // Replaces the items under `key` ('mdta' keys as text, 'itms' short keys as four
  // characters) with one UTF-8 value.
  void SetMetadata(const rt::Value& movie, const std::string& storage, const std::string& key,
                   const std::string& value) {
    rt::Runtime& rt = runtime();
    rt::Value md = rt.call(movie, "MetaDataZQK");
    if (storage == "mdta") {
      rt.call(md, "RemoveItemsWithKey", {S("mdta"), S("mdta"), S(key)});
      EXPECT_FALSE(rt.call(md, "AddItem", {S("mdta"), S("mdta"), S(key), S(value), I(kQTMetaDataTypeUTF8)}).isNil());
    } else {
      rt::Value code = S(key, kREALEncodingMacRoman);
      rt.call(md, "RemoveItemsWithKeyCode", {S(storage), S("itsk"), code});
      EXPECT_FALSE(
          rt.call(md, "AddItemCode", {S(storage), S("itsk"), code, S(value), I(kQTMetaDataTypeUTF8)}).isNil());
    }
    rt.call(md, "Close");
  }

  rt::Value S(std::string_view bytes, uint32_t encoding = kREALEncodingUTF8) {
    return runtime().string(bytes, encoding);
  }
  static rt::Value I(int64_t v) { return rt::Value::integer(v); }
  rt::Value FullNameType() { return S("\xA9nam", kREALEncodingMacRoman); }
};
