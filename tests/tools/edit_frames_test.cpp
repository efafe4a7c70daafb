// The edit commands on movies other programs made, checked by decoders nobody
// here wrote: the frames ffmpeg decodes from each output are, by their md5, the
// source's frames the edit selects; sound decodes to the source's samples away
// from the edits; GStreamer's discoverer reports the expected duration.
#include "tool_support.h"

#include <cstdint>
#include <cstring>
#include <functional>

namespace tooltest {
namespace {

using enginetest::haveTool;
using enginetest::run;

// Sources: 4 s, 100 frames at 25 a second (a sync frame every 25 in the H.264
// ones, with B-frames), and 4 s of sound at 48 kHz that no stretch repeats: a
// chirp (AAC codes noise as noise, which no two decodes make alike) or noise.
constexpr int kFrames = 100, kRate = 48000, kPerFrame = kRate / 25;

struct Source {
  const char* name;
  const char* maker;  // "ffmpeg" or "gst-launch-1.0"
  const char* command;
  bool copiesAcross;  // whether samples copied into another movie still decode (join, insert)
  int tolerance;      // how far decoded samples may differ: a float decoder rounds differently after a jump
};

const Source kSources[] = {
    {"h264-aac.mp4", "ffmpeg",
     "ffmpeg -v error -nostdin -y -f lavfi -i testsrc=d=4:s=160x120:r=25 -f lavfi -i 'aevalsrc=0.5*sin(2*PI*(200+500*t)*t):s=48000:d=4' "
     "-c:v libx264 -bf 2 -g 25 -pix_fmt yuv420p -c:a aac OUT",
     false, 1},
    {"h264-aac.mov", "ffmpeg",
     "ffmpeg -v error -nostdin -y -f lavfi -i testsrc=d=4:s=160x120:r=25 -f lavfi -i 'aevalsrc=0.5*sin(2*PI*(200+500*t)*t):s=48000:d=4' "
     "-c:v libx264 -bf 2 -g 25 -pix_fmt yuv420p -c:a aac OUT",
     false, 1},
    {"mjpeg-pcm.mov", "ffmpeg",
     "ffmpeg -v error -nostdin -y -f lavfi -i testsrc=d=4:s=160x120:r=25 -f lavfi -i 'aevalsrc=0.5*sin(2*PI*(200+500*t)*t):s=48000:d=4' "
     "-c:v mjpeg -c:a pcm_s16le OUT",
     true, 0},
    {"gst-mjpeg-pcm.mov", "gst-launch-1.0",
     "gst-launch-1.0 -q videotestsrc num-buffers=100 ! video/x-raw,width=160,height=120,framerate=25/1 ! jpegenc ! "
     "queue ! qtmux name=m ! filesink location=OUT audiotestsrc num-buffers=100 samplesperbuffer=1920 "
     "wave=white-noise ! audio/x-raw,format=S16LE,rate=48000,channels=1 ! queue ! m.",
     true, 0},
};

// A command on a copy of the source (SRC, written in place unless OUT is
// named), and the source's frames [from, to) it leaves, in order.
struct Edit {
  const char* name;
  std::vector<std::string> args;
  std::vector<std::pair<int, int>> pieces;
  bool copiesAcross;
};

const Edit kEdits[] = {
    // f37 is no sync frame: the cut resumes mid-group.
    {"cut", {"cut", "SRC", "--from", "f13", "--to", "f37"}, {{0, 13}, {37, kFrames}}, false},
    {"cut-flattened", {"cut", "SRC", "--from", "0.52", "--to", "1.49", "--output", "OUT"}, {{0, 13}, {37, kFrames}},
     false},
    {"trim", {"trim", "SRC", "--start", "00:00:00.530", "--end", "f62"}, {{13, 62}}, false},
    {"trim-fast-start", {"trim", "SRC", "--start", "f40", "--output", "OUT", "--fast-start"}, {{40, kFrames}}, false},
    {"join", {"join", "SRC", "SRC", "--output", "OUT"}, {{0, kFrames}, {0, kFrames}}, true},
    {"insert", {"insert", "SRC", "--at", "f10", "--from", "SRC", "--start", "f5", "--end", "f20"},
     {{0, 10}, {5, 20}, {10, kFrames}}, true},
};

void PrintTo(const Source& s, std::ostream* out) { *out << s.name; }
void PrintTo(const Edit& e, std::ostream* out) { *out << e.name; }

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The md5 of every decoded video frame, in order.
std::vector<std::string> frameMd5s(const std::string& path) {
  return lines(run("ffmpeg -v error -nostdin -i " + quoted(path) +
                   " -map 0:v -f framemd5 - | grep -v '^#' | sed 's/.*, //'"));
}

std::vector<int16_t> pcm(const std::string& path) {
  const std::string bytes = run("ffmpeg -v error -nostdin -i " + quoted(path) + " -map 0:a -f s16le -ac 1 -");
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

class EditFramesTest : public ToolTest, public ::testing::WithParamInterface<std::tuple<Source, Edit>> {
 protected:
  void SetUp() override {
    if (!haveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    if (!haveTool(std::get<0>(GetParam()).maker)) GTEST_SKIP() << std::get<0>(GetParam()).maker << " is not installed";
  }

  std::string Make(const Source& s) {
    const std::string path = dir_ / s.name;
    std::string command = s.command;
    command.replace(command.find("OUT"), 3, quoted(path));
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
  }
};

TEST_P(EditFramesTest, DecodesToTheFramesAndSoundTheEditSelects) {
  const auto& [source, edit] = GetParam();
  if (edit.copiesAcross && !source.copiesAcross)
    GTEST_SKIP() << "samples copied into another movie lose their composition offsets and the sync sample before "
                    "them, so H.264 with B-frames and AAC do not decode there yet";
  const std::string original = Make(source), src = dir_ / (std::string("edited-") + source.name),
                    out = dir_ / (std::string("out-") + source.name);
  enginetest::writeBytes(src, enginetest::fileBytes(original));
  std::vector<std::string> args = edit.args;
  for (std::string& a : args) a = a == "SRC" ? src : a == "OUT" ? out : a;
  Outcome r = Pelorin(args);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string result = std::find(args.begin(), args.end(), out) != args.end() ? out : src;

  const std::vector<std::string> frames = frameMd5s(original), got = frameMd5s(result);
  ASSERT_EQ(frames.size(), size_t(kFrames));
  std::vector<std::string> expected;
  for (auto [from, to] : edit.pieces) expected.insert(expected.end(), frames.begin() + from, frames.begin() + to);
  EXPECT_EQ(got, expected);

  // Sound: each piece's samples, two packets in from either edge (a decoder
  // that starts or stops mid-stream is off there), lie where the pieces before
  // it end, give or take the packet a decoder is loose by at an edit.
  constexpr long kPacket = 1024, kMargin = 2 * kPacket;
  const std::vector<int16_t> sound = pcm(original), heard = pcm(result);
  long at = 0;
  for (auto [from, to] : edit.pieces) {
    const long begin = long(from) * kPerFrame + kMargin,
               end = std::min<long>(long(to) * kPerFrame, long(sound.size())) - kMargin;
    bool found = false;
    for (long shift = -kPacket; !found && shift <= kPacket; ++shift) {
      const long start = at + kMargin + shift;
      found = start >= 0 && start + (end - begin) <= long(heard.size()) &&
              std::equal(sound.begin() + begin, sound.begin() + end, heard.begin() + start,
                         [&](int a, int b) { return std::abs(a - b) <= source.tolerance; });
    }
    EXPECT_TRUE(found) << "frames " << from << " to " << to << ": the sound is not the source's";
    at += long(to - from) * kPerFrame;
  }
  EXPECT_LE(std::labs(long(heard.size()) - at), kPacket);

  if (haveTool("gst-discoverer-1.0")) {
    const std::string said = run("gst-discoverer-1.0 " + quoted(result) + " | grep -m1 Duration");
    char expectedDuration[32];
    std::snprintf(expectedDuration, sizeof expectedDuration, "0:00:%02d.%02d", int(expected.size()) / 25,
                  int(expected.size()) % 25 * 4);
    EXPECT_NE(said.find(expectedDuration), std::string::npos) << said << " (expected " << expectedDuration << ")";
  }
}

INSTANTIATE_TEST_SUITE_P(SourcesAndEdits, EditFramesTest,
                         ::testing::Combine(::testing::ValuesIn(kSources), ::testing::ValuesIn(kEdits)),
                         [](const auto& info) {
                           std::string name = std::string(std::get<0>(info.param).name) + "_" +
                                              std::get<1>(info.param).name;
                           for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

}  // namespace
}  // namespace tooltest
