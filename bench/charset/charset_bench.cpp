// The charset stage over large pages, beside glibc's iconv(3) doing the same
// UTF-8 -> GBK conversion in this process over the same bytes.
//
//   build/regex-release/bench/charset/charset_bench
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "text/text.h"
#include "web/charset_stage.h"

namespace velinor {
namespace {

constexpr std::size_t kMiB = 1024 * 1024;

enum Kind { kListing, kArticle };

// A listing page (mark-up and Chinese text, about half the bytes each) or an
// article (almost all Chinese), every character with a GBK form so that iconv
// converts it without complaint.
std::string MakePage(std::string_view charset, std::size_t size, Kind kind = kListing) {
  std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"" + std::string(charset) +
                     "\"><title>音效素材下载_正版高品质音效</title></head><body>\n";
  const std::string item =
      kind == kListing
          ? "<div class=\"item\"><a href=\"/media/20240611.html\">森林里的鸟叫声，清晨的微风与"
            "流水</a><span class=\"len\">00:42</span><p>适合纪录片、广告和游戏的环境音效。</p>"
            "</div>\n"
          : "<p>清晨的森林里，鸟叫声此起彼伏，微风吹过树梢，远处的溪水缓缓流淌。录音师在林间"
            "架起话筒，记录下这一刻的宁静与生机，这些声音后来成为纪录片和游戏中最受欢迎的"
            "环境音效之一。</p>\n";
  while (page.size() + item.size() < size) page += item;
  page.append(size - page.size(), ' ');
  return page;
}

ByteBuffer Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// The whole stage on a UTF-8 page: detection, then the body through the
// stream into code page 936.
void BM_StageUtf8Page(benchmark::State& state) {
  const ByteBuffer body = Bytes(MakePage("utf-8", static_cast<std::size_t>(state.range(0)),
                                         static_cast<Kind>(state.range(1))));
  for (auto _ : state) {
    state.PauseTiming();
    TextValue result = BytesToText(body);
    state.ResumeTiming();
    CharsetStage stage;
    stage.Run(body, result);
    benchmark::DoNotOptimize(result.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}
// Second argument: 0 a listing page, 1 an article.
BENCHMARK(BM_StageUtf8Page)
    ->Args({16 * kMiB, kListing})
    ->Args({16 * kMiB, kArticle})
    ->Unit(benchmark::kMillisecond);

void BM_IconvUtf8ToGbk(benchmark::State& state) {
  const std::string page = MakePage("utf-8", static_cast<std::size_t>(state.range(0)),
                                    static_cast<Kind>(state.range(1)));
  for (auto _ : state) {
    // Like the stage, each conversion writes a new text: GBK never needs more
    // bytes than the UTF-8 it comes from.
    const std::unique_ptr<char[]> out(new char[page.size()]);
    iconv_t cd = iconv_open("GBK", "UTF-8");
    char* in = const_cast<char*>(page.data());
    std::size_t inLeft = page.size();
    char* o = out.get();
    std::size_t outLeft = page.size();
    if (iconv(cd, &in, &inLeft, &o, &outLeft) == static_cast<std::size_t>(-1)) {
      state.SkipWithError("iconv failed");
    }
    iconv_close(cd);
    benchmark::DoNotOptimize(out.get());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_IconvUtf8ToGbk)
    ->Args({16 * kMiB, kListing})
    ->Args({16 * kMiB, kArticle})
    ->Unit(benchmark::kMillisecond);

// Detection alone: a page that declares gbk is searched and left as it is, so
// the time is the search over the first 1024 bytes whatever the page's size.
void BM_StageDetectionOnly(benchmark::State& state) {
  const ByteBuffer body = Bytes(MakePage("gbk", static_cast<std::size_t>(state.range(0))));
  TextValue result = BytesToText(body);
  for (auto _ : state) {
    CharsetStage stage;
    stage.Run(body, result);
    benchmark::DoNotOptimize(result.data());
  }
}
BENCHMARK(BM_StageDetectionOnly)->Arg(1024)->Arg(16 * kMiB)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace velinor

BENCHMARK_MAIN();
