// Values, option tables, the class table and chains.
#include <gtest/gtest.h>

#include <cmath>

#include "KV/KV.h"

namespace {

KV_value handlerA(KV_Object*, KV_value) { return KV_value::ofInt(1); }
KV_value handlerB(KV_Object*, KV_value) { return KV_value::ofInt(2); }
KV_value handlerC(KV_Object*, KV_value) { return KV_value::ofInt(3); }

const KV_option baseTable[] = {
    KV_opt_creator(nullptr),
    KV_opt("shared", handlerA),
    KV_opt("base", handlerB),
    KV_opt_end(KV_Object_options),
};
const KV_option derivedTable[] = {
    KV_opt_creator(nullptr),
    KV_opt("shared", handlerC),
    KV_opt_end(baseTable),
};

TEST(Option, DerivedOptionHidesBaseAndSearchFollowsChain) {
  EXPECT_EQ(KV_findOption(derivedTable, "shared"), handlerC);
  EXPECT_EQ(KV_findOption(baseTable, "shared"), handlerA);
  EXPECT_EQ(KV_findOption(derivedTable, "base"), handlerB);
  EXPECT_EQ(KV_findOption(derivedTable, "delete"), KV_Object_delete);
  EXPECT_EQ(KV_findOption(derivedTable, "missing"), nullptr);
}

TEST(Option, NamesAreWholeCaseSensitiveWords) {
  EXPECT_EQ(KV_findOption(KV_Object_options, "del"), nullptr);
  EXPECT_EQ(KV_findOption(KV_Object_options, "deletex"), nullptr);
  EXPECT_EQ(KV_findOption(KV_Object_options, "Delete"), nullptr);
  EXPECT_EQ(KV_findOption(KV_Object_options, "delete 5"), KV_Object_delete);
  EXPECT_EQ(KV_findOption(KV_Object_options, "delete"), KV_Object_delete);
  EXPECT_EQ(KV_findOption(nullptr, "delete"), nullptr);
}

TEST(ClassTable, StartsWithTheObjectAndEndsWithANullRow) {
  EXPECT_STREQ(__KV[0].name, "KV_Object");
  EXPECT_EQ(__KV[0].options, KV_Object_options);
  EXPECT_EQ(KV_Object_options[0].proc.create, nullptr);
  int rows = 0;
  while (__KV[rows].name) ++rows;
  EXPECT_GE(rows, 1);
  EXPECT_LE(rows, 29);
  EXPECT_EQ(KV_findClass("KV_Object -delete"), &__KV[0]);
  EXPECT_EQ(KV_findClass("KV_Obj"), nullptr);
  EXPECT_EQ(KV_findClass(""), nullptr);
}

TEST(Value, EmptyAndTypedValues) {
  EXPECT_EQ(KV_EMPTY.val, 0);
  EXPECT_EQ(KV_EMPTY.type, KV_NONE);
  EXPECT_EQ(KV_EMPTY.len, -1);
  EXPECT_EQ(KV_value::ofFloat(0.25f).asFloat(), 0.25f);
  EXPECT_EQ(KV_value::ofInt(-7).asInt(), -7);
  EXPECT_EQ(sizeof(KV_word), sizeof(void*));
  EXPECT_FALSE(KV_value::skip().isSet());
  EXPECT_FALSE(KV_value::none().isSet());
  EXPECT_TRUE(KV_value::ofString("x").isSet());
}

TEST(Value, TruncationTowardZeroAndPinnedOutOfRange) {
  EXPECT_EQ(KV_value::ofFloat(2.9f).asTruncated(), 2);
  EXPECT_EQ(KV_value::ofFloat(-2.9f).asTruncated(), -2);
  EXPECT_EQ(KV_value::ofInt(-5).asTruncated(), -5);
  EXPECT_EQ(KV_value::ofFloat(1e20f).asTruncated(), INT32_MAX);
  EXPECT_EQ(KV_value::ofFloat(-1e20f).asTruncated(), INT32_MIN);
  EXPECT_EQ(KV_value::ofFloat(std::nanf("")).asTruncated(), 0);
}

struct Member {
  KV_Chain_Item item{this};
};

std::vector<Member*> members(const KV_Chain& c) {
  std::vector<Member*> out;
  KV_forEach<Member>(c, [&](Member* m) { out.push_back(m); });
  return out;
}

TEST(Chain, InsertAtEndAndBefore) {
  KV_Chain c;
  EXPECT_EQ(c.head.next, &c.tail);
  EXPECT_EQ(c.tail.prev, &c.head);
  Member a, b, x;
  c.insert(&a.item);
  c.insert(&b.item);
  c.insert(&x.item, &b.item);
  EXPECT_EQ(members(c), (std::vector<Member*>{&a, &x, &b}));
  EXPECT_EQ(c.count, 3);
  EXPECT_EQ(x.item.chain, &c);
  EXPECT_EQ(a.item.owner, &a);
}

TEST(Chain, ItemIsInAtMostOneChain) {
  KV_Chain c1, c2;
  Member a;
  c1.insert(&a.item);
  c1.insert(&a.item);
  c2.insert(&a.item);
  EXPECT_EQ(c1.count, 1);
  EXPECT_EQ(c2.count, 0);
  EXPECT_EQ(c2.head.next, &c2.tail);
}

TEST(Chain, RemoveOnlyFromOwnChainAndKeepsLinks) {
  KV_Chain c1, c2;
  Member a, b;
  c1.insert(&a.item);
  c1.insert(&b.item);
  c2.remove(&a.item);
  EXPECT_EQ(c1.count, 2);
  EXPECT_EQ(c1.remove(&a.item), &a.item);
  EXPECT_EQ(a.item.chain, nullptr);
  EXPECT_EQ(a.item.next, &b.item);  // old links stay
  c1.remove(&a.item);
  EXPECT_EQ(c1.count, 1);
  c1.remove(&b.item);
  EXPECT_EQ(c1.count, 0);
  EXPECT_EQ(c1.head.next, &c1.tail);
  EXPECT_EQ(c1.tail.prev, &c1.head);
  EXPECT_TRUE(members(c1).empty());
}

TEST(Chain, InsertionPointOutsideTheChainMeansTheEnd) {
  KV_Chain c1, c2;
  Member a, b, stray;
  c1.insert(&a.item);
  c2.insert(&stray.item);
  c1.insert(&b.item, &stray.item);
  EXPECT_EQ(members(c1), (std::vector<Member*>{&a, &b}));
  EXPECT_EQ(members(c2), (std::vector<Member*>{&stray}));
}

}  // namespace
