// Movie files another program wrote (make_files.sh): the engine reads what ffprobe
// reads, user code finds their chapters, time codes, titles and metadata through
// the plugin, and edits saved in place leave every sample and its timing alone.
#include "realfiles.h"

#include <cmath>

using namespace realfiles;
using rt::Value;

namespace {

OSType mediaTypeOf(const Record& stream) {
  const std::string& type = stream.at("codec_type");
  if (type == "video") return VideoMediaType;
  if (type == "audio") return SoundMediaType;
  const std::string& tag = stream.at("codec_tag_string");
  return tag == "text" ? TextMediaType : tag == "tmcd" ? TimeCodeMediaType : 0;
}

std::vector<uint8_t> firstDescription(Media media) {
  HandleHolder h;
  GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(h.h));
  return h.bytes();
}

// Where ffmpeg keeps a file's title: in 'mdta' metadata when asked to, else in a
// .mov as '©nam' user-data text in the undetermined language, in an .mp4 as an
// iTunes item.
enum class TitleHome { QuickTimeMetadata, UserData, ITunes };
constexpr SInt32 kUndetermined = 0x55C4;  // 'und', packed

TitleHome titleHome(const std::string& name) {
  if (name.find("mdta") != std::string::npos) return TitleHome::QuickTimeMetadata;
  return name.find(".mov") != std::string::npos ? TitleHome::UserData : TitleHome::ITunes;
}

class RealFileTitleTest : public RealFileTest {
 protected:
  std::string TitleOf(const Value& movie, TitleHome home) {
    switch (home) {
      case TitleHome::QuickTimeMetadata:
        return MetadataOf(movie, "mdta")["title"];
      case TitleHome::UserData:
        return runtime().bytes(
            runtime().call(runtime().call(movie, "UserDataZQK"), "GetText", {FullNameType(), I(1), I(kUndetermined)}));
      case TitleHome::ITunes:
        return MetadataOf(movie, "itms")["\xA9nam"];
    }
    return "";
  }
  void SetTitle(const Value& movie, TitleHome home, const std::string& title) {
    switch (home) {
      case TitleHome::QuickTimeMetadata:
        SetMetadata(movie, "mdta", "title", title);
        break;
      case TitleHome::UserData:
        runtime().call(runtime().call(movie, "UserDataZQK"), "AddText",
                       {FullNameType(), I(1), I(kUndetermined), S(title)});
        break;
      case TitleHome::ITunes:
        SetMetadata(movie, "itms", "\xA9nam", title);
        break;
    }
  }
};

// Tracks, types, IDs, enabled state, time scales, durations, sample counts,
// formats and picture sizes: the engine's model against ffprobe's streams.
TEST_F(RealFileTest, TracksReadAsFfprobeSeesThem) {
  for (const std::string& name : fileNames()) {
    SCOPED_TRACE(name);
    const std::string path = filesDir() + "/" + name;
    OpenedMovie m(path, fsRdPerm);
    ASSERT_EQ(m.err, noErr) << m.message;
    const std::vector<Record> probed = streams(path);
    ASSERT_EQ(size_t(GetMovieTrackCount(m)), probed.size());
    for (const Record& s : probed) {
      const int index = std::stoi(s.at("index"));
      SCOPED_TRACE("stream " + std::to_string(index));
      Track t = GetMovieIndTrack(m, index + 1);
      Media media = GetTrackMedia(t);
      OSType type = 0;
      GetMediaHandlerDescription(media, &type, nullptr, nullptr);
      EXPECT_EQ(type, mediaTypeOf(s));
      EXPECT_EQ(long(GetTrackID(t)), std::stol(s.at("id"), nullptr, 16));
      EXPECT_EQ(bool(GetTrackEnabled(t)), s.at("disposition:default") == "1");
      const long scale = denominator(s.at("time_base"));
      EXPECT_EQ(long(GetMediaTimeScale(media)), scale);
      EXPECT_EQ(std::to_string(GetMediaSampleCount(media)), s.at("nb_frames"));
      // ffprobe counts the edited duration in the media's time base.
      const double edited = double(GetTrackDuration(t)) * scale / GetMovieTimeScale(m);
      EXPECT_NEAR(edited, std::stod(s.at("duration_ts")), 1.0);
      const std::vector<uint8_t> d = firstDescription(media);
      ASSERT_GE(d.size(), 16u);
      EXPECT_EQ(std::string(d.begin() + 4, d.begin() + 8), s.at("codec_tag_string"));
      if (type == VideoMediaType) {
        ASSERT_GE(d.size(), 36u);
        EXPECT_EQ(std::to_string(d[32] << 8 | d[33]), s.at("width"));
        EXPECT_EQ(std::to_string(d[34] << 8 | d[35]), s.at("height"));
      }
    }
  }
}

