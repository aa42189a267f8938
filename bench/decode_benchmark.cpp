// Decoding speed: DecodeWaveSamples on 8 kHz mono images of five encodings and three lengths,
// against memcpy of the same output bytes and against libsndfile reading the same image from
// memory; every G.711 expansion path on its own; and the cost of decoding into freshly
// allocated memory.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "audio/g711_expand.h"
#include "audio/g711_tables.h"
#include "audio/pcm_top16.h"
#include "audio/wave_decoder.h"
#include "audio/wave_header.h"
#include "audio/wave_reader.h"
#include "bridge/large_buffer.h"
#include "support/bench_report.h"
#include "support/wave_images.h"

namespace jkestrune::bench {
namespace {

struct Encoding {
    const char* name;
    int16_t tag;
    int16_t blockAlign;
    uint16_t bits;
};
const Encoding kEncodings[] = {{"pcm16", WAVE_FORMAT_PCM, 2, 16},
                               {"alaw", WAVE_FORMAT_ALAW, 1, 8},
                               {"mulaw", WAVE_FORMAT_MULAW, 1, 8},
                               {"pcm8", WAVE_FORMAT_PCM, 1, 8},
                               {"pcm24", WAVE_FORMAT_PCM, 3, 24}};

struct Length {
    const char* name;
    uint32_t frames;
};
constexpr uint32_t kRate = 8000;
const Length kLengths[] = {{"1s", kRate}, {"60s", 60 * kRate}, {"60min", 3600 * kRate}};
const Length kTenMinutes = {"10min", 600 * kRate};

using jkestrune::test::Bytes;

// A canonical 44-byte header and `frames` frames of noise that reaches every code.
Bytes MakeImage(const Encoding& encoding, uint32_t frames) {
    Bytes data(size_t{frames} * static_cast<uint32_t>(encoding.blockAlign));
    uint32_t state = 0x2545F491;
    for (uint8_t& byte : data) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<uint8_t>(state);
    }
    return jkestrune::test::SimpleWave({encoding.tag, 1, encoding.blockAlign, encoding.bits, kRate},
                                       data);
}

constexpr size_t kHeaderSize = 44;

// libsndfile's virtual I/O over an image in memory.
struct MemoryFile {
    const Bytes* image;
    sf_count_t position;
};

sf_count_t Size(void* user) {
    return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->image->size());
}

sf_count_t Seek(sf_count_t offset, int whence, void* user) {
    auto* file = static_cast<MemoryFile*>(user);
    const sf_count_t size = static_cast<sf_count_t>(file->image->size());
    sf_count_t to = offset;
    if (whence == SEEK_CUR) {
        to += file->position;
    } else if (whence == SEEK_END) {
        to += size;
    }
    file->position = std::clamp<sf_count_t>(to, 0, size);
    return file->position;
}

sf_count_t Read(void* into, sf_count_t count, void* user) {
    auto* file = static_cast<MemoryFile*>(user);
    const sf_count_t size = static_cast<sf_count_t>(file->image->size());
    const sf_count_t taken = std::min(count, size - file->position);
    std::memcpy(into, file->image->data() + file->position, static_cast<size_t>(taken));
    file->position += taken;
    return taken;
}

sf_count_t Write(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t Tell(void* user) {
    return static_cast<MemoryFile*>(user)->position;
}

std::map<std::string, Bytes>& Images() {
    static std::map<std::string, Bytes> images;
    return images;
}

const Bytes& ImageFor(const Encoding& encoding, const Length& length) {
    Bytes& image = Images()[std::string(encoding.name) + "/" + length.name];
    if (image.empty()) {
        image = MakeImage(encoding, length.frames);
    }
    return image;
}

// The header is the caller's, made once: the decoder adds to its totals, which wrap harmlessly.
void Decode(benchmark::State& state, WaveHeader& header, const Bytes& image, int16_t* out) {
    uint32_t count = 0;
    DecodeWaveSamples(header, image.data(), static_cast<uint32_t>(image.size()), count, out);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
    if (count == 0) {
        state.SkipWithError("nothing decoded");
    }
}

void BmMemcpy(benchmark::State& state, uint32_t frames) {
    std::vector<int16_t> from(frames, 1);
    std::vector<int16_t> to(frames, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), frames * sizeof(int16_t));
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{frames} * 2);
}

