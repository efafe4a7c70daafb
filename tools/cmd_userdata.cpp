// pelorin userdata FILE [set TYPE TEXT | remove TYPE]: the movie's user data,
// read and written through the plugin's QTUserDataZQK.
#include "commands.h"
#include "movie_report.h"
#include "options.h"
#include "text.h"

#include <iostream>

namespace tool {
namespace {

using rt::Value;

const char kHelp[] =
    "usage: pelorin userdata FILE [--json]\n"
    "       pelorin userdata FILE set TYPE TEXT [--output OUT [--fast-start]]\n"
    "       pelorin userdata FILE remove TYPE [--output OUT [--fast-start]]\n\n"
    "Lists the movie's user data, or sets or removes the entries of one type. TYPE\n"
    "is four characters, such as \u00a9nam (name), \u00a9cmt (comment) or \u00a9day (date);\n"
    "types beginning with \u00a9 hold text that other players show: plain ASCII under\n"
    "the Mac language code 0, other text as UTF-8 under the language code 'und'.\n"
    "Setting a type replaces what it held.\n\n"
    "  --output OUT    write the edited movie to OUT, a new self-contained file, and\n"
    "                  leave FILE as it is (otherwise FILE is updated in place)\n"
    "  --fast-start    with --output, put the movie atom before the sample data\n"
    "  --json          list as JSON\n";

// The language code of undetermined-language text, packed ISO 639 'und':
// readers take text under such a code as UTF-8.
constexpr int64_t kUndeterminedLanguage = ((('u' - 0x60) << 10) | (('n' - 0x60) << 5) | ('d' - 0x60));

constexpr size_t kMaxTextBytes = 0xFFFF;

// Removes every entry of `type`; how many there were.
int64_t removeAll(MovieFile& file, const Value& list, const Value& type) {
  const int64_t count = file.call(list, "CountType", {type}).asInteger();
  for (int64_t i = 0; i < count; ++i) file.call(list, "RemoveData", {type, Value::integer(1)});
  return count;
}

int listUserData(const Options& o) {
  MovieFile file(o.positional[0], false);
  MovieReport report;
  readMovie(file, report);
  readUserData(file, report);
  if (o.has("--json")) {
    JsonWriter json(std::cout);
    json.beginObject();
    jsonMovie(json, report);
    jsonUserData(json, report);
    json.endObject();
    json.finish();
  } else {
    printUserData(std::cout, report);
  }
  return 0;
}

int editUserData(const Options& o, const std::string& action) {
  const size_t words = action == "set" ? 4 : 3;
  if (o.positional.size() != words)
    throw std::invalid_argument("userdata FILE " + action + (action == "set" ? " TYPE TEXT" : " TYPE") +
                                " (see pelorin userdata --help)");
  const std::string typeText = fourCharCode(o.positional[2], "TYPE");
  const bool isText = typeText.rfind("\u00a9", 0) == 0;
  // Plain ASCII reads the same in Mac Roman, which every reader knows; other
  // text goes as UTF-8 under a packed ISO language code, which modern readers
  // decode where they would show Mac Roman bytes as they are.
  bool ascii = true;
  if (action == "set") {
    const std::string& text = o.positional[3];
    if (!isUtf8(text)) throw std::invalid_argument("TEXT is not UTF-8");
    for (unsigned char c : text) ascii = ascii && c < 0x80;
    // A text record's length is 16 bits.
    const size_t bytes = text.size();
    if (isText && bytes > kMaxTextBytes)
      throw std::invalid_argument("TEXT is too long: a " + typeText + " text holds at most 65,535 bytes; this one has " +
                                  std::to_string(bytes));
  }
  MovieFile file(o.positional[0], true, o.value("--output"));
  rt::Runtime& rt = file.runtime();
  Value list = file.call(file.movie(), "UserDataZQK");
  if (list.isNil()) throw FileError(file.path(), "the movie has no user data list");
  Value type = rt.string(typeText);
  const int64_t removed = removeAll(file, list, type);

  if (action == "set") {
    const std::string& text = o.positional[3];
    if (isText) {
      Value value = ascii ? rt.string(text, kREALEncodingMacRoman) : rt.string(text);
      file.call(list, "AddText", {type, Value::integer(1), Value::integer(ascii ? 0 : kUndeterminedLanguage), value});
    } else {
      file.call(list, "AddData", {type, rt.string(text)});
    }
    if (const int64_t err = rt.get(list, "Lasterror").asInteger())
      throw FileError(file.path(), "the " + typeText + " entry could not be added (" + std::to_string(err) + ")");
  } else if (removed == 0) {
    file.said() << file.path() << " has no " << typeText << " user data\n";
    return 0;
  }
  file.save(o.has("--fast-start"));
  file.said() << (action == "set" ? "set " : "removed ") << typeText << " in " << file.destination() << '\n';
  return 0;
}

}  // namespace

int runUserData(const Args& args) {
  if (wantsHelp(args, kHelp)) return 0;
  Options o = parseOptions(args, "userdata", {"--output"}, {"--json", "--fast-start"});
  if (o.positional.empty()) throw std::invalid_argument("userdata takes a FILE (see pelorin userdata --help)");
  if (o.positional.size() == 1) {
    allowOnly(o, {"--json"}, "userdata FILE");
    return listUserData(o);
  }
  const std::string& action = o.positional[1];
  if (action != "set" && action != "remove")
    throw std::invalid_argument("userdata FILE takes set or remove, not '" + action + "' (see pelorin userdata --help)");
  allowOnly(o, {"--output", "--fast-start"}, "userdata FILE " + action);
  return editUserData(o, action);
}

}  // namespace tool
