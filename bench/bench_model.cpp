// Benchmarks of the model's readers and writers on trees of 10^3, 10^4 and 10^5 items, each
// against a baseline of plain work on the same amount of data, run in the same process so that
// their ratio means something on a busy machine. Prints the ordinary benchmark output, then a
// Markdown table of the ratios (see ratioreport.h).
//
// Extra flag: --ratio_clock=cpu|real picks the clock of the table (default cpu).

#include "bench/benchtree.h"
#include "bench/ratioreport.h"
#include "component/model/markup.h"
#include "component/model/menumodel.h"
#include "component/model/parameters.h"
#include "component/model/widgetconfig.h"
#include "platform/file/atomicfile.h"

#include <benchmark/benchmark.h>
#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

// Marks for callgrind (instructions.sh); without the valgrind headers there is nothing to mark.
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_TOGGLE_COLLECT
#define RUNNING_ON_VALGRIND 0
#endif

namespace {

constexpr int64_t kSizes[] = {1000, 10000, 100000};
// Time per item may grow by this much from the smallest tree to the largest.
constexpr double kGrowthTarget = 1.5;

CBenchFolder* g_folder = nullptr;

// Runs op in the timed loop. For instructions.sh, which runs one benchmark at a time under
// callgrind with instrumentation and collection off at the start, the loop is what gets counted,
// after one uncounted run: the count is then of the steady state, not of the heap that building
// the trees left behind. Outside valgrind the marks are a few no-op instructions.
template <typename Op> void Measure(benchmark::State& state, Op op) {
    if (RUNNING_ON_VALGRIND) {
        CALLGRIND_START_INSTRUMENTATION;
        op();
    }
    CALLGRIND_TOGGLE_COLLECT;
    for (auto _ : state)
        op();
    CALLGRIND_TOGGLE_COLLECT;
}

// Cuts text after every LF; the pieces keep their line ends.
std::vector<std::string_view> LinesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

// Everything one tree size needs, built once and outside every timing.
struct CSizeData {
    CAppletParameters m_applet;
    CBenchShape m_shape;
    std::string m_strMarkup; // one BuildHtmlBody result
    std::vector<std::string_view> m_markupLines;
    std::string m_strStoredPath; // the stored form, saved once
    std::string m_strStoredText;
    std::vector<std::string_view> m_storedLines;
    std::vector<uint8_t> m_archive; // ArchiveItem of the first item
    size_t m_nArchiveItems = 0;
    std::vector<std::string> m_texts; // every text of the tree
};

CSizeData& BuildData(int64_t itemCount) {
    static std::map<int64_t, std::unique_ptr<CSizeData>> cache;
    auto& slot = cache[itemCount];
    if (slot)
        return *slot;
    auto data = std::make_unique<CSizeData>();
    const std::string suffix = std::to_string(itemCount);
    data->m_shape = BuildBenchTree(data->m_applet, static_cast<size_t>(itemCount), *g_folder);

    CWidgetConfig config;
    data->m_strMarkup = BuildHtmlBody(data->m_applet, config, kMarkupWeb);
    data->m_markupLines = LinesOf(data->m_strMarkup);
    // Every path must have survived the resource rebuild, or the markup would be cheaper than
    // the tree says.
    if (config.GetResources().size() !=
        3 + 3 * data->m_shape.m_nImages + 2 * data->m_shape.m_nSounds)
        throw std::runtime_error("support files of the benchmark tree are missing");

    CWidgetConfig stored;
    WriteParameters(data->m_applet, stored);
    data->m_strStoredPath = g_folder->Path("stored-" + suffix + ".wgt");
    if (!stored.Save(data->m_strStoredPath) ||
        !ReadWholeFile(data->m_strStoredPath, data->m_strStoredText))
        throw std::runtime_error("cannot save " + data->m_strStoredPath);
    data->m_storedLines = LinesOf(data->m_strStoredText);

    const CZephraItem& first = *data->m_applet.m_menus.front()->m_items.front();
    data->m_archive = ArchiveItem(first);
    data->m_nArchiveItems = CountItems(first);
    if (data->m_archive.empty())
        throw std::runtime_error("the first item cannot be archived");

    data->m_texts = CollectTexts(data->m_applet);
    slot = std::move(data);
    return *slot;
}

// The data for the benchmark's tree size, or null when it cannot be built; the benchmark is then
// reported as failed and the others still run.
CSizeData* DataFor(benchmark::State& state) {
    try {
        return &BuildData(state.range(0));
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return nullptr;
    }
}

void SetItems(benchmark::State& state, size_t items, size_t bytes) {
    state.counters["items"] = static_cast<double>(items);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// ---- Applet markup

void Markup(benchmark::State& state) {
    CSizeData* const found = DataFor(state);
    if (found == nullptr)
        return;
    CSizeData& data = *found;
    CWidgetConfig config;
    Measure(state, [&] {
        std::string body = BuildHtmlBody(data.m_applet, config, kMarkupWeb);
        benchmark::DoNotOptimize(body.data());
    });
    SetItems(state, data.m_shape.m_nItems, data.m_strMarkup.size());
}

// The same bytes appended line by line to a string that grows as the block does.
void MarkupBaseline(benchmark::State& state) {
    CSizeData* const found = DataFor(state);
    if (found == nullptr)
        return;
    CSizeData& data = *found;
    Measure(state, [&] {
        std::string body;
        for (std::string_view line : data.m_markupLines)
            body.append(line);
        benchmark::DoNotOptimize(body.data());
    });
    SetItems(state, data.m_shape.m_nItems, data.m_strMarkup.size());
}

// ---- Stored form written to a file

void WriteSave(benchmark::State& state) {
    CSizeData* const found = DataFor(state);
    if (found == nullptr)
        return;
    CSizeData& data = *found;
    const std::string path = g_folder->Path("save-" + std::to_string(state.range(0)) + ".wgt");
    Measure(state, [&] {
        CWidgetConfig config;
        WriteParameters(data.m_applet, config);
        if (!config.Save(path))
            state.SkipWithError("Save failed");
    });
    SetItems(state, data.m_shape.m_nItems, data.m_strStoredText.size());
}

// The same file written line by line through the same atomic replacement (temporary file, sync,
// rename), so that the ratio shows what encoding and formatting add.
void WriteSaveBaseline(benchmark::State& state) {
    CSizeData* const found = DataFor(state);
    if (found == nullptr)
        return;
    CSizeData& data = *found;
    const std::string path = g_folder->Path("plain-" + std::to_string(state.range(0)) + ".txt");
    Measure(state, [&] {
        CAtomicFile file;
        if (!file.Open(path)) {
            state.SkipWithError("cannot create the file");
            return;
        }
        for (std::string_view line : data.m_storedLines)
            file.Write(line);
        file.Commit();
    });
    SetItems(state, data.m_shape.m_nItems, data.m_strStoredText.size());
}

// ---- Stored form read back from the file

void LoadRead(benchmark::State& state) {
    CSizeData* const found = DataFor(state);
    if (found == nullptr)
        return;
    CSizeData& data = *found;
    Measure(state, [&] {
        CWidgetConfig config;
        CAppletParameters applet;
        if (!config.Load(data.m_strStoredPath) ||
            !ReadParameters(applet, config, g_folder->Root()) ||
            applet.m_menus.size() != kBenchTopLevelMenus)
            state.SkipWithError("the stored tree did not read back");
        benchmark::DoNotOptimize(applet.m_menus.data());
    });
    SetItems(state, data.m_shape.m_nItems, data.m_strStoredText.size());
}

// The same file read whole and cut into lines.
void LoadReadBaseline(benchmark::State& state) {
    CSizeData* const found = DataFor(state);
    if (found == nullptr)
        return;
    CSizeData& data = *found;
    Measure(state, [&] {
        std::string text;
        if (!ReadWholeFile(data.m_strStoredPath, text))
            state.SkipWithError("cannot read the file");
        std::vector<std::string_view> lines = LinesOf(text);
        benchmark::DoNotOptimize(lines.data());
    });
    SetItems(state, data.m_shape.m_nItems, data.m_strStoredText.size());
}

// ---- Archive form of the first item (the designer's clipboard)

void ArchiveRoundTrip(benchmark::State& state) {
    CSizeData* const found = DataFor(state);
    if (found == nullptr)
        return;
    CSizeData& data = *found;
    const CZephraItem& first = *data.m_applet.m_menus.front()->m_items.front();
    Measure(state, [&] {
        const std::vector<uint8_t> bytes = ArchiveItem(first);
        CZephraItem target;
        if (!LoadArchivedItem(bytes, target))
            state.SkipWithError("the archive did not load back");
        benchmark::DoNotOptimize(target.m_pSubMenu.get());
    });
    SetItems(state, data.m_nArchiveItems, data.m_archive.size());
}

// The same number of bytes written as flat texts (as many as the archive holds: fourteen per
// item, four per menu) into a byte vector, then read back into strings.
void ArchiveBaseline(benchmark::State& state) {
    CSizeData* const found = DataFor(state);
    if (found == nullptr)
        return;
    CSizeData& data = *found;
    const size_t pieces = data.m_nArchiveItems * 18;
    const size_t length = data.m_archive.size() / pieces;
    const uint8_t* source = data.m_archive.data();
    Measure(state, [&] {
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i < pieces; ++i)
            bytes.insert(bytes.end(), source + i * length, source + (i + 1) * length);
        std::vector<std::string> texts;
        texts.reserve(pieces);
        for (size_t i = 0; i < pieces; ++i)
            texts.emplace_back(reinterpret_cast<const char*>(bytes.data()) + i * length, length);
        benchmark::DoNotOptimize(texts.data());
    });
    SetItems(state, data.m_nArchiveItems, data.m_archive.size());
}

// ---- Deep copy of the applet (the designer's snapshot)

// As Cancel in the designer puts the snapshot back: the copy replaces a tree of the same size.
void CopyFrom(benchmark::State& state) {
    CSizeData* const found = DataFor(state);
    if (found == nullptr)
        return;
    CSizeData& data = *found;
    CAppletParameters snapshot;
    Measure(state, [&] {
        snapshot.CopyFrom(data.m_applet); // also destroys the previous copy
        benchmark::DoNotOptimize(snapshot.m_menus.data());
    });
    SetItems(state, data.m_shape.m_nItems, 0);
}

// Every text of the tree copied as a flat list, and the previous copy destroyed.
void CopyFromBaseline(benchmark::State& state) {
    CSizeData* const found = DataFor(state);
    if (found == nullptr)
        return;
    CSizeData& data = *found;
    std::vector<std::string> snapshot;
    Measure(state, [&] {
        std::vector<std::string> copy(data.m_texts);
        snapshot.swap(copy);
        benchmark::DoNotOptimize(snapshot.data());
    });
    SetItems(state, data.m_shape.m_nItems, 0);
}

void Register(const char* name, void (*function)(benchmark::State&)) {
    benchmark::internal::Benchmark* b = benchmark::RegisterBenchmark(name, function);
    for (int64_t size : kSizes)
        b->Arg(size);
    b->Unit(benchmark::kMicrosecond);
}

// Takes --ratio_clock=... out of the arguments before the library sees them.
ERatioClock TakeClockFlag(int& argc, char** argv) {
    constexpr std::string_view kFlag = "--ratio_clock=";
    ERatioClock clock = ERatioClock::Cpu;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.starts_with(kFlag)) {
            const std::string_view value = arg.substr(kFlag.size());
            if (value == "real")
                clock = ERatioClock::Real;
            else if (value != "cpu")
                throw std::invalid_argument("--ratio_clock takes cpu or real");
            continue;
        }
        argv[kept++] = argv[i];
    }
    argc = kept;
    return clock;
}

} // namespace

