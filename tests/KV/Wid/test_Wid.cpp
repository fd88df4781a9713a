// The widget base: tile entries on attach and detach, the base options through commands, and the
// picture widget's sizing and repetition.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "KV/Spcpp.h"
#include "KV/Wid/Pic.h"
#include "KV/Wid/Wid.h"
#include "KV/Win/Win.h"
#include "KV_cfuncs.h"
#include "kvpicture.h"

namespace {

// A widget that counts its render calls; a window that records its redraws.
struct Counting : KV_Wid {
  int renders = 0;
  void render() override { ++renders; }
};
struct RecordingWin : KV_Win {
  std::vector<KV_Rect> redraws;
  RecordingWin(int32_t w, int32_t h) : KV_Win(w, h) {}
  void redraw(const KV_Rect& r) override { redraws.push_back(r); }
};

void place(KV_Wid& w, int32_t l, int32_t t, int32_t wd, int32_t h) {
  w.left = l, w.top = t, w.width = wd, w.height = h;
}

// The widgets in a tile's list, first to last.
std::vector<KV_Wid*> inTile(const KV_Win& win, int32_t c, int32_t r) {
  std::vector<KV_Wid*> out;
  KV_forEach<KV_Wid>(win.tile(c, r), [&](KV_Wid* w) { out.push_back(w); });
  return out;
}

KV_value call(KV_Object* o, const char* option, KV_value v) { return KV_findOption(KV_Wid_options, option)(o, v); }

int quiet(const char*, const char*) { return 1; }

}  // namespace

TEST(WidTiles, AWidgetGetsOneEntryPerOverlappedTileRowByRow) {
  KV_Win win(460, 260);
  Counting a, b, c;
  place(a, 60, 0, 10, 10);  // columns 0 and 1
  place(b, 64, 64, 64, 64); // exactly one tile
  place(c, 60, 60, 10, 10); // four tiles
  a.attach(&win);
  b.attach(&win);
  c.attach(&win);
  ASSERT_EQ(a.tileCount, 2);
  EXPECT_EQ(a.tileEntries[0].tile, &win.tile(0, 0));
  EXPECT_EQ(a.tileEntries[1].tile, &win.tile(1, 0));
  EXPECT_EQ(a.tileEntries[0].item.owner, &a);
  EXPECT_EQ(b.tileCount, 1);
  EXPECT_EQ(b.tileEntries[0].tile, &win.tile(1, 1));
  ASSERT_EQ(c.tileCount, 4);
  EXPECT_EQ(c.tileEntries[1].tile, &win.tile(1, 0));
  EXPECT_EQ(c.tileEntries[2].tile, &win.tile(0, 1));
  // Attach order in every list, and in the window's widget list.
  EXPECT_EQ(inTile(win, 1, 0), (std::vector<KV_Wid*>{&a, &c}));
  EXPECT_EQ(inTile(win, 1, 1), (std::vector<KV_Wid*>{&b, &c}));
  EXPECT_EQ(win.widgets.count, 3);
  EXPECT_EQ(win.widgets.first()->owner, &a);
}

TEST(WidTiles, DetachMovingAndDeletingKeepTheListsConsistent) {
  KV_Win one(128, 128), two(128, 128);
  Counting a;
  place(a, 60, 60, 10, 10);
  auto* b = new Counting;
  place(*b, 0, 0, 100, 100);
  a.attach(&one);
  b->attach(&one);
  a.attach(nullptr);
  EXPECT_EQ(a.window, nullptr);
  EXPECT_EQ(a.tileCount, 0);
  EXPECT_EQ(a.tileEntries, nullptr);
  EXPECT_EQ(one.widgets.count, 1);
  EXPECT_EQ(inTile(one, 0, 0), (std::vector<KV_Wid*>{b}));
  EXPECT_EQ(one.widgetAt(65, 65), b);
  // Moving to another window leaves the first one entirely.
  a.attach(&one);
  a.attach(&two);
  EXPECT_EQ(inTile(one, 1, 1), (std::vector<KV_Wid*>{b}));
  EXPECT_EQ(inTile(two, 1, 1), (std::vector<KV_Wid*>{&a}));
  EXPECT_EQ(one.widgets.count, 1);
  EXPECT_EQ(two.widgets.count, 1);
  // Deleting clears the window's hover and capture references along with the tiles.
  one.hovered = b;
  one.capture = b;
  delete b;
  EXPECT_EQ(one.hovered, nullptr);
  EXPECT_EQ(one.capture, nullptr);
  EXPECT_EQ(one.widgets.count, 0);
  for (int32_t r = 0; r < 2; ++r)
    for (int32_t c = 0; c < 2; ++c) EXPECT_EQ(one.tile(c, r).count, 0);
  EXPECT_EQ(one.widgetAt(10, 10), nullptr);
}

