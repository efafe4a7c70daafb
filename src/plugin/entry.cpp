// REALPluginMain: the host's one call into the plugin before any other.
#include <cstdlib>
#include <cstring>

#include "host/host.h"
#include "plugin/registration.h"

REALResolver gResolver = nullptr;
double rbversion = 0.0;
int32_t CurrentREALControlVersion = 13;
const char* gpartname = nullptr;
int32_t MyREALenterMoviesResult = kMoviesNotEntered;

namespace {

// The record layout the host reads, by host version.
int32_t ControlVersionFor(double version) {
  if (version >= 2013.04) return 13;
  if (version >= 2013.03) return 12;
  if (version >= 2013.0) return 11;
  if (version >= 2012.0) return 10;
  return 9;
}

void StartMovieSupport() {
  // Only a compiled application has the host's movie support to start, and it is
  // started once per process however often the entry point runs.
  if (!REALinRuntime() || MyREALenterMoviesResult != kMoviesNotEntered) return;
  RBInteger result = 0;
  MyREALenterMoviesResult = REALenterMovies(&result) ? static_cast<int32_t>(result) : 0;
}

// Older hosts read the 25-word layout: it replaces the head of the static record,
// whose pointers the host keeps; the narrowed arrays stay allocated for it.
bool ConvertToOlderLayout(REALclassDefinition* definition) {
  REALclassDefinitionV9* older = FixClass(definition);
  if (!older) return false;
  static_assert(sizeof(REALclassDefinitionV9) <= sizeof(REALclassDefinition));
  std::memcpy(static_cast<void*>(definition), older, sizeof *older);
  std::free(older);
  return true;
}

void RegisterClass(REALclassDefinition* definition) {
  definition->dataSize = (definition->dataSize + 15) & ~uintptr_t{15};
  if (CurrentREALControlVersion > 9) {
    definition->version = static_cast<uintptr_t>(CurrentREALControlVersion);
  } else if (!ConvertToOlderLayout(definition)) {
    return;
  }
  REALRegisterClass(definition);
}

void RegisterMovieExtension(REALclassDefinition* extension) {
  if (rbversion >= 2013.0 && rbversion < 3000.0) {
    // These hosts take the members as global methods that extend `movie`.
    if (REALmoduleDefinition* module = SynthesizeExtensionModule(extension)) {
      module->version = static_cast<uintptr_t>(CurrentREALControlVersion);
      REALRegisterModule(module);
    }
    return;
  }
  if (CurrentREALControlVersion > 9) {
    extension->version = static_cast<uintptr_t>(CurrentREALControlVersion);
  } else if (!ConvertToOlderLayout(extension)) {
    return;
  }
  REALRegisterClassExtension(extension);
}

}  // namespace

extern "C" void REALPluginMain(REALResolver resolver) {
  gResolver = resolver;

  if (auto getVersion = reinterpret_cast<double (*)()>(REALResolveUncached("REALGetRBVersion"))) {
    rbversion = getVersion();
  }
  CurrentREALControlVersion = ControlVersionFor(rbversion);
  // A host without it cannot be told the layout; registering regardless is the
  // best that can be done.
  if (auto registerVersion = reinterpret_cast<void (*)(int32_t)>(REALResolveUncached("RegisterPluginVersion"))) {
    registerVersion(CurrentREALControlVersion);
  }
  gpartname = "Pelorin";

  StartMovieSupport();

  const PluginClassTable& table = PluginClasses();
  for (size_t i = 0; i < table.count; ++i) RegisterClass(table.classes[i]);
  RegisterMovieExtension(table.movieExtension);
}