// What user code reads: the chapter list (times and titles, one not ASCII), the
// start time code (drop-frame or not), the title in user data; and the 'mdta'
// items ffmpeg put in moov/udta/meta.
TEST_F(RealFileTitleTest, ChaptersTimeCodesTitlesAndMetadataAsFfprobeReadsThem) {
  rt::Runtime& rt = Load();
  for (const std::string& name : fileNames()) {
    SCOPED_TRACE(name);
    const std::string path = filesDir() + "/" + name;
    Value movie = OpenUserMovie(path, false);
    const TimeScale scale = GetMovieTimeScale(QtMovieOf(movie));

    const std::vector<Record> probedChapters = chapters(path);
    Value track = rt.call(movie, "ChapterTrackZQK");
    EXPECT_EQ(rt.call(movie, "HasQTChapterTrackZQK").asBoolean(), !probedChapters.empty());
    if (!probedChapters.empty()) {
      ASSERT_FALSE(track.isNil());
      ASSERT_EQ(rt.call(track, "ChapterCount").asInteger(), int64_t(probedChapters.size()));
      for (size_t i = 0; i < probedChapters.size(); ++i) {
        const int64_t at = rt.call(track, "GetChapterTime", {I(int64_t(i) + 1)}).asInteger();
        EXPECT_NEAR(double(at) / scale, std::stod(probedChapters[i].at("start_time")), 0.001) << i;
        // Text without a byte-order mark comes back labelled ASCII, whatever its bytes.
        EXPECT_EQ(rt.bytes(rt.call(track, "ChapterText", {I(at)})), probedChapters[i].at("tag:title")) << i;
      }
    }

    std::string timeCode;
    for (const Record& s : streams(path))
      if (s.count("tag:timecode")) timeCode = s.at("tag:timecode");
    EXPECT_EQ(rt.call(movie, "HasTimeCodeTrackZQK").asBoolean(), !timeCode.empty());
    if (!timeCode.empty()) {
      EXPECT_EQ(Text(rt.call(movie, "CurrentTimeCodeStringZQK")), timeCode);
    }

    const Record tags = formatTags(path);
    EXPECT_EQ(TitleOf(movie, titleHome(name)), tags.at("tag:title"));
    if (name.find("mdta") != std::string::npos) {
      auto items = MetadataOf(movie, "mdta");
      EXPECT_EQ(items["com.example.key"], "Value");
      for (const auto& [key, value] : items) EXPECT_EQ(tags.at("tag:" + key), value) << key;
    }
  }
}

// A title, chapters where there were none, a time code where there was none and a
// metadata item, added by user code and saved in place: ffprobe finds them, the
// file's packets are the same bytes at the same times, and the file reads back.
TEST_F(RealFileTitleTest, EditsSavedInPlaceKeepEverySample) {
  rt::Runtime& rt = Load();
  ScratchDir dir;
  const std::string title = "Neuer Titel \xE2\x80\x94 \xC3\xBC";
  const std::string second = "Caf\xC3\xA9 \xE6\x9D\xB1\xE4\xBA\xAC";
  for (const std::string& name : fileNames()) {
    SCOPED_TRACE(name);
    const std::string path = dir / name;
    copyFile(filesDir() + "/" + name, path);
    const std::map<int, std::string> before = packetsByStream(path);
    const size_t streamCount = streams(path).size();
    bool addedChapters = false, addedTimeCode = false;
    {
      Value movie = OpenUserMovie(path, true);
      const TimeValue duration = GetMovieDuration(QtMovieOf(movie));
      SetTitle(movie, titleHome(name), title);
      if (!rt.call(movie, "HasQTChapterTrackZQK").asBoolean()) {
        Value one = rt.newObject("QTChapterDataZQK"), two = rt.newObject("QTChapterDataZQK");
        rt.set(one, "Text", S("Start"));
        rt.set(one, "FrameDuration", I(duration / 2));
        rt.set(two, "Text", S(second));
        rt.set(two, "FrameDuration", I(duration - duration / 2));
        Value added = rt.call(movie, "AddTextTrackZQK", {rt.newObjectArray({one, two}), S("vide"), Value::boolean(true)});
        ASSERT_FALSE(added.isNil());
        addedChapters = true;
      }
      if (!rt.call(movie, "HasTimeCodeTrackZQK").asBoolean()) {
        Value p = rt.newObject("QTTimeCodeCreationParametersZQK");
        rt.set(p, "Hours", I(10));
        ASSERT_EQ(rt.call(movie, "AddTimeCodeToMovieZQK", {p}).asInteger(), 0);
        addedTimeCode = true;
      }
      SetMetadata(movie, "mdta", "com.example.edited", "ja");
      rt.saveMovie(movie);
    }

    const std::map<int, std::string> after = packetsByStream(path);
    for (const auto& [index, list] : before) {
      ASSERT_TRUE(after.count(index)) << "stream " << index << " is gone";
      EXPECT_EQ(after.at(index), list) << "stream " << index << ": samples or their timing changed";
    }
    EXPECT_EQ(streams(path).size(), streamCount + addedChapters + addedTimeCode);
    const Record tags = formatTags(path);
    EXPECT_EQ(tags.count("tag:title") ? tags.at("tag:title") : "", title);
    EXPECT_EQ(tags.count("tag:com.example.edited") ? tags.at("tag:com.example.edited") : "", "ja");
    if (addedChapters) {
      auto c = chapters(path);
      ASSERT_EQ(c.size(), 2u);
      EXPECT_EQ(c[0].at("tag:title"), "Start");
      EXPECT_EQ(c[1].at("tag:title"), second);
      EXPECT_NEAR(std::stod(c[1].at("start_time")), std::stod(c[1].at("end_time")) / 2, 0.01);
    }
    if (addedTimeCode) {
      bool found = false;
      for (const Record& s : streams(path)) found = found || (s.count("tag:timecode") && s.at("tag:timecode") == "10:00:00;00");
      EXPECT_TRUE(found) << "no stream shows the time code 10:00:00;00";
    }

    Value movie = OpenUserMovie(path, false);
    EXPECT_EQ(TitleOf(movie, titleHome(name)), title);
    EXPECT_TRUE(rt.call(movie, "HasQTChapterTrackZQK").asBoolean());
    EXPECT_TRUE(rt.call(movie, "HasTimeCodeTrackZQK").asBoolean());
    EXPECT_EQ(MetadataOf(movie, "mdta")["com.example.edited"], "ja");
  }
}

}  // namespace
