// Throughput and scaling of the code-page-936 text layer over generated pages:
// Chinese text (including characters whose second byte is ASCII) inside
// ASCII mark-up, the way a real GBK page looks.
//
//   text_bench --benchmark_filter=Page16MiB   the 16 MiB figures
//   text_bench --benchmark_filter=Scaling     time against size (should be O(N))
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>

#include "text/encoding.h"
#include "text/text.h"

namespace velinor {
namespace {

constexpr std::size_t kPageBytes = 16u << 20;

class Generator {
 public:
  std::uint32_t Next() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint32_t>(state_ >> 33);
  }
  std::uint32_t Below(std::uint32_t bound) { return Next() % bound; }

 private:
  std::uint64_t state_ = 936;
};

// A deterministic GBK page of `size` bytes: mark-up lines around runs of
// Chinese. One character in eight comes from the GBK/3 area (lead 0x81-0xA0),
// whose second bytes include ASCII letters and '@', '[', '`', '{'.
std::string MakePage(std::size_t size) {
  Generator random;
  std::string page;
  page.reserve(size + 256);
  while (page.size() < size) {
    page += "<div class=\"item\"><a href=\"/media/";
    page += std::to_string(random.Below(1000000));
    page += ".html\" title=\"";
    const std::uint32_t characters = 4 + random.Below(40);
    for (std::uint32_t i = 0; i < characters; ++i) {
      if (random.Below(8) == 0) {
        page += static_cast<char>(0x81 + random.Below(0x20));
        page += static_cast<char>(0x40 + random.Below(0x3F));  // 0x40-0x7E
      } else if (random.Below(16) == 0) {
        page += "\xA3\xAC";  // full-width comma
      } else {
        page += static_cast<char>(0xB0 + random.Below(0x28));
        page += static_cast<char>(0xA1 + random.Below(0x5E));
      }
    }
    page += "\">Sound ";
    page += std::to_string(random.Below(100000));
    page += "</a></div>\n";
  }
  page.resize(size);
  // Never end inside a two-byte character.
  if (static_cast<unsigned char>(page.back()) >= 0x80) page.back() = '\n';
  return page;
}

const std::string& Page16MiB() {
  static const std::string page = MakePage(kPageBytes);
  return page;
}

// FindText of an absent needle against memmem over the same bytes: memmem is
// timed in the same iterations with the benchmark clock paused.
// FindText_speed_vs_memmem above 1 means FindText is the faster of the two.
void FindTextAbsent(benchmark::State& state, const char* needle, bool caseInsensitive) {
  using Clock = std::chrono::steady_clock;
  const std::string& page = Page16MiB();
  const std::size_t needleLength = std::strlen(needle);
  double findSeconds = 0;
  double memmemSeconds = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    benchmark::DoNotOptimize(FindText(page, needle, 1, caseInsensitive));
    findSeconds += std::chrono::duration<double>(Clock::now() - start).count();
    state.PauseTiming();
    start = Clock::now();
    benchmark::DoNotOptimize(memmem(page.data(), page.size(), needle, needleLength));
    memmemSeconds += std::chrono::duration<double>(Clock::now() - start).count();
    state.ResumeTiming();
  }
  const double bytes = static_cast<double>(page.size()) * static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.counters["memmem_GBps"] = bytes / memmemSeconds / 1e9;
  state.counters["FindText_speed_vs_memmem"] = memmemSeconds / findSeconds;
}

void BM_Page16MiB_FindTextAbsent(benchmark::State& state) {
  FindTextAbsent(state, "</section>", false);
}
void BM_Page16MiB_FindTextAbsentIgnoreCase(benchmark::State& state) {
  FindTextAbsent(state, "</Section>", true);
}

