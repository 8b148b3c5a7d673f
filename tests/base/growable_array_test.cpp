#include "base/growable_array.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

// ---- Growth ----

TEST(GrowableArray, StartsEmptyAndGrowByZeroAllocatesNothing) {
  GrowableArray<uint8_t> bytes;
  bytes.GrowBy(0);
  EXPECT_EQ(nullptr, bytes.Data());
  EXPECT_EQ(0u, bytes.Count());
  EXPECT_EQ(0u, bytes.Capacity());
}

TEST(GrowableArray, SingleAppendsFollowTheGrowthRule) {
  GrowableArray<uint16_t> units;
  std::vector<uint64_t> capacities;  // every distinct capacity seen
  for (int i = 0; i < 150; ++i) {
    units.Append(static_cast<uint16_t>(i));
    if (capacities.empty() || capacities.back() != units.Capacity()) capacities.push_back(units.Capacity());
  }
  EXPECT_EQ((std::vector<uint64_t>{32, 72, 122, 184}), capacities);
  ASSERT_EQ(150u, units.Count());
  for (uint16_t i = 0; i < 150; ++i) ASSERT_EQ(i, units[i]) << "contents survive every reallocation";
}

struct GrowCase {
  const char* what;
  std::vector<uint64_t> steps;  // successive GrowBy amounts on an empty array
  uint64_t count, capacity;
};

TEST(GrowableArray, GrowByTable) {
  const GrowCase cases[] = {
      {"up to 32 items take 32", {1, 31}, 32, 32},
      {"a big first request takes exactly its size", {4096}, 4096, 4096},
      {"growth after 4096 adds a quarter and 32", {4096, 1}, 4097, 5152},
      {"a request beyond the rule takes exactly the count", {32, 1000}, 1032, 1032},
      {"growth inside the capacity keeps it", {10, 5}, 15, 32},
      {"growth past an exact-size block uses the rule", {40, 2}, 42, 82},
  };
  for (const GrowCase& c : cases) {
    GrowableArray<uint64_t> array;
    for (uint64_t step : c.steps) array.GrowBy(step);
    EXPECT_EQ(c.count, array.Count()) << c.what;
    EXPECT_EQ(c.capacity, array.Capacity()) << c.what;
  }
}

TEST(GrowableArray, ConstructingWithItemsIsGrowByOnEmpty) {
  GrowableArray<uint8_t> bytes(4096);
  EXPECT_EQ(4096u, bytes.Count());
  EXPECT_EQ(4096u, bytes.Capacity());
  GrowableArray<uint8_t> few(5);
  EXPECT_EQ(5u, few.Count());
  EXPECT_EQ(32u, few.Capacity());
}

TEST(GrowableArray, ResizeShrinksInPlaceAndGrowsLikeGrowBy) {
  GrowableArray<uint32_t> array(100);
  for (uint32_t i = 0; i < 100; ++i) array[i] = i * 7;
  const uint32_t* block = array.Data();
  array.Resize(10);
  EXPECT_EQ(10u, array.Count());
  EXPECT_EQ(100u, array.Capacity());
  EXPECT_EQ(block, array.Data()) << "shrinking never reallocates";
  array.Resize(90);  // within the capacity: only the count moves
  EXPECT_EQ(90u, array.Count());
  EXPECT_EQ(100u, array.Capacity());
  EXPECT_EQ(block, array.Data());
  EXPECT_EQ(63u, array[9]);

  GrowableArray<uint32_t> viaResize(100), viaGrowBy(100);
  viaResize.Resize(10);
  viaGrowBy.Resize(10);
  viaResize.Resize(101);
  viaGrowBy.GrowBy(91);
  EXPECT_EQ(viaGrowBy.Capacity(), viaResize.Capacity());
  EXPECT_EQ(157u, viaResize.Capacity()) << "100 + 25 + 32";
  EXPECT_EQ(101u, viaResize.Count());
}

