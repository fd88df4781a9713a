// The application inside: its graph, its run order, the clock and the pieces of a host block.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "KV/Effect/Effect.h"
#include "KV/Effect/Freqmul.h"
#include "KV/Spcpp.h"
#include "app/KV_Application.h"

namespace {

class Application : public testing::Test {
 protected:
  void SetUp() override { EXPECT_EQ(KV_OK, app.build()); }
  void TearDown() override { EXPECT_EQ(KV_OK, app.destroy()); }
  KV_Soundpipe* pipe() { return static_cast<KV_Soundpipe*>(app.graph[KV_Application::PIPE]); }
  KV_Application app;
};

TEST_F(Application, BuildFillsEverySlotAndEndsThePipe) {
  for (int s = 0; s < KV_Application::GRAPH_SLOTS; ++s) EXPECT_NE(app.graph[s], nullptr) << s;
  EXPECT_EQ(KV_currentpipe, nullptr);
  EXPECT_EQ(app.width, 172);
  EXPECT_EQ(app.height, 238);
  EXPECT_EQ(pipe()->effects.count, 23);
  EXPECT_EQ(pipe()->buffers.count, 6);
}

TEST_F(Application, ClockGoesToEveryEffectInRunOrder) {
  app.sampleRate = static_cast<int32_t>(44100.9f);
  app.sendClock();
  int n = 0;
  KV_forEach<KV_Effect>(pipe()->effects, [&](KV_Effect* e) {
    EXPECT_EQ(e->clock, 44100);
    ++n;
  });
  EXPECT_EQ(n, 23);
  // Run order is creation order: input copy, source gain, source delay, high-pass, the bands...
  std::vector<KV_Object*> order;
  KV_forEach<KV_Effect>(pipe()->effects, [&](KV_Effect* e) { order.push_back(e); });
  EXPECT_EQ(order[0], app.graph[KV_Application::FX_INPUT_COPY]);
  EXPECT_EQ(order[1], app.graph[KV_Application::FX_SOURCE_GAIN]);
  EXPECT_EQ(order[2], app.graph[KV_Application::FX_SOURCE_DELAY]);
  EXPECT_EQ(order[3], app.graph[KV_Application::FX_HIPASS]);
  EXPECT_EQ(order[4], app.graph[KV_Application::FX_LOPASS1]);
  EXPECT_EQ(order[7], app.graph[KV_Application::FX_MUL3_1]);
  EXPECT_EQ(order[20], app.graph[KV_Application::FX_X2_GAIN]);
  EXPECT_EQ(order[22], app.graph[KV_Application::FX_OUTPUT_COPY]);
}

TEST_F(Application, LongHostBlockRunsInPiecesOf512) {
  std::vector<float> x(1000, 0.25f), l(1000, 9.0f), r(1000, 9.0f);
  float* in[1] = {x.data()};
  float* out[2] = {l.data(), r.data()};
  app.runBlock(in, out, 1000);
  EXPECT_EQ(pipe()->blockLength, 488);  // the last piece
  for (float v : l) EXPECT_NE(v, 9.0f);
  EXPECT_EQ(l, r);
  EXPECT_EQ(x, std::vector<float>(1000, 0.25f));  // the input is never written
  app.runBlock(in, out, 0);
  EXPECT_EQ(pipe()->blockLength, 488);  // nothing ran
}

TEST_F(Application, DefaultsReachTheEffectsAndTexts) {
  char buf[64];
  app.params[0]->valueText(buf);
  EXPECT_STREQ(buf, "On");
  app.params[0]->val = 0;
  app.params[0]->valueText(buf);
  EXPECT_STREQ(buf, "Off");
  app.params[1]->nameText(buf);
  EXPECT_STREQ(buf, "Source level");
  app.params[3]->labelText(buf);
  EXPECT_STREQ(buf, "of all");
  KV_forEach<KV_Effect>(pipe()->effects, [&](KV_Effect* e) { EXPECT_TRUE(e->on); });
  int32_t on = -1;
  app.params[0]->val = 0;
  app.params[0]->notify(reinterpret_cast<KV_Object*>(&app));
  EXPECT_EQ(spcpp(KV_CMD("KV_Effect %o -on"), app.graph[KV_Application::FX_HIPASS], &on), KV_OK);
  EXPECT_EQ(on, 0);
  EXPECT_EQ(spcpp(KV_CMD("KV_Effect %o -on"), app.graph[KV_Application::FX_INPUT_COPY], &on), KV_OK);
  EXPECT_EQ(on, 1);
  EXPECT_EQ(spcpp(KV_CMD("KV_Effect %o -on"), app.graph[KV_Application::FX_OUTPUT_COPY], &on), KV_OK);
  EXPECT_EQ(on, 1);
}

// What a format binding sees through the template: each parameter's range is its knob's, and a
// plain value reaches every effect of its row.
TEST_F(Application, TheTemplateShowsTheKnobsRangesAndDrivesTheRowsEffects) {
  KV_Apptpl& t = app;
  ASSERT_EQ(t.paramCount(), 6);
  for (int32_t i = 1; i < 6; ++i) {
    float mn, mx;
    app.rangeOf(i, mn, mx);
    KV_Apptpl_ParamInfo info = t.paramInfo(i);
    EXPECT_FALSE(info.toggle) << i;
    EXPECT_EQ(info.minimum, mn) << i;
    EXPECT_EQ(info.maximum, mx) << i;
    EXPECT_EQ(info.initial, t.getPlain(i)) << i;
  }
  EXPECT_EQ(t.paramInfo(4).minimum, 0.9f);
  EXPECT_TRUE(t.paramInfo(0).toggle);
  EXPECT_STREQ(t.paramInfo(6).name, "");
  t.setPlain(5, 0.25f);
  KV_forEach<KV_Effect>(pipe()->effects, [&](KV_Effect* e) {
    if (auto* m = dynamic_cast<KV_Effect_Tolvar*>(e)) {
      EXPECT_DOUBLE_EQ(m->stab, 0.25);
    }
  });
  EXPECT_FLOAT_EQ(t.getNormalized(5), 0.25f / 0.95f);
  t.setPlain(0, 0.0f);
  EXPECT_EQ(static_cast<KV_Effect*>(app.graph[KV_Application::FX_X3_GAIN])->on, 0);
  char text[16];
  t.paramDisplay(0, text, sizeof text);
  EXPECT_STREQ(text, "Off");
  // The audio thread's path reaches the same effects and leaves the knob where it was.
  float before = 0.0f, knob = 0.0f;
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Knob %o -val"), app.widget(30), &before), KV_OK);
  t.applyPlain(4, 0.2f);
  KV_forEach<KV_Effect>(pipe()->effects, [&](KV_Effect* e) {
    if (auto* m = dynamic_cast<KV_Effect_Tolvar*>(e)) {
      EXPECT_DOUBLE_EQ(m->rand, static_cast<double>(0.2f));
    }
  });
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Knob %o -val"), app.widget(30), &knob), KV_OK);
  EXPECT_EQ(knob, before);
  EXPECT_EQ(t.getPlain(4), 0.2f);
}

// An editor change (a control's notify) reaches the listener; a host change does not.
TEST_F(Application, OnlyEditorChangesReachTheListener) {
  struct Log : KV_Apptpl_Listener {
    std::vector<std::pair<int32_t, float>> seen;
    void edited(int32_t i, float v) override { seen.emplace_back(i, v); }
  } log;
  app.listen(&log);
  app.setPlain(2, 0.5f);
  EXPECT_TRUE(log.seen.empty());
  app.params[3]->val = KV_value::ofFloat(0.75f).val;
  app.params[3]->notify(reinterpret_cast<KV_Object*>(&app));
  ASSERT_EQ(log.seen.size(), 1u);
  EXPECT_EQ(log.seen[0], std::make_pair(int32_t{3}, 0.75f));
  app.listen(nullptr);
}

}  // namespace
