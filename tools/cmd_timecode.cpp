// pelorin timecode FILE | timecode add FILE --start HH:MM:SS;FF | timecode remove FILE:
// the movie's time code track, read and written through the plugin.
#include "commands.h"
#include "movie_report.h"
#include "options.h"
#include "times.h"

#include <iostream>

namespace tool {
namespace {

using rt::Value;

std::string help() {
  return "usage: pelorin timecode FILE [--json]\n"
         "       pelorin timecode add FILE --start HH:MM:SS:FF [--rate RATE] [--show]\n"
         "                                 [--output OUT [--fast-start]]\n"
         "       pelorin timecode remove FILE [--output OUT [--fast-start]]\n\n"
         "Shows, adds or removes the time code track of a movie file. The time code\n"
         "counts from --start at the first frame; a ';' before the frames (01:00:00;00)\n"
         "counts drop frame, which only 29.97 and 59.94 have. The track follows the\n"
         "first video track, which names it as its time code.\n\n"
         "  --start TC      the time code of the movie's first frame\n"
         "  --rate RATE     frames a second: " +
         frameRateNames() +
         "\n"
         "                  (by default the video's own rate, else 29.97)\n"
         "  --show          display the time code below the video\n"
         "  --output OUT    write the edited movie to OUT, a new self-contained file, and\n"
         "                  leave FILE as it is (otherwise FILE is updated in place)\n"
         "  --fast-start    with --output, put the movie atom before the sample data\n"
         "  --json          show as JSON\n";
}

// The standard rate nearest the first video track's frames a second.
const FrameRate* videoRate(MovieFile& file) {
  rt::Runtime& rt = file.runtime();
  Value video = file.call(file.movie(), "GetVideoTrackZQK", {Value::integer(1)});
  if (video.isNil()) return nullptr;
  const double scale = double(rt.get(file.movie(), "TimeScale").asInteger());
  const double seconds = double(file.call(video, "Duration").asInteger()) / scale;
  const int64_t frames = file.call(video, "MediaSampleCount").asInteger();
  return seconds > 0 && frames > 1 ? nearestFrameRate(double(frames) / seconds) : nullptr;
}

int showTimeCode(const Options& o) {
  MovieFile file(o.positional[0], false);
  MovieReport report;
  readMovie(file, report);
  readTimeCode(file, report);
  if (o.has("--json")) {
    JsonWriter json(std::cout);
    json.beginObject();
    jsonMovie(json, report);
    jsonTimeCode(json, report);
    json.endObject();
    json.finish();
  } else {
    printTimeCode(std::cout, report);
  }
  return 0;
}

int addTimeCode(const Options& o) {
  std::optional<std::string> startText = o.value("--start");
  if (!startText) throw std::invalid_argument("timecode add needs --start HH:MM:SS:FF (see pelorin timecode --help)");
  std::optional<TimeCodeText> start = parseTimeCode(*startText);
  if (!start) throw std::invalid_argument("--start wants a time code such as 01:00:00:00 or 01:00:00;00, not '" +
                                          *startText + "'");
  const FrameRate* rate = nullptr;
  if (std::optional<std::string> r = o.value("--rate")) {
    rate = findFrameRate(*r);
    if (!rate) throw std::invalid_argument("--rate wants one of " + frameRateNames() + ", not '" + *r + "'");
  }

  MovieFile file(o.positional[0], true, o.value("--output"));
  rt::Runtime& rt = file.runtime();
  if (file.call(file.movie(), "HasTimeCodeTrackZQK").asBoolean())
    throw FileError(file.path(), "the movie has a time code track already (pelorin timecode remove takes it away)");
  if (!rate) rate = videoRate(file);
  if (!rate) rate = findFrameRate("29.97");
  if (start->dropFrame && !rate->dropFrameAllowed)
    throw std::invalid_argument(std::string("drop frame time codes (';') count at 29.97 or 59.94, not ") + rate->name);
  if (start->frames >= rate->framesPerSecond)
    throw std::invalid_argument("frame " + std::to_string(start->frames) + " of --start does not exist at " +
                                rate->name + " frames a second");
  // Drop frame skips the first labels (2 at 29.97, 4 at 59.94) of every minute
  // but each tenth.
  if (const int dropped = rate->framesPerSecond / 15;
      start->dropFrame && start->seconds == 0 && start->minutes % 10 != 0 && start->frames < dropped)
    throw std::invalid_argument("--start " + *startText + " does not exist in drop frame: frames ;00 to ;" +
                                (dropped < 11 ? "0" : "") + std::to_string(dropped - 1) +
                                " are skipped at the start of each minute not divisible by ten");

  Value parameters = rt.newObject("QTTimeCodeCreationParametersZQK");
  rt.set(parameters, "TimeScale", Value::integer(rate->timeScale));
  rt.set(parameters, "FrameDuration", Value::integer(rate->frameDuration));
  rt.set(parameters, "NumberOfFrames", Value::integer(rate->framesPerSecond));
  rt.set(parameters, "DropFrames", Value::boolean(start->dropFrame));
  rt.set(parameters, "Hours", Value::integer(start->hours));
  rt.set(parameters, "Minutes", Value::integer(start->minutes));
  rt.set(parameters, "Seconds", Value::integer(start->seconds));
  rt.set(parameters, "Frames", Value::integer(start->frames));
  rt.set(parameters, "DisplayTimeCode", Value::boolean(o.has("--show")));
  rt.set(parameters, "SourceName", rt.string("pelorin"));
  const int64_t result = file.call(file.movie(), "AddTimeCodeToMovieZQK", {parameters}).asInteger();
  if (result == -2030) throw FileError(file.path(), "the movie has no video track to give a time code to");
  if (result != 0) throw FileError(file.path(), "the time code track could not be made (" + std::to_string(result) + ")");
  file.save(o.has("--fast-start"));
  file.said() << "added time code " << *startText << " at " << rate->name << " frames a second to "
            << file.destination() << '\n';
  return 0;
}

int removeTimeCode(const Options& o) {
  MovieFile file(o.positional[0], true, o.value("--output"));
  if (!file.call(file.movie(), "HasTimeCodeTrackZQK").asBoolean()) {
    file.said() << file.path() << " has no time code\n";
    return 0;
  }
  file.call(file.movie(), "DeleteTimeCodeTracksZQK");
  file.save(o.has("--fast-start"));
  file.said() << "removed the time code of " << file.destination() << '\n';
  return 0;
}

}  // namespace

int runTimeCode(const Args& args) {
  if (wantsHelp(args, help().c_str())) return 0;
  Options o = parseOptions(args, "timecode", {"--start", "--rate", "--output"}, {"--json", "--show", "--fast-start"});
  std::string action = "show";
  if (!o.positional.empty() && (o.positional[0] == "add" || o.positional[0] == "remove")) {
    action = o.positional[0];
    o.positional.erase(o.positional.begin());
  }
  if (o.positional.size() != 1) throw std::invalid_argument("timecode takes one FILE (see pelorin timecode --help)");
  if (action == "show") {
    allowOnly(o, {"--json"}, "timecode FILE");
    return showTimeCode(o);
  }
  if (action == "add") {
    allowOnly(o, {"--start", "--rate", "--show", "--output", "--fast-start"}, "timecode add");
    return addTimeCode(o);
  }
  allowOnly(o, {"--output", "--fast-start"}, "timecode remove");
  return removeTimeCode(o);
}

}  // namespace tool