TEST(WidTiles, AWidgetOutlivingItsWindowIsLeftUnlinked) {
  Counting a;
  place(a, 0, 0, 70, 70);
  {
    KV_Win win(128, 128);
    a.attach(&win);
  }
  EXPECT_EQ(a.window, nullptr);
  EXPECT_EQ(a.tileCount, 0);
  EXPECT_EQ(a.member.chain, nullptr);
}

TEST(WidOptions, GeometryFlagsAndWindowThroughCommands) {
  KV_set_error_presenter(quiet);
  RecordingWin win(128, 128);
  KV_Object* w = nullptr;
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pic -l %i -t %f -w 10.9 -h -3"), &w, 60, 7.8), KV_OK);
  ASSERT_NE(w, nullptr);
  KV_Wid* wid = static_cast<KV_Wid*>(w);
  EXPECT_EQ(wid->left, 60);
  EXPECT_EQ(wid->top, 7);  // floats truncate toward zero
  EXPECT_EQ(wid->width, 10);
  EXPECT_EQ(wid->height, -3);
  int32_t l = 0, vis = 0, en = 0;
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid %o -l -vis -enabled -h 4"), w, &l, &vis, &en), KV_OK);
  EXPECT_EQ(l, 60);
  EXPECT_EQ(vis, 1);
  EXPECT_EQ(en, 1);
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid %o -win %o"), w, &win), KV_OK);
  EXPECT_EQ(wid->window, &win);
  EXPECT_EQ(wid->tileCount, 2);
  KV_Win* back = nullptr;
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid %o -win"), w, &back), KV_OK);
  EXPECT_EQ(back, &win);
  EXPECT_TRUE(win.redraws.empty());  // attaching draws nothing
  // -enabled redraws at once with the widget's rectangle.
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid %o -enabled 0"), w), KV_OK);
  EXPECT_EQ(wid->enabled, 0);
  ASSERT_EQ(win.redraws.size(), 1u);
  EXPECT_EQ(win.redraws[0].left, 60);
  EXPECT_EQ(win.redraws[0].right, 70);
  EXPECT_EQ(win.redraws[0].bottom, 11);
  // "-win 0" is the integer 0: it detaches, and hit testing no longer finds the widget.
  EXPECT_EQ(win.widgetAt(62, 8), wid);
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid %o -win 0"), w), KV_OK);
  EXPECT_EQ(wid->window, nullptr);
  EXPECT_EQ(win.widgetAt(62, 8), nullptr);
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid %o -win %o"), w, &win), KV_OK);
  ASSERT_EQ(spcpp(KV_CMD("%o -delete"), w), KV_OK);
  EXPECT_EQ(win.widgets.count, 0);
  EXPECT_EQ(win.tile(0, 0).count, 0);
  KV_set_error_presenter(nullptr);
}

TEST(WidOptions, VisRendersWithoutRedrawingAndEnabledRefreshes) {
  RecordingWin win(64, 64);
  Counting c;
  place(c, 1, 2, 3, 4);
  c.attach(&win);
  EXPECT_EQ(call(&c, "vis", KV_value::ofInt(0)).val, 0);
  EXPECT_EQ(c.visible, 0);
  EXPECT_EQ(c.renders, 1);
  EXPECT_TRUE(win.redraws.empty());
  // A query changes nothing.
  EXPECT_EQ(call(&c, "vis", KV_EMPTY).type, KV_INT);
  EXPECT_EQ(c.renders, 1);
  call(&c, "enabled", KV_value::ofInt(0));
  EXPECT_EQ(c.renders, 2);
  ASSERT_EQ(win.redraws.size(), 1u);
  EXPECT_EQ(win.redraws[0].left, 1);
  EXPECT_EQ(win.redraws[0].bottom, 6);
  // Values that are not numbers are ignored.
  call(&c, "l", KV_value::ofString("9"));
  EXPECT_EQ(c.left, 1);
  c.attach(nullptr);
  call(&c, "enabled", KV_value::ofInt(1));  // detached: rendered, nothing redrawn
  EXPECT_EQ(c.renders, 3);
  EXPECT_EQ(win.redraws.size(), 1u);
}

