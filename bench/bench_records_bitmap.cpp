// Record bitmap costs over one million records, sparse (one record in a thousand, scattered)
// and dense (nine in ten, in long runs with gaps): counting, combining, ranking, and walking
// the whole set one member at a time and in one long step.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "db/sql/bitmaps/records_bitmap.h"

namespace {

constexpr uint32_t kRecords = 1'000'000;

// range(0): 0 sparse, 1 dense.
void Fill(TRecordsBitmap& bitmap, bool dense, uint32_t seed) {
  std::mt19937 random(seed);
  bitmap.SetSize(kRecords);
  if (dense) {
    bitmap.SetAll();
    for (uint32_t r = 1; r <= kRecords; r += 1 + random() % 2000) {
      for (uint32_t gap = 0; gap < 200 && r + gap <= kRecords; ++gap) bitmap.Clear(r + gap);
    }
  } else {
    for (uint32_t i = 0; i < kRecords / 1000; ++i) bitmap.Set(1 + random() % kRecords);
  }
}

const char* Shape(const benchmark::State& state) {
  return state.range(0) ? "dense" : "sparse";
}

void BM_Count(benchmark::State& state) {
  TRecordsBitmap bitmap;
  Fill(bitmap, state.range(0), 1);
  for (auto _ : state) benchmark::DoNotOptimize(bitmap.Count());
  state.SetLabel(Shape(state));
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_And(benchmark::State& state) {
  TRecordsBitmap a, b;
  Fill(a, state.range(0), 1);
  Fill(b, state.range(0), 2);
  for (auto _ : state) {
    a.AndWith(b);
    benchmark::ClobberMemory();
  }
  state.SetLabel(Shape(state));
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_Rank(benchmark::State& state) {
  TRecordsBitmap bitmap;
  Fill(bitmap, state.range(0), 1);
  std::mt19937 random(3);
  for (auto _ : state) benchmark::DoNotOptimize(bitmap.Rank(1 + random() % kRecords));
  state.SetLabel(Shape(state));
}

// Visits every member by single steps, as a cursor moving record by record does.
void BM_NextEachMember(benchmark::State& state) {
  TRecordsBitmap bitmap;
  Fill(bitmap, state.range(0), 1);
  uint32_t members = bitmap.Count();
  for (auto _ : state) {
    uint32_t position = 0;
    int64_t counter = 0;
    while (bitmap.Next(position, 1, counter).complete) {
    }
    benchmark::DoNotOptimize(counter);
  }
  state.SetLabel(Shape(state));
  state.SetItemsProcessed(state.iterations() * members);
}

// Positions on the last member in one walk, as a cursor jumping to a logical position does.
void BM_NextOneLongStep(benchmark::State& state) {
  TRecordsBitmap bitmap;
  Fill(bitmap, state.range(0), 1);
  uint32_t members = bitmap.Count();
  for (auto _ : state) {
    uint32_t position = 0;
    int64_t counter = 0;
    benchmark::DoNotOptimize(bitmap.Next(position, members, counter));
  }
  state.SetLabel(Shape(state));
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_PriorOneLongStep(benchmark::State& state) {
  TRecordsBitmap bitmap;
  Fill(bitmap, state.range(0), 1);
  uint32_t members = bitmap.Count();
  for (auto _ : state) {
    uint32_t position = kRecords + 1;
    int64_t counter = 0;
    benchmark::DoNotOptimize(bitmap.Prior(position, members, counter));
  }
  state.SetLabel(Shape(state));
  state.SetItemsProcessed(state.iterations() * kRecords);
}

BENCHMARK(BM_Count)->Arg(0)->Arg(1);
BENCHMARK(BM_And)->Arg(0)->Arg(1);
BENCHMARK(BM_Rank)->Arg(0)->Arg(1);
BENCHMARK(BM_NextEachMember)->Arg(0)->Arg(1);
BENCHMARK(BM_NextOneLongStep)->Arg(0)->Arg(1);
BENCHMARK(BM_PriorOneLongStep)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