TEST(GrowableArray, ReleaseEmptiesAndAllowsReuse) {
  GrowableArray<uint8_t> bytes(50);
  bytes.Release();
  EXPECT_EQ(nullptr, bytes.Data());
  EXPECT_EQ(0u, bytes.Count());
  EXPECT_EQ(0u, bytes.Capacity());
  bytes.Append(9);
  EXPECT_EQ(32u, bytes.Capacity());
  EXPECT_EQ(9, bytes[0]);
}

TEST(GrowableArray, AppendOfOwnElementSurvivesReallocation) {
  GrowableArray<uint64_t> array;
  for (uint64_t i = 0; i < 32; ++i) array.Append(i + 1000);
  array.Append(array[0]);  // the block moves during this append
  EXPECT_EQ(1000u, array[32]);
}

TEST(GrowableArray, ImpossibleGrowthThrowsOutOfMemory) {
  struct Case {
    const char* what;
    uint64_t first, second;
  };
  const Case cases[] = {
      {"count overflow", 1, UINT64_MAX},
      {"byte size overflow", (UINT64_MAX / 8) + 1, 0},
      {"more than any heap holds", uint64_t{1} << 60, 0},
  };
  for (const Case& c : cases) {
    GrowableArray<uint64_t> array;
    int thrown = 0;
    try {
      array.GrowBy(c.first);
      array.GrowBy(c.second);
    } catch (VOK_EXIT code) {
      thrown = code;
    }
    EXPECT_EQ(8, thrown) << c.what;
  }
}

// ---- PackedStringList ----

std::vector<std::wstring> Drain(PackedStringList& list) {
  std::vector<std::wstring> strings;
  wchar_t* text = reinterpret_cast<wchar_t*>(1);  // sentinel: NextString must overwrite it
  while (list.NextString(text)) strings.push_back(text);
  EXPECT_EQ(nullptr, text) << "the end sets the output to absent";
  return strings;
}

TEST(PackedStringList, RoundTripsStringsInOrderIncludingEmptyAndAbsent) {
  PackedStringList list;
  list.AddString(L"first");
  list.AddString(nullptr);
  list.AddString(L"");
  list.AddString(L"x y");
  EXPECT_EQ(6u + 1 + 1 + 4, list.CharacterCount());
  EXPECT_EQ((std::vector<std::wstring>{L"first", L"", L"", L"x y"}), Drain(list));
}

TEST(PackedStringList, EndIsStickyUntilMoreAreAddedOrReset) {
  PackedStringList list;
  wchar_t* text = nullptr;
  EXPECT_FALSE(list.NextString(text)) << "an empty list has nothing";
  list.AddString(L"a");
  ASSERT_TRUE(list.NextString(text));
  EXPECT_STREQ(L"a", text);
  for (int i = 0; i < 3; ++i) {
    text = reinterpret_cast<wchar_t*>(1);
    EXPECT_FALSE(list.NextString(text));
    EXPECT_EQ(nullptr, text);
  }
  list.AddString(L"b");
  ASSERT_TRUE(list.NextString(text)) << "strings added after the end are delivered";
  EXPECT_STREQ(L"b", text);

  list.ResetList();
  EXPECT_EQ(0u, list.CharacterCount());
  EXPECT_FALSE(list.NextString(text)) << "reset forgets every string";
  list.AddString(L"c");
  EXPECT_EQ((std::vector<std::wstring>{L"c"}), Drain(list));
}

TEST(PackedStringList, AStringOfTheListCanBeAddedAgain) {
  PackedStringList list;
  list.AddString(L"again");
  for (int i = 0; i < 58; ++i) list.AddString(L"x");
  ASSERT_EQ(122u, list.CharacterCount()) << "the block (capacity 122) is full";
  wchar_t* text = nullptr;
  ASSERT_TRUE(list.NextString(text));
  list.AddString(text);  // the growth for this copy moves the block that text points into
  for (int i = 0; i < 59; ++i) ASSERT_TRUE(list.NextString(text));
  EXPECT_STREQ(L"again", text);
}

TEST(PackedStringList, CallersMayShortenAStringInPlace) {
  PackedStringList list;
  list.AddString(L"key=value");
  list.AddString(L"next");
  wchar_t* text = nullptr;
  ASSERT_TRUE(list.NextString(text));
  text[3] = 0;  // the settings loader splits "key=value" like this
  ASSERT_TRUE(list.NextString(text));
  EXPECT_STREQ(L"next", text);
}