TEST(WidPic, APictureIsRepeatedAndGivesItsSizeOnlyWhereNoneWasSet) {
  kvpic::Image img(10, 10);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      uint8_t* p = img.at(x, y);
      p[0] = static_cast<uint8_t>(x * 20), p[1] = static_cast<uint8_t>(y), p[2] = 7, p[3] = 255;
    }
  std::vector<uint8_t> file = kvpic::encodeKVIF(img);
  KV_Wid_Pic logo;
  logo.left = 6;
  ASSERT_TRUE(logo.usePicture(file.data(), file.size()));
  EXPECT_EQ(logo.width, 10);
  EXPECT_EQ(logo.height, 10);
  KV_Wid_Pic strip;
  strip.width = 200;
  strip.height = 10;
  ASSERT_TRUE(strip.usePicture(file.data(), file.size()));
  EXPECT_EQ(strip.width, 200);
  KV_Pic<KV_Pix_A32> target;
  target.resize(200, 10);
  std::memset(target.pixels, 0, 200 * 10 * 4);
  strip.paint(target, 0, 0, KV_Rect{0, 0, 200, 10});
  for (int k = 0; k < 20; ++k) {
    EXPECT_EQ(target.row(3)[10 * k + 4].b, (80 * 255) >> 8) << k;
    EXPECT_EQ(target.row(3)[10 * k + 4].g, (3 * 255) >> 8) << k;
  }
  // A part in widget coordinates starts mid-picture.
  KV_Pic<KV_Pix_A32> small;
  small.resize(4, 1);
  std::memset(small.pixels, 0, 16);
  strip.paint(small, 0, 0, KV_Rect{18, 0, 22, 1});
  EXPECT_EQ(small.row(0)[0].b, (160 * 255) >> 8);
  EXPECT_EQ(small.row(0)[2].b, 0);
}

TEST(WidPic, AMissingResourceIsReportedAndLeavesThePictureEmpty) {
  static std::vector<std::string> seen;
  seen.clear();
  KV_set_error_presenter([](const char* text, const char*) {
    seen.push_back(text);
    return 1;
  });
  KV_Object* w = nullptr;
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pic -w 5 -res nosuchpicture"), &w), KV_OK);
  KV_Wid_Pic* pic = static_cast<KV_Wid_Pic*>(w);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].rfind("Error: nosuchpicture\n", 0), 0u);
  EXPECT_EQ(pic->picture.pixels, nullptr);
  EXPECT_EQ(pic->width, 5);
  EXPECT_EQ(pic->height, 0);
  const char* name = nullptr;
  ASSERT_EQ(spcpp(KV_CMD("KV_Wid_Pic %o -res"), w, &name), KV_OK);
  EXPECT_STREQ(name, "nosuchpicture");
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("%o -delete"), w));
  KV_set_error_presenter(nullptr);
}

#if !defined(_WIN32)
#include "KV/Wid/Knob.h"
#include "KV_resources.h"

// Through the resource table the Linux build links in: -res maps what it finds by name.
TEST(WidPic, ResMapsTheNamedResourceCaseInsensitively) {
  kvpic::Image img(3, 2), frame(6, 5);
  for (size_t i = 0; i < img.bgra.size(); ++i) img.bgra[i] = 200;
  std::vector<uint8_t> kvif = kvpic::encodeKVIF(img);
  std::vector<uint8_t> kvvf = kvpic::encodeKVVF({frame, frame, frame});
  const KV_resource_entry table[] = {
      {"LOGO", kvif.data(), kvif.size()}, {"KNOB", kvvf.data(), kvvf.size()}, {nullptr, nullptr, 0}};
  KV_resource_set_table(table);
  KV_Object* pic = nullptr;
  KV_Object* knob = nullptr;
  EXPECT_EQ(spcpp(KV_CMD("KV_Wid_Pic -l 6 -t 8 -res logo"), &pic), KV_OK);
  EXPECT_EQ(spcpp(KV_CMD("KV_Wid_Knob -w 32 -h 32 -res knob"), &knob), KV_OK);
  KV_resource_set_table(nullptr);
  KV_Wid_Pic* p = static_cast<KV_Wid_Pic*>(pic);
  EXPECT_EQ(p->width, 3);
  EXPECT_EQ(p->height, 2);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(p->picture.pixels), kvif.data() + 12);
  KV_Wid_Knob* k = static_cast<KV_Wid_Knob*>(knob);
  EXPECT_EQ(k->strip.frames, 3u);
  EXPECT_EQ(k->width, 32);  // a strip gives no size
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("%o -delete"), knob));
  EXPECT_EQ(KV_OK, spcpp(KV_CMD("%o -delete"), pic));
}
#endif
