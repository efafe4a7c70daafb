// pelorin meta FILE [set KEY VALUE | remove KEY]: the movie's QuickTime metadata,
// read and written through the plugin's QTMetaDataZQK and QTMetaDataItemZQK.
#include "commands.h"
#include "movie_report.h"
#include "options.h"
#include "text.h"

#include <iostream>

namespace tool {
namespace {

using rt::Value;

const char kHelp[] =
    "usage: pelorin meta FILE [--json]\n"
    "       pelorin meta FILE set KEY VALUE [--output OUT [--fast-start]]\n"
    "       pelorin meta FILE remove KEY [--output OUT [--fast-start]]\n\n"
    "Lists the movie's metadata items, or sets or removes the QuickTime ('mdta')\n"
    "items of one key. Keys are reverse-DNS names such as\n"
    "com.apple.quicktime.displayname, com.apple.quicktime.author,\n"
    "com.apple.quicktime.comment or com.apple.quicktime.copyright; a key without a\n"
    "dot is taken as com.apple.quicktime.KEY. Values are stored as UTF-8 text;\n"
    "setting a key replaces what it held.\n\n"
    "  --output OUT    write the edited movie to OUT, a new self-contained file, and\n"
    "                  leave FILE as it is (otherwise FILE is updated in place)\n"
    "  --fast-start    with --output, put the movie atom before the sample data\n"
    "  --json          list as JSON\n";

// The QuickTime storage and key format, both 'mdta'.
const char kQuickTimeFormat[] = "mdta";
constexpr int64_t kUTF8 = 1;

std::string fullKey(const std::string& key) {
  if (key.empty() || !isUtf8(key)) throw std::invalid_argument("KEY must be UTF-8 text such as com.apple.quicktime.author");
  return key.find('.') == std::string::npos ? "com.apple.quicktime." + key : key;
}

int listMetadata(const Options& o) {
  MovieFile file(o.positional[0], false);
  MovieReport report;
  readMovie(file, report);
  readMetadata(file, report);
  if (o.has("--json")) {
    JsonWriter json(std::cout);
    json.beginObject();
    jsonMovie(json, report);
    jsonMetadata(json, report);
    json.endObject();
    json.finish();
  } else {
    printMetadata(std::cout, report);
  }
  return 0;
}

int editMetadata(const Options& o, const std::string& action) {
  const size_t words = action == "set" ? 4 : 3;
  if (o.positional.size() != words)
    throw std::invalid_argument("meta FILE " + action + (action == "set" ? " KEY VALUE" : " KEY") +
                                " (see pelorin meta --help)");
  const std::string key = fullKey(o.positional[2]);
  MovieFile file(o.positional[0], true, o.value("--output"));
  rt::Runtime& rt = file.runtime();
  Value container = file.call(file.movie(), "MetaDataZQK");
  if (container.isNil()) throw FileError(file.path(), "the movie has no metadata container");
  const std::vector<Value> keyArgs = {rt.string(kQuickTimeFormat), rt.string(kQuickTimeFormat), rt.string(key)};
  const int64_t existing = file.call(container, "CountItemsWithKey", keyArgs).asInteger();
  if (existing > 0) file.call(container, "RemoveItemsWithKey", keyArgs);

  if (action == "set") {
    const std::string& value = o.positional[3];
    if (!isUtf8(value)) throw std::invalid_argument("VALUE is not UTF-8");
    std::vector<Value> args = keyArgs;
    args.push_back(rt.string(value));
    args.push_back(Value::integer(kUTF8));
    if (file.call(container, "AddItem", args).isNil())
      throw FileError(file.path(), "the item " + key + " could not be added (" +
                                       std::to_string(rt.get(container, "Lasterror").asInteger()) + ")");
  } else if (existing == 0) {
    file.said() << file.path() << " has no " << key << " metadata\n";
    return 0;
  }
  file.save(o.has("--fast-start"));
  file.said() << (action == "set" ? "set " : "removed ") << key << " in " << file.destination() << '\n';
  return 0;
}

}  // namespace

int runMeta(const Args& args) {
  if (wantsHelp(args, kHelp)) return 0;
  Options o = parseOptions(args, "meta", {"--output"}, {"--json", "--fast-start"});
  if (o.positional.empty()) throw std::invalid_argument("meta takes a FILE (see pelorin meta --help)");
  if (o.positional.size() == 1) {
    allowOnly(o, {"--json"}, "meta FILE");
    return listMetadata(o);
  }
  const std::string& action = o.positional[1];
  if (action != "set" && action != "remove")
    throw std::invalid_argument("meta FILE takes set or remove, not '" + action + "' (see pelorin meta --help)");
  allowOnly(o, {"--output", "--fast-start"}, "meta FILE " + action);
  return editMetadata(o, action);
}

}  // namespace tool
