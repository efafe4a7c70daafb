// A movie file opened for one command: a host with QuickTime, the plugin loaded
// into it, and the file's movie as user code holds it. Edits go back into the
// file in place, or with --output into a new self-contained file while the
// input stays as it was.
#pragma once

#include <pelorin/runtime.h>

#include <optional>
#include <ostream>
#include <string>

namespace tool {

// A host of the last version with QuickTime, the plugin loaded.
rt::Config quickTimeHost();

class MovieFile {
 public:
  // Opens `path` read-only, or editable for a later save() in place (no output).
  MovieFile(const std::string& path, bool forEditing, std::optional<std::string> output = std::nullopt);
  // Gives the movie back and checks that the plugin and the tool left nothing
  // alive and released nothing twice; a fault is told on standard error and
  // makes the tool fail (see ownershipFaults).
  ~MovieFile();
  MovieFile(const MovieFile&) = delete;
  MovieFile& operator=(const MovieFile&) = delete;

  rt::Runtime& runtime() { return runtime_; }
  const rt::Value& movie() const { return movie_; }
  const std::string& path() const { return path_; }
  // Another movie file, read-only, in the same host: for commands that take
  // from several movies.
  rt::Value openAlso(const std::string& path);

  // Writes the edits: into the file itself, or flattened into the output file
  // (fast start puts the movie atom first). Shows progress on a terminal.
  void save(bool fastStart = false);
  // Where save() writes.
  const std::string& destination() const { return output_ ? *output_ : path_; }

  // Where a command says what it did: standard output, unless the movie is
  // being written there (--output /dev/stdout), then standard error.
  std::ostream& said() const;

  // Calls a member; a host exception becomes an error naming the file.
  rt::Value call(const rt::Value& self, const char* member, const std::vector<rt::Value>& args = {});
  // A member resolved once for calls in a loop (see rt::Runtime::member), and a
  // call of it, host exceptions becoming errors as above.
  rt::Member member(const std::string& className, const char* name, std::initializer_list<rt::Value> like = {});
  rt::Value call(const rt::Member& member, const rt::Value& self, std::initializer_list<rt::Value> args = {});

 private:
  template <typename Call>
  rt::Value guarded(std::string_view member, Call&& call);

  rt::Runtime runtime_;
  std::string path_;
  std::optional<std::string> output_;
  rt::Value movie_;
};

// How many MovieFiles closed with something still alive or released twice;
// the tool exits non-zero when there were any.
int ownershipFaults();

// An error about a file: "FILE: what".
class FileError : public std::runtime_error {
 public:
  FileError(const std::string& path, const std::string& what) : std::runtime_error(path + ": " + what) {}
};

}  // namespace tool
