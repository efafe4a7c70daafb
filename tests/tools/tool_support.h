// The pelorin tool as a person uses it: the built program run on movie files,
// its output read back, its JSON parsed, and the files checked byte for byte
// whenever a command fails or writes elsewhere.
#pragma once

#include "../engine/file_support.h"
#include "json_value.h"

#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tooltest {

using enginetest::fileBytes;


struct Outcome {
  int status = -1;
  std::string out, err;
};

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string quoted(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class ToolTest : public ::testing::Test {
 protected:
  Outcome Pelorin(const std::vector<std::string>& args) {
    std::string command = PELORIN_TOOL_PATH;
    for (const std::string& a : args) command += " " + quoted(a);
    const std::string out = dir_ / "stdout", err = dir_ / "stderr";
    const int rc = std::system((command + " >" + out + " 2>" + err + " </dev/null").c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, readFile(out), readFile(err)};
  }

  Json JsonOf(const std::vector<std::string>& args) {
    Outcome r = Pelorin(args);
    EXPECT_EQ(r.status, 0) << r.err;
    std::optional<Json> doc = tooltest::JsonParser(r.out).parse();
    EXPECT_TRUE(doc.has_value()) << "not JSON:\n" << r.out;
    return doc.value_or(Json{});
  }

  // 4 s of 320 × 240 video at 25 frames a second and of mono sound, flattened
  // into a movie file by the engine.
  std::string SampleMovie(const std::string& name) {
    enginetest::MovieHolder movie(600);
    enginetest::videoTrack(movie, 600, 100, 24);
    Track sound = NewMovieTrack(movie, 0, 0, 0x100);
    Media media = NewTrackMedia(sound, SoundMediaType, 44100, nullptr, 0);
    BeginMediaEdits(media);
    enginetest::addSamples(media, enginetest::soundDescription(1), 44100 * 4, 1, 2);
    EndMediaEdits(media);
    InsertMediaIntoTrack(sound, 0, 0, GetMediaDuration(media), fixed1);
    const std::string path = dir_ / name;
    FSSpec fsSpec = enginetest::fsSpecOf(path);
    Movie flat = FlattenMovieData(movie, flattenAddMovieToDataFork, &fsSpec, "TVOD"_4cc, 0,
                                  createMovieFileDeleteCurFile);
    EXPECT_NE(flat, nullptr) << QTEngineLastFileErrorMessage();
    if (flat) DisposeMovie(flat);
    return path;
  }

  std::string ListFile(const std::string& name, const std::string& text) {
    const std::string path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  // Runs a command that must fail, and checks it changed no byte of `file`.
  Outcome Refused(const std::vector<std::string>& args, const std::string& file) {
    const std::vector<uint8_t> before = fileBytes(file);
    Outcome r = Pelorin(args);
    EXPECT_NE(r.status, 0) << r.out;
    EXPECT_EQ(fileBytes(file), before) << "a failed command changed " << file;
    return r;
  }

  enginetest::ScratchDir dir_;
};

}  // namespace tooltest
