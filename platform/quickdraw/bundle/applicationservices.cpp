// Frameworks/ApplicationServices.framework/ApplicationServices. The bundle holds no
// code of its own: it depends on the quickdraw library, so a lookup by name in the
// bundle finds QuickDraw's calls there, and the process keeps one current port, one
// set of worlds and one set of counts whichever way a call arrives.
#include <QuickDraw.h>

// Referencing a call keeps the dependency even where the linker drops unused ones.
__attribute__((used)) static const void* const kQuickDraw = reinterpret_cast<const void*>(&NewGWorld);
