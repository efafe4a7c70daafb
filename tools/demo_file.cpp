// The demo's file section: the sample movie, given chapters, a time code, an
// author and a name through the plugin, written to a movie file, opened again and
// described as `pelorin info` describes it.
#include "demo.h"
#include "movie_file.h"
#include "movie_report.h"

#include <QuickTime/QuickTime.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace tool {

namespace {

using rt::Value;

std::string samplePath() {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/pelorin-demo-XXXXXX";
  if (!mkdtemp(dir.data())) throw std::runtime_error("cannot make a folder for the sample movie in " + dir);
  return dir + "/sample.mov";
}

void editAndSave(rt::Runtime& runtime, Movie qtMovie, const std::string& path) {
  Value movie = runtime.newMovie(qtMovie);
  Value chapters = runtime.newObjectArray({newChapter(runtime, "Opening", 1800),
                                           newChapter(runtime, "Caf\u00e9 \u2014 \u00e0 Z\u00fcrich", 3000),
                                           newChapter(runtime, "Credits", 1200)});
  runtime.call(movie, "AddTextTrackZQK", {chapters, runtime.string("vide"), Value::boolean(true)});
  Value parameters = runtime.newObject("QTTimeCodeCreationParametersZQK");
  runtime.set(parameters, "TimeScale", Value::integer(2500));
  runtime.set(parameters, "NumberOfFrames", Value::integer(25));
  runtime.set(parameters, "DropFrames", Value::boolean(false));
  runtime.set(parameters, "Hours", Value::integer(10));
  runtime.call(movie, "AddTimeCodeToMovieZQK", {parameters});
  Value metadata = runtime.call(movie, "MetaDataZQK");
  runtime.call(metadata, "AddItem",
               {runtime.string("mdta"), runtime.string("mdta"), runtime.string("com.apple.quicktime.author"),
                runtime.string("Zo\u00eb Aubert"), runtime.constant("QTMetaDataZQK", "kQTMetaDataTypeUTF8")});
  Value userData = runtime.call(movie, "UserDataZQK");
  runtime.call(userData, "AddText",
               {runtime.string("\u00a9nam"), Value::integer(1), Value::integer(0), runtime.string("Pelorin sample")});
  runtime.saveMovieAs(movie, runtime.newFolderItem(path), true);
}

}  // namespace

std::string showSavedMovie() {
  const std::string path = samplePath();
  {
    rt::Runtime runtime(quickTimeHost());
    runtime.loadPlugin(rt::Runtime::defaultPluginPath());
    Movie qtMovie = newAudioVisualMovie();
    editAndSave(runtime, qtMovie, path);
    DisposeMovie(qtMovie);
  }
  std::cout << "The sample with chapters, a 25 fps time code from 10:00:00:00, an author and a name, saved\n"
            << "and reopened (pelorin info " << path << ")\n";
  MovieFile file(path, false);
  printReport(std::cout, reportOf(file));
  return path;
}

}  // namespace tool