int main(int argc, char** argv) {
    ERatioClock clock = ERatioClock::Cpu;
    try {
        clock = TakeClockFlag(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;

    std::unique_ptr<CBenchFolder> folder;
    try {
        folder = std::make_unique<CBenchFolder>();
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    g_folder = folder.get();
    Register("Markup", Markup);
    Register("MarkupBaseline", MarkupBaseline);
    Register("WriteSave", WriteSave);
    Register("WriteSaveBaseline", WriteSaveBaseline);
    Register("LoadRead", LoadRead);
    Register("LoadReadBaseline", LoadReadBaseline);
    Register("ArchiveRoundTrip", ArchiveRoundTrip);
    Register("ArchiveBaseline", ArchiveBaseline);
    Register("CopyFrom", CopyFrom);
    Register("CopyFromBaseline", CopyFromBaseline);

    CRatioReporter reporter(clock, ::isatty(STDOUT_FILENO) != 0
                                       ? benchmark::ConsoleReporter::OO_ColorTabular
                                       : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintTable(std::cout,
                        {
                            {"BuildHtmlBody, web form", "Markup", "MarkupBaseline", 3},
                            {"WriteParameters + Save", "WriteSave", "WriteSaveBaseline", 0},
                            {"Load + ReadParameters", "LoadRead", "LoadReadBaseline", 5},
                            {"ArchiveItem + LoadArchivedItem, first item", "ArchiveRoundTrip",
                             "ArchiveBaseline", 0},
                            {"CopyFrom, whole applet", "CopyFrom", "CopyFromBaseline", 0},
                        },
                        kGrowthTarget);
    benchmark::Shutdown();
    g_folder = nullptr;
    return 0;
}
