// The companion plugin: its channel layout classes as user code uses them, and
// their instance data as another plugin fills it in.
#include <pelorin/runtime.h>

#include <gtest/gtest.h>

#include "../companion/channel_layout_data.h"

namespace {

using rt::HostException;
using rt::Registration;
using rt::Runtime;
using rt::Value;

Value I(int64_t v) { return Value::integer(v); }

class Companion : public ::testing::Test {
 protected:
  void SetUp() override { rt_.loadPlugin(Runtime::companionPluginPath()); }
  void TearDown() override { EXPECT_TRUE(rt_.accounting().clean()) << rt_.leakReport(); }
  Value description(uint32_t label) {
    Value d = rt_.newObject("QTAudioChannelDescriptionZQK");
    rt_.set(d, "ChannelLabel", I(label));
    return d;
  }
  Runtime rt_;
};

TEST(CompanionLoading, RegistersBesidePelorin) {
  Runtime rt;
  rt.loadPlugin(Runtime::defaultPluginPath());
  const size_t pelorinRecords = rt.registrations().size();
  rt.loadPlugin(Runtime::companionPluginPath());
  const auto& regs = rt.registrations();
  ASSERT_EQ(regs.size(), pelorinRecords + 2);
  const char* names[] = {"QTAudioChannelDescriptionZQK", "QTAudioChannelLayoutZQK"};
  for (size_t i = 0; i < 2; ++i) {
    const Registration& r = regs[pelorinRecords + i];
    EXPECT_EQ(r.name, names[i]);
    EXPECT_EQ(r.route, Registration::Route::Class);
    // No superclass: the instance data sits right after the object header.
    EXPECT_EQ(static_cast<const REALclassDefinition*>(r.record)->forSystemUse, 24);
  }
  for (const std::string& d : rt.diagnostics()) EXPECT_EQ(d.find("QTAudioChannel"), std::string::npos) << d;
  EXPECT_TRUE(rt.isA(rt.newObject("QTAudioChannelLayoutZQK"), "QTAudioChannelLayoutZQK"));
  EXPECT_TRUE(rt.accounting().clean()) << rt.leakReport();
}

TEST_F(Companion, LayoutFieldsAndSlots) {
  Value layout = rt_.newObject("QTAudioChannelLayoutZQK");
  rt_.set(layout, "LayoutTag", rt_.constant("QTAudioChannelLayoutZQK", "kLayoutTagMPEG_5_1_A"));
  rt_.set(layout, "ChannelBitmap", I(0x3F));
  EXPECT_EQ(rt_.get(layout, "LayoutTag").asInteger() & 0xFFFF, 6);  // the tag carries its channel count
  // The count is whatever it is set to, whatever the slots hold.
  for (int64_t count : {70, -5, 0}) {
    rt_.set(layout, "NumberChannelDescriptions", I(count));
    EXPECT_EQ(rt_.get(layout, "NumberChannelDescriptions").asInteger(), count);
  }

  Value left = description(1), right = description(2);
  rt_.set(left, "X", Value::real(-1.0));
  rt_.set(left, "ChannelFlags", I(1));
  rt_.call(layout, "AppendDescription", {left});
  rt_.call(layout, "AppendDescription", {right});
  EXPECT_EQ(rt_.get(layout, "NumberChannelDescriptions").asInteger(), 2);
  EXPECT_EQ(rt_.locks(left), 2);  // user code's and the slot's
  Value first = rt_.call(layout, "Description", {I(0)});
  EXPECT_EQ(first.asObject(), left.asObject());
  EXPECT_EQ(rt_.get(first, "X").asDouble(), -1.0);
  EXPECT_EQ(rt_.get(first, "ChannelFlags").asInteger(), 1);

  // A slot can be replaced, emptied, or filled past the count.
  rt_.call(layout, "SetDescription", {I(1), Value()});
  EXPECT_EQ(rt_.locks(right), 1);
  EXPECT_TRUE(rt_.call(layout, "Description", {I(1)}).isNil());
  rt_.call(layout, "SetDescription", {I(63), right});
  EXPECT_EQ(rt_.call(layout, "Description", {I(63)}).asObject(), right.asObject());

  try {
    rt_.call(layout, "SetDescription", {I(64), left});
    ADD_FAILURE() << "a slot past the last raised nothing";
  } catch (const HostException& e) {
    EXPECT_EQ(e.className(), "OutOfBoundsException");
    EXPECT_NE(e.message().find("0 to 63"), std::string::npos) << e.message();
  }
  EXPECT_THROW(rt_.call(layout, "Description", {I(-1)}), HostException);
  for (int64_t count : {64, -1}) {
    rt_.set(layout, "NumberChannelDescriptions", I(count));
    EXPECT_THROW(rt_.call(layout, "AppendDescription", {left}), HostException);
    EXPECT_EQ(rt_.get(layout, "NumberChannelDescriptions").asInteger(), count);
  }
  EXPECT_EQ(rt_.locks(left), 3);  // user code, the slot, `first`
}

// What Pelorin does: make the objects through the host by class name, write the
// fields at 24 bytes past each reference, and leave each description in its slot
// with the one reference its creation gave.
TEST_F(Companion, InstanceDataFilledByAnotherPlugin) {
  auto newInstance = reinterpret_cast<PluginNewInstanceProc>(rt_.resolver()("PluginNewInstance"));
  ASSERT_NE(newInstance, nullptr);
  auto dataOf = [](REALobject o) { return reinterpret_cast<char*>(o) + 24; };

  REALobject layoutRef = newInstance("QTAudioChannelLayoutZQK");
  ASSERT_NE(layoutRef, nullptr);
  auto* layout = reinterpret_cast<ChannelLayoutData*>(dataOf(layoutRef));
  EXPECT_EQ(layout->descriptionCount, 0);  // instance data arrives zeroed
  layout->layoutTag = 0;
  layout->channelBitmap = 0x80000001u;
  layout->descriptionCount = 70;  // more than the slots: only 3 are filled here
  for (int i = 0; i < 3; ++i) {
    REALobject d = newInstance("QTAudioChannelDescriptionZQK");
    ASSERT_NE(d, nullptr);
    auto* data = reinterpret_cast<ChannelDescriptionData*>(dataOf(d));
    data->label = static_cast<uint32_t>(i + 1);
    data->flags = 2;
    data->coordinates[0] = static_cast<double>(0.1f);
    data->coordinates[2] = -i;
    layout->descriptions[i] = d;
  }
  Value held;
  {
    Value value = Value::adoptObject(rt_, layoutRef);
    EXPECT_EQ(rt_.get(value, "ChannelBitmap").asInteger(), 0x80000001);
    EXPECT_EQ(rt_.get(value, "NumberChannelDescriptions").asInteger(), 70);
    held = rt_.call(value, "Description", {I(2)});
    EXPECT_EQ(rt_.get(held, "ChannelLabel").asInteger(), 3);
    EXPECT_EQ(rt_.get(held, "ChannelFlags").asInteger(), 2);
    EXPECT_EQ(rt_.get(held, "X").asDouble(), static_cast<double>(0.1f));
    EXPECT_EQ(rt_.get(held, "Y").asDouble(), 0.0);
    EXPECT_EQ(rt_.get(held, "Z").asDouble(), -2.0);
    EXPECT_TRUE(rt_.call(value, "Description", {I(3)}).isNil());
  }
  // The layout released its descriptions; the one user code holds lives on.
  EXPECT_EQ(rt_.accounting().liveObjects, 1);
  EXPECT_EQ(rt_.locks(held), 1);
  EXPECT_EQ(rt_.get(held, "ChannelLabel").asInteger(), 3);
}

}  // namespace
