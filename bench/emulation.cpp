// Bytes per second through processByte alone (no window: the host does
// nothing), on plain text, SGR-heavy ANSI and line drawing, with libvterm's
// screen layer on the same streams in the same run. Both are fed in pieces
// of 176 bytes, the terminal's receive chunk.
#include "emulation/interpreter.h"
#include "streams.h"

#include <benchmark/benchmark.h>
#include <vterm.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

using namespace vorlex;

namespace {

// The receive path's loop: the stream in chunks, byte by byte.
void ours(benchmark::State &state) {
    const std::string &bytes = stream(int(state.range(0)));
    auto s = std::make_unique<EmulatorState>();
    resetEmulator(*s, 0x07);
    s->emulation = kVt100; // ESC ( needs VT100; the rest is common to the ANSI types
    EmulatorHost host;
    for (auto _ : state) {
        for (size_t at = 0; at < bytes.size(); at += kChunkSize) {
            const LONG n = LONG(std::min<size_t>(kChunkSize, bytes.size() - at));
            std::memcpy(s->chunk, bytes.data() + at, size_t(n));
            s->chunkLength = n;
            for (s->chunkIndex = 0; s->chunkIndex < s->chunkLength; ++s->chunkIndex) {
                s->currentByte = s->chunk[s->chunkIndex];
                processByte(*s, host);
            }
        }
        benchmark::DoNotOptimize(s->cells[0]);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void libvterm(benchmark::State &state) {
    const std::string &bytes = stream(int(state.range(0)));
    VTerm *vt = vterm_new(kScreenRows, kScreenColumns);
    vterm_set_utf8(vt, 0);
    VTermScreen *screen = vterm_obtain_screen(vt);
    vterm_screen_reset(screen, 1);
    vterm_input_write(vt, ESC "[?7l", 5);
    for (auto _ : state) {
        for (size_t at = 0; at < bytes.size(); at += kChunkSize)
            vterm_input_write(vt, bytes.data() + at, std::min<size_t>(kChunkSize, bytes.size() - at));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    vterm_free(vt);
}

void streamNames(benchmark::internal::Benchmark *b) {
    b->ArgName("stream")->Arg(0)->Arg(1)->Arg(2);
}

} // namespace

// stream 0: plain text, 1: SGR-heavy ANSI, 2: line drawing
BENCHMARK(ours)->Apply(streamNames);
BENCHMARK(libvterm)->Apply(streamNames);

BENCHMARK_MAIN();
