// The README's main job: load the plugin into a host and show, on a built-in
// sample, what user code can do with it.
#include "api_listing.h"
#include "commands.h"

#include <cstdio>
#include <iostream>
#include <sstream>

namespace tool {
namespace {

using rt::Value;

std::string hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "&h%06X", v);
  return buf;
}

void showChapterRecord(rt::Runtime& runtime) {
  Value chapter = runtime.newObject("QTChapterDataZQK");
  runtime.set(chapter, "Text", runtime.string("Intro"));
  runtime.set(chapter, "FrameDuration", Value::integer(600));
  runtime.set(chapter, "FontName", runtime.string("Monaco"));
  runtime.set(chapter, "TextColor", Value::color(0xFFCC00));
  std::cout << "Chapter record (QTChapterDataZQK)\n"
            << "  Text              " << runtime.utf8(runtime.get(chapter, "Text")) << '\n'
            << "  FrameDuration     " << runtime.get(chapter, "FrameDuration").asInteger() << '\n'
            << "  FontName          " << runtime.utf8(runtime.get(chapter, "FontName")) << "  (FontNumber "
            << runtime.get(chapter, "FontNumber").asInteger() << ")\n"
            << "  TextColor         " << hex(runtime.get(chapter, "TextColor").asColor()) << '\n'
            << "  TextJustification " << runtime.get(chapter, "TextJustification").asInteger() << "  (teCenter = "
            << runtime.constant("QTChapterDataZQK", "teCenter").asInteger() << ")\n"
            << "  DisplayFlags      " << runtime.get(chapter, "DisplayFlags").asInteger() << "  (dfClipToTextBox = "
            << runtime.constant("QTChapterDataZQK", "dfClipToTextBox").asInteger() << ")\n";
}

void showTimeCodeParameters(rt::Runtime& runtime) {
  Value p = runtime.newObject("QTTimeCodeCreationParametersZQK");
  std::cout << "Time-code parameters (QTTimeCodeCreationParametersZQK), defaults\n"
            << "  TimeScale " << runtime.get(p, "TimeScale").asInteger() << ", FrameDuration "
            << runtime.get(p, "FrameDuration").asInteger() << ", NumberOfFrames "
            << runtime.get(p, "NumberOfFrames").asInteger() << ", DropFrames "
            << (runtime.get(p, "DropFrames").asBoolean() ? "true" : "false") << '\n'
            << "  SourceName \"" << runtime.utf8(runtime.get(p, "SourceName")) << "\", FontName \""
            << runtime.utf8(runtime.get(p, "FontName")) << "\"\n";
  runtime.call(p, "Close");
}

void showTimeCode(rt::Runtime& runtime) {
  Value tc = runtime.newObject("QTTimeCodeZQK");
  runtime.set(tc, "TimeScale", Value::integer(2997));
  runtime.set(tc, "FrameDuration", Value::integer(100));
  runtime.set(tc, "NumberOfFrames", Value::integer(30));
  runtime.set(tc, "DropFrames", Value::boolean(true));
  runtime.set(tc, "Hours", Value::integer(1));
  runtime.set(tc, "SourceName", runtime.string("Camera A"));
  std::cout << "Time code (QTTimeCodeZQK)\n"
            << "  Flags " << runtime.get(tc, "Flags").asInteger() << ", Hours " << runtime.get(tc, "Hours").asInteger()
            << ", Counter " << runtime.get(tc, "Counter").asInteger() << ", SourceName \""
            << runtime.utf8(runtime.get(tc, "SourceName")) << "\"\n";
}

}  // namespace

int runDemo(const Args& args) {
  if (wantsHelp(args, "usage: pelorin demo\n\nLoads the plugin into a host and shows what it does on a built-in sample.\n"))
    return 0;
  if (!args.empty()) throw std::invalid_argument("demo takes no arguments (see pelorin demo --help)");

  rt::Runtime runtime;
  runtime.loadPlugin(rt::Runtime::defaultPluginPath());
  std::cout << "Pelorin loaded into a host of version " << *runtime.config().hostVersion << "\n\n";

  showChapterRecord(runtime);
  std::cout << '\n';
  showTimeCodeParameters(runtime);
  std::cout << '\n';
  showTimeCode(runtime);

  std::ostringstream listing;
  ApiCounts n = printApi(runtime, listing, false);
  std::cout << "\nRegistered API\n" << listing.str() << "  " << n.classes << " classes, " << n.properties
            << " properties, " << n.methods << " methods, " << n.constants << " constants, " << n.sharedMethods
            << " shared methods; " << n.movieMembers << " movie members (pelorin api lists them all)\n";
  return 0;
}

}  // namespace tool
