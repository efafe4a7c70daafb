// The fixture every plugin test builds on: a runtime configured by the test, the
// plugin loaded into it, and at the end a check that the test left nothing alive
// and released nothing twice.
#pragma once

#include <pelorin/runtime.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

class PluginTest : public ::testing::Test {
 protected:
  // Creates the runtime and loads the plugin (by default the product plugin). A
  // runtime loaded before in the same test is checked and dropped first.
  rt::Runtime& Load(rt::Config config = {}, const std::string& pluginPath = PELORIN_PLUGIN_PATH) {
    Finish();
    runtime_ = std::make_unique<rt::Runtime>(std::move(config));
    handlesAtLoad_ = runtime_->accounting().liveHandles;
    runtime_->loadPlugin(pluginPath);
    return *runtime_;
  }

  rt::Runtime& runtime() { return *runtime_; }

  // Test bodies' Values are gone by now, so whatever is still counted leaked.
  void TearDown() override { Finish(); }

 private:
  void Finish() {
    if (!runtime_) return;
    const rt::Accounting a = runtime_->accounting();
    EXPECT_TRUE(a.clean()) << runtime_->leakReport();
    EXPECT_EQ(a.liveHandles, handlesAtLoad_) << "Memory Manager handles leaked";
    runtime_.reset();
  }

  std::unique_ptr<rt::Runtime> runtime_;
  long handlesAtLoad_ = 0;
};

// The plugin built from the frame around the probe class table (probe/).
inline const char* const kProbePlugin = PELORIN_PROBE_PLUGIN_PATH;