void BmDecode(benchmark::State& state, Encoding encoding, Length length) {
    const Bytes& image = ImageFor(encoding, length);
    std::vector<int16_t> out(length.frames, 0);
    WaveHeader header;
    for (auto _ : state) {
        Decode(state, header, image, out.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{length.frames} * 2);
}

// The container parse alone (pass 1), the fixed cost that decoding adds to the copy.
void BmParse(benchmark::State& state, Length length) {
    const Bytes& image = ImageFor(kEncodings[0], length);
    WaveHeader header;
    for (auto _ : state) {
        uint32_t count = 0;
        QueryWaveSampleCount(header, image.data(), static_cast<uint32_t>(image.size()), count);
        benchmark::DoNotOptimize(count);
    }
}

void BmSndfile(benchmark::State& state, Encoding encoding, Length length) {
    const Bytes& image = ImageFor(encoding, length);
    std::vector<int16_t> out(length.frames, 0);
    SF_VIRTUAL_IO io{Size, Seek, Read, Write, Tell};
    for (auto _ : state) {
        MemoryFile file{&image, 0};
        SF_INFO info{};
        SNDFILE* sound = sf_open_virtual(&io, SFM_READ, &info, &file);
        if (sound == nullptr) {
            state.SkipWithError(sf_strerror(nullptr));
            break;
        }
        const sf_count_t read = sf_read_short(sound, out.data(), length.frames);
        sf_close(sound);
        benchmark::ClobberMemory();
        if (read != length.frames) {
            state.SkipWithError("short read");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * int64_t{length.frames} * 2);
}

void BmExpand(benchmark::State& state, G711ExpandPath path, const uint32_t* table, Length length) {
    if (!path.supported()) {
        state.SkipWithError("the processor lacks this path");
        return;
    }
    const Bytes& image = ImageFor(kEncodings[1], length);
    std::vector<int16_t> out(length.frames, 0);
    for (auto _ : state) {
        path.expand(table, image.data() + kHeaderSize, length.frames, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{length.frames});
}

void BmTop16(benchmark::State& state, Top16Path path, Length length) {
    if (!path.supported()) {
        state.SkipWithError("the processor lacks this path");
        return;
    }
    const Bytes& image = ImageFor(kEncodings[4], length);
    std::vector<int16_t> out(length.frames, 0);
    for (auto _ : state) {
        path.take(3, image.data() + kHeaderSize, length.frames, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{length.frames} * 2);
}

// Where a fresh output buffer comes from, for decoding into memory that was just allocated.
struct FreshMemory {
    void* (*allocate)(size_t bytes);  // null when there is none
    void (*release)(void* memory, size_t bytes);
};

// The general heap: the first write to each page faults it in.
constexpr FreshMemory kHeap{[](size_t bytes) { return ::operator new(bytes, std::nothrow); },
                            [](void* memory, size_t) { ::operator delete(memory); }};

// Small pages all mapped by the kernel at allocation.
constexpr FreshMemory kPopulated{[](size_t bytes) -> void* {
                                     void* memory =
                                         mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
                                     return memory == MAP_FAILED ? nullptr : memory;
                                 },
                                 [](void* memory, size_t bytes) { munmap(memory, bytes); }};

// The memory the bridge takes for large buffers (fresh huge pages).
constexpr FreshMemory kLargeBuffer{LargeBufferAllocate, LargeBufferRelease};

void BmFresh(benchmark::State& state, Encoding encoding, Length length, FreshMemory memory) {
    const Bytes& image = ImageFor(encoding, length);
    const size_t bytes = size_t{length.frames} * 2;
    WaveHeader header;
    for (auto _ : state) {
        void* out = memory.allocate(bytes);
        if (out == nullptr) {
            state.SkipWithError("no memory");
            break;
        }
        Decode(state, header, image, static_cast<int16_t*>(out));
        memory.release(out, bytes);
    }
    state.SetBytesProcessed(state.iterations() * int64_t{length.frames} * 2);
}

std::string Name(std::initializer_list<const char*> parts) {
    std::string name;
    for (const char* part : parts) {
        if (!name.empty()) {
            name.push_back('/');
        }
        name.append(part);
    }
    return name;
}

void Register() {
    for (const Length& length : kLengths) {
        benchmark::RegisterBenchmark(Name({"memcpy", length.name}).c_str(), BmMemcpy,
                                     length.frames);
        benchmark::RegisterBenchmark(Name({"parse", length.name}).c_str(), BmParse, length);
        for (const Encoding& encoding : kEncodings) {
            benchmark::RegisterBenchmark(Name({"decode", encoding.name, length.name}).c_str(),
                                         BmDecode, encoding, length);
            benchmark::RegisterBenchmark(Name({"sndfile", encoding.name, length.name}).c_str(),
                                         BmSndfile, encoding, length);
        }
        for (const G711ExpandPath& path : G711ExpandPaths()) {
            benchmark::RegisterBenchmark(Name({"expand", path.name, length.name}).c_str(), BmExpand,
                                         path, kALawToLinear, length);
        }
        for (const Top16Path& path : Top16Paths()) {
            benchmark::RegisterBenchmark(Name({"top16", path.name, length.name}).c_str(), BmTop16,
                                         path, length);
        }
    }
    for (const Length& length : {kTenMinutes, kLengths[2]}) {
        for (const Encoding& encoding : {kEncodings[0], kEncodings[1]}) {
            benchmark::RegisterBenchmark(Name({"warm", encoding.name, length.name}).c_str(),
                                         BmDecode, encoding, length);
            benchmark::RegisterBenchmark(Name({"fresh", encoding.name, length.name}).c_str(),
                                         BmFresh, encoding, length, kHeap);
            benchmark::RegisterBenchmark(Name({"populated", encoding.name, length.name}).c_str(),
                                         BmFresh, encoding, length, kPopulated);
            benchmark::RegisterBenchmark(Name({"large", encoding.name, length.name}).c_str(),
                                         BmFresh, encoding, length, kLargeBuffer);
        }
    }
}

void WriteTables(const Results& r, std::ostream& out) {
    out << "Decoding: `DecodeWaveSamples` on 8 kHz mono images; output GB/s, and the time "
           "against `memcpy` of the same output bytes and libsndfile's speed against ours.\n\n"
           "| Input | Length | Decode GB/s (output) | time / memcpy | libsndfile time / ours |\n"
           "|---|---|---:|---:|---:|\n";
    for (const Encoding& encoding : kEncodings) {
        for (const Length& length : kLengths) {
            const std::string tail = std::string(encoding.name) + "/" + length.name;
            const double decode = r.Median("decode/" + tail);
            if (decode == 0) {
                continue;
            }
            const double gbps = length.frames * 2.0 / decode / 1e9;
            out << "| " << encoding.name << " | " << length.name << " | " << Fixed(gbps, 2) << " | "
                << Fixed(decode / r.Median(std::string("memcpy/") + length.name), 2) << " | "
                << Fixed(r.Median("sndfile/" + tail) / decode, 2) << " |\n";
        }
    }
    out << "\nThe container parse alone (the count pass on the 16-bit image) takes "
        << Fixed(r.Median("parse/1s") * 1e9, 0) << " ns, against "
        << Fixed(r.Median("memcpy/1s") * 1e9, 0) << " ns for the `memcpy` of a 1 s recording.\n";
    out << "\nG.711 expansion paths alone (A-law codes, no container parse): input GB/s; "
           "libsndfile's A-law decode time against the path's; the path's time against "
           "`memcpy` of the same output.\n\n"
           "| Path | Length | GB/s (input) | libsndfile time / path | time / memcpy | "
           "speed-up on the portable loop |\n|---|---|---:|---:|---:|---:|\n";
    std::vector<std::string> paths;
    for (const G711ExpandPath& path : G711ExpandPaths()) {
        paths.push_back(path.name);
    }
    for (const std::string& path : paths) {
        for (const Length& length : kLengths) {
            const double time = r.Median("expand/" + path + "/" + length.name);
            if (time == 0) {
                continue;
            }
            out << "| " << path << " | " << length.name << " | "
                << Fixed(length.frames / time / 1e9, 2) << " | "
                << Fixed(r.Median(std::string("sndfile/alaw/") + length.name) / time, 2) << " | "
                << Fixed(time / r.Median(std::string("memcpy/") + length.name), 2) << " | "
                << Fixed(r.Median(std::string("expand/portable/") + length.name) / time, 2)
                << " |\n";
        }
    }
    out << "\n24-bit PCM paths alone (no container parse): output GB/s; libsndfile's 24-bit "
           "decode time against the path's; the path's time against `memcpy` of the same "
           "output.\n\n| Path | Length | GB/s (output) | libsndfile time / path | time / memcpy "
           "|\n|---|---|---:|---:|---:|\n";
    for (const Top16Path& path : Top16Paths()) {
        for (const Length& length : kLengths) {
            const double time = r.Median(std::string("top16/") + path.name + "/" + length.name);
            if (time == 0) {
                continue;
            }
            out << "| " << path.name << " | " << length.name << " | "
                << Fixed(length.frames * 2.0 / time / 1e9, 2) << " | "
                << Fixed(r.Median(std::string("sndfile/pcm24/") + length.name) / time, 2) << " | "
                << Fixed(time / r.Median(std::string("memcpy/") + length.name), 2) << " |\n";
        }
    }
    out << "\nFirst touch: decoding into memory already touched (warm), into a fresh `new[]` "
           "buffer, into a fresh mapping populated at `mmap` (MAP_POPULATE), and into the "
           "bridge's large buffer (a fresh mapping in huge pages). Milliseconds per decode "
           "including allocation and release, and against warm.\n\n"
           "| Input | Length | warm ms | fresh ms (×) | populated ms (×) | large buffer ms (×) |\n"
           "|---|---|---:|---:|---:|---:|\n";
    for (const Length& length : {kTenMinutes, kLengths[2]}) {
        for (const Encoding& encoding : {kEncodings[0], kEncodings[1]}) {
            const std::string tail = std::string(encoding.name) + "/" + length.name;
            const double warm = r.Median("warm/" + tail);
            if (warm == 0) {
                continue;
            }
            out << "| " << encoding.name << " | " << length.name << " | " << Fixed(warm * 1e3, 2);
            for (const char* kind : {"fresh/", "populated/", "large/"}) {
                const double time = r.Median(kind + tail);
                out << " | " << Fixed(time * 1e3, 2) << " (" << Fixed(time / warm, 2) << ")";
            }
            out << " |\n";
        }
    }
    out << "\n"
        << r.Repetitions() << " repetitions, medians; the widest spread between the "
        << "fastest and slowest repetition of one case was " << Fixed(r.WorstSpread() * 100, 0)
        << " % of its median.\n";
}

}  // namespace
}  // namespace jkestrune::bench

int main(int argc, char** argv) {
    jkestrune::bench::Register();
    return jkestrune::bench::RunAndReport(argc, argv, jkestrune::bench::WriteTables);
}