// ---- SortElements ----

int CompareInt32(const void* a, const void* b) {
  const int32_t x = *static_cast<const int32_t*>(a), y = *static_cast<const int32_t*>(b);
  return x > y ? 1 : x < y ? -1 : 0;
}

int CompareUint64(const void* a, const void* b) {
  const uint64_t x = *static_cast<const uint64_t*>(a), y = *static_cast<const uint64_t*>(b);
  return x > y ? 1 : x < y ? -1 : 0;
}

struct Record {  // 24 bytes, compared by key only, with a payload that must travel with it
  uint64_t key;
  uint64_t payload;
  char tag[8];
};

int CompareRecords(const void* a, const void* b) {
  return CompareUint64(&static_cast<const Record*>(a)->key, &static_cast<const Record*>(b)->key);
}

int g_comparisons = 0;
int CountingCompare(const void* a, const void* b) {
  ++g_comparisons;
  return CompareInt32(a, b);
}

TEST(SortElements, FewerThanTwoElementsAreLeftAlone) {
  int32_t one[1] = {42};
  g_comparisons = 0;
  SortElements(nullptr, 0, sizeof(int32_t), CountingCompare);
  SortElements(one, 1, sizeof(int32_t), CountingCompare);
  EXPECT_EQ(0, g_comparisons);
  EXPECT_EQ(42, one[0]);
}

TEST(SortElements, MatchesStdSortOnRandomData) {
  std::mt19937 random(20240611);
  const size_t sizes[] = {2, 3, 4, 5, 7, 8, 16, 31, 100, 1000, 4097};
  for (size_t n : sizes) {
    for (int range : {3, 1000000}) {  // many duplicates, then almost none
      std::vector<int32_t> values(n);
      std::uniform_int_distribution<int32_t> pick(-range, range);
      for (int32_t& v : values) v = pick(random);
      std::vector<int32_t> expected = values;
      std::sort(expected.begin(), expected.end());
      SortElements(values.data(), values.size(), sizeof(int32_t), CompareInt32);
      ASSERT_EQ(expected, values) << "n=" << n << " range=" << range;
    }
  }
}

TEST(SortElements, SortedReversedAndConstantInputs) {
  for (size_t n : {2u, 9u, 64u}) {
    std::vector<uint64_t> ascending(n), descending(n), constant(n, 5);
    for (size_t i = 0; i < n; ++i) {
      ascending[i] = i;
      descending[i] = n - i;
    }
    std::vector<uint64_t> expectedDescending = descending;
    std::sort(expectedDescending.begin(), expectedDescending.end());
    std::vector<uint64_t> expectedAscending = ascending, expectedConstant = constant;
    SortElements(ascending.data(), n, 8, CompareUint64);
    SortElements(descending.data(), n, 8, CompareUint64);
    SortElements(constant.data(), n, 8, CompareUint64);
    EXPECT_EQ(expectedAscending, ascending) << n;
    EXPECT_EQ(expectedDescending, descending) << n;
    EXPECT_EQ(expectedConstant, constant) << n;
  }
}

TEST(SortElements, MovesWholeRecordsBitwise) {
  std::mt19937 random(7);
  std::vector<Record> records(500);
  for (size_t i = 0; i < records.size(); ++i) {
    records[i].key = random() % 200;
    records[i].payload = records[i].key * 31 + 1;
    snprintf(records[i].tag, sizeof records[i].tag, "%u", static_cast<unsigned>(records[i].key));
  }
  SortElements(records.data(), records.size(), sizeof(Record), CompareRecords);
  for (size_t i = 0; i < records.size(); ++i) {
    if (i > 0) {
      ASSERT_LE(records[i - 1].key, records[i].key) << "at " << i;
    }
    ASSERT_EQ(records[i].key * 31 + 1, records[i].payload) << "payload separated from its key at " << i;
    ASSERT_EQ(std::to_string(records[i].key), records[i].tag);
  }
}

}  // namespace
