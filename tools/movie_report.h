// What the reading commands report about a movie, gathered through the plugin's
// members, and printed for a person or as JSON. Nothing here walks the samples:
// every figure comes from the movie's tables.
#pragma once

#include "json.h"
#include "movie_file.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace tool {

struct DescriptionInfo {
  std::string format;  // the codec's four-character code
  std::string name;    // codec name (video) or default font (text), may be ""
  int64_t width = 0, height = 0, depth = 0;            // video
  int64_t channels = 0, bitsPerSample = 0;             // sound
  double sampleRate = 0;                               // sound
};

struct TrackInfo {
  int64_t id = 0;
  std::string type;  // media type: "vide", "soun", "text", "tmcd", ...
  bool enabled = false;
  int64_t duration = 0;  // in movie time units
  int64_t width = 0, height = 0;
  int64_t samples = 0;
  bool chapters = false;  // a chapter track of another track
  std::vector<DescriptionInfo> descriptions;
};

struct ChapterInfo {
  int64_t start = 0;  // movie time units
  std::string title;
};

struct TimeCodeInfo {
  int64_t trackId = 0;
  std::string start;  // the first frame's time code, "01:00:00;00"
  int64_t timeScale = 0, frameDuration = 0, framesPerSecond = 0;
  bool dropFrame = false;
  bool shown = false;
  std::string source;
};

struct UserDataInfo {
  std::string type;
  int64_t size = 0;           // bytes of the entry's data
  std::vector<std::string> texts;  // text entries (types beginning with ©), or printable data
};

struct MetadataInfo {
  std::string storage;  // 'mdta' (QuickTime), 'itms' (iTunes), 'udta' (user data)
  std::string key;      // reverse-DNS for 'mdta' keys, else a four-character code
  std::string value;    // as text; images and other binary data by kind and size
  int64_t dataType = 0; // well-known type: 1 UTF-8, 2 UTF-16, 3 Mac text, 21 integer, 13/14 images, ...
};

struct MovieReport {
  std::string file;
  int64_t timeScale = 0;
  int64_t duration = 0;  // movie time units
  std::vector<TrackInfo> tracks;
  std::vector<ChapterInfo> chapters;
  std::optional<TimeCodeInfo> timeCode;
  std::vector<MetadataInfo> metadata;
  std::vector<UserDataInfo> userData;
};

// Each reader fills its part of the report.
void readMovie(MovieFile& file, MovieReport& report);  // file, time scale, duration
void readTracks(MovieFile& file, MovieReport& report);
void readChapters(MovieFile& file, MovieReport& report);
void readTimeCode(MovieFile& file, MovieReport& report);
void readUserData(MovieFile& file, MovieReport& report);
void readMetadata(MovieFile& file, MovieReport& report);

// Text printers, one section each, every line after `indent`, and the JSON
// members of each part.
void printTracks(std::ostream& out, const MovieReport& report);
void printChapterList(std::ostream& out, const MovieReport& report, const char* indent = "");  // as lists are read
void printTimeCode(std::ostream& out, const MovieReport& report);
void printUserData(std::ostream& out, const MovieReport& report, const char* indent = "");
void printMetadata(std::ostream& out, const MovieReport& report, const char* indent = "");

void jsonMovie(JsonWriter& json, const MovieReport& report);  // "file", "timeScale", "duration"
void jsonTracks(JsonWriter& json, const MovieReport& report);
void jsonChapters(JsonWriter& json, const MovieReport& report);
void jsonTimeCode(JsonWriter& json, const MovieReport& report);
void jsonUserData(JsonWriter& json, const MovieReport& report);
void jsonMetadata(JsonWriter& json, const MovieReport& report);

// Everything `pelorin info` shows, gathered, printed and written as JSON.
MovieReport reportOf(MovieFile& file);
void printReport(std::ostream& out, const MovieReport& report);
void writeReportJson(std::ostream& out, const MovieReport& report);

// The chapter track of the movie: the one the first enabled track names, or nil.
rt::Value chapterTrackOf(MovieFile& file);

}  // namespace tool
