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
  // Creates the runtime and loads the plugin (by default the product plugin).
  rt::Runtime& Load(rt::Config config = {}, const std::string& pluginPath = PELORIN_PLUGIN_PATH) {
    runtime_ = std::make_unique<rt::Runtime>(std::move(config));
    handlesAtLoad_ = runtime_->accounting().liveHandles;
    runtime_->loadPlugin(pluginPath);
    return *runtime_;
  }

  rt::Runtime& runtime() { return *runtime_; }

  // Test bodies' Values are gone by now, so whatever is still counted leaked.
  void TearDown() override {
    if (!runtime_) return;
    const rt::Accounting a = runtime_->accounting();
    EXPECT_TRUE(a.clean()) << runtime_->leakReport();
    EXPECT_EQ(a.liveHandles, handlesAtLoad_) << "Memory Manager handles leaked";
    runtime_.reset();
  }

 private:
  std::unique_ptr<rt::Runtime> runtime_;
  long handlesAtLoad_ = 0;
};
