// A movie user code makes is an empty engine movie that the plugin reaches
// through "getMovieMovie".
#include "plugin_test.h"

namespace {

using rt::Value;

class NewMovieTest : public PluginTest {};

TEST_F(NewMovieTest, IsAnEmptyEngineMovieThePluginCanFill) {
  rt::Config config;
  config.hostVersion = 2013.04;
  rt::Runtime& rt = Load(config);
  {
    Value movie = rt.newMovie();
    EXPECT_EQ(rt.call(movie, "TrackCountZQK").asInteger(), 0);  // -1 would mean no movie behind it
    EXPECT_TRUE(rt.call(movie, "GetTrackIndexZQK", {Value::integer(1)}).isNil());
    Value other = rt.newMovie();
    EXPECT_EQ(rt.call(other, "TrackCountZQK").asInteger(), 0);
  }
}

}  // namespace