void BM_Page16MiB_AnsiToUnicodeAndBack(benchmark::State& state) {
  const std::string& page = Page16MiB();
  if (UnicodeToAnsi(AnsiToUnicode(page)) != page)
    state.SkipWithError("round trip changed the text");
  for (auto _ : state) {
    const ByteBuffer units = AnsiToUnicode(page);
    benchmark::DoNotOptimize(UnicodeToAnsi(units).data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(page.size()) * state.iterations());
}

void BM_Page16MiB_AnsiToUnicode(benchmark::State& state) {
  const std::string& page = Page16MiB();
  for (auto _ : state) benchmark::DoNotOptimize(AnsiToUnicode(page).data());
  state.SetBytesProcessed(static_cast<std::int64_t>(page.size()) * state.iterations());
}

void BM_Page16MiB_UnicodeToAnsi(benchmark::State& state) {
  const ByteBuffer units = AnsiToUnicode(Page16MiB());
  for (auto _ : state) benchmark::DoNotOptimize(UnicodeToAnsi(units).data());
  state.SetBytesProcessed(static_cast<std::int64_t>(Page16MiB().size()) * state.iterations());
}

// --- scaling: time per byte must stay flat as the text grows -------------------

template <typename Work>
void Scaling(benchmark::State& state, const std::string& text, Work work) {
  for (auto _ : state) work(text);
  state.SetBytesProcessed(static_cast<std::int64_t>(text.size()) * state.iterations());
  state.SetComplexityN(static_cast<std::int64_t>(text.size()));
}

std::string PageOf(benchmark::State& state) {
  return MakePage(static_cast<std::size_t>(state.range(0)));
}

void BM_Scaling_FindTextAbsent(benchmark::State& state) {
  Scaling(state, PageOf(state),
          [](const std::string& t) { benchmark::DoNotOptimize(FindText(t, "</section>")); });
}

void BM_Scaling_ReplaceText(benchmark::State& state) {
  Scaling(state, PageOf(state), [](const std::string& t) {
    benchmark::DoNotOptimize(ReplaceText(t, "class", "CLASS", 1, -1, true).data());
  });
}

void BM_Scaling_SplitText(benchmark::State& state) {
  Scaling(state, PageOf(state),
          [](const std::string& t) { benchmark::DoNotOptimize(SplitText(t, "\"").data()); });
}

void BM_Scaling_TrimBoth(benchmark::State& state) {
  std::string text = PageOf(state);
  const std::string spaces(text.size() / 8, ' ');
  text = spaces + text + spaces;
  Scaling(state, text, [](const std::string& t) { benchmark::DoNotOptimize(TrimBoth(t).data()); });
}

// Worst case for the grid checks: every byte candidate is a second byte.
void BM_Scaling_FindTextSecondByteCandidates(benchmark::State& state) {
  std::string text;
  while (text.size() < static_cast<std::size_t>(state.range(0)))
    text +=
        "\xB0"
        "A";
  Scaling(state, text, [](const std::string& t) { benchmark::DoNotOptimize(FindText(t, "A")); });
}

void BM_Scaling_ReplaceTextSecondByteCandidates(benchmark::State& state) {
  std::string text;
  while (text.size() < static_cast<std::size_t>(state.range(0)))
    text +=
        "\xB0"
        "A";
  Scaling(state, text, [](const std::string& t) {
    benchmark::DoNotOptimize(ReplaceText(t, "A", "x", 1, -1, true).data());
  });
}

BENCHMARK(BM_Page16MiB_FindTextAbsent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Page16MiB_FindTextAbsentIgnoreCase)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Page16MiB_AnsiToUnicodeAndBack)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Page16MiB_AnsiToUnicode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Page16MiB_UnicodeToAnsi)->Unit(benchmark::kMillisecond);

constexpr std::int64_t kSmallest = 64 << 10;
constexpr std::int64_t kLargest = 16 << 20;
#define VELINOR_SCALING(name) \
  BENCHMARK(name)->RangeMultiplier(4)->Range(kSmallest, kLargest)->Complexity(benchmark::oN)
VELINOR_SCALING(BM_Scaling_FindTextAbsent);
VELINOR_SCALING(BM_Scaling_ReplaceText);
VELINOR_SCALING(BM_Scaling_SplitText);
VELINOR_SCALING(BM_Scaling_TrimBoth);
VELINOR_SCALING(BM_Scaling_FindTextSecondByteCandidates);
VELINOR_SCALING(BM_Scaling_ReplaceTextSecondByteCandidates);

}  // namespace
}  // namespace velinor

BENCHMARK_MAIN();
