#include "bench/ratioreport.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace {

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Nanoseconds with three significant digits, or microseconds from 10 000 ns on.
std::string FormatTime(double ns) {
    if (ns >= 10000)
        return Format("%.1f µs", ns / 1000);
    if (ns >= 100)
        return Format("%.0f ns", ns);
    if (ns >= 10)
        return Format("%.1f ns", ns);
    return Format("%.2f ns", ns);
}

std::string FormatCount(size_t n) {
    std::string digits = std::to_string(n);
    for (size_t i = digits.size(); i > 3; i -= 3)
        digits.insert(i - 3, ",");
    return digits;
}

} // namespace

CRatioReporter::CRatioReporter(ERatioClock clock, OutputOptions options)
    : benchmark::ConsoleReporter(options), m_clock(clock) {}

double CRatioReporter::CResult::Nanoseconds() const {
    if (m_dMedian >= 0)
        return m_dMedian;
    if (m_runs.empty())
        return -1;
    std::vector<double> sorted = m_runs;
    std::sort(sorted.begin(), sorted.end());
    const size_t mid = sorted.size() / 2;
    return sorted.size() % 2 == 1 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2;
}

void CRatioReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        if (run.error_occurred)
            continue;
        const bool plain = run.run_type == Run::RT_Iteration;
        if (!plain && run.aggregate_name != "median")
            continue;
        const size_t size = std::stoul(run.run_name.args.empty() ? "0" : run.run_name.args);
        const double perIteration =
            m_clock == ERatioClock::Cpu ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime();
        const double ns = perIteration * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
        CResult& result = m_results[run.run_name.function_name][size];
        if (plain)
            result.m_runs.push_back(ns);
        else
            result.m_dMedian = ns;
        if (const auto it = run.counters.find("items"); it != run.counters.end())
            result.m_dItems = it->second.value;
    }
    benchmark::ConsoleReporter::ReportRuns(runs);
}

const CRatioReporter::CResult* CRatioReporter::Find(const std::string& name, size_t size) const {
    const auto family = m_results.find(name);
    if (family == m_results.end())
        return nullptr;
    const auto it = family->second.find(size);
    if (it == family->second.end() || it->second.Nanoseconds() < 0 || it->second.m_dItems <= 0)
        return nullptr;
    return &it->second;
}

int CRatioReporter::PrintTable(std::ostream& out, const std::vector<CRatioTarget>& rules,
                               double growthTarget) const {
    std::set<size_t> sizes;
    for (const auto& [name, bySize] : m_results) {
        for (const auto& [size, result] : bySize)
            sizes.insert(size);
    }
    std::vector<std::string> missed;

    out << "\nTimes per item are medians of "
        << (m_clock == ERatioClock::Cpu ? "CPU" : "wall-clock") << " time.\n\n";
    out << "| Operation | Tree items | Items measured | Time per item | Baseline per item | Ratio "
           "| Per item vs smallest tree |\n";
    out << "|---|--:|--:|--:|--:|--:|--:|\n";
    for (const CRatioTarget& rule : rules) {
        double firstPerItem = -1;
        for (size_t size : sizes) {
            const CResult* measured = Find(rule.m_strMeasured, size);
            if (measured == nullptr)
                continue;
            const CResult* baseline = Find(rule.m_strBaseline, size);
            const double perItem = measured->Nanoseconds() / measured->m_dItems;
            std::string ratioText = "-";
            std::string baselineText = "-";
            if (baseline != nullptr) {
                const double ratio = measured->Nanoseconds() / baseline->Nanoseconds();
                baselineText = FormatTime(baseline->Nanoseconds() / measured->m_dItems);
                ratioText = Format("%.2f", ratio);
                if (rule.m_dRatioTarget > 0) {
                    ratioText += Format(" (target %.0f)", rule.m_dRatioTarget);
                    if (ratio > rule.m_dRatioTarget)
                        missed.push_back(rule.m_strTitle + " at " + FormatCount(size) +
                                         " items: ratio " + Format("%.2f", ratio));
                }
            }
            std::string growthText = "1.00";
            if (firstPerItem < 0) {
                firstPerItem = perItem;
            } else {
                const double growth = perItem / firstPerItem;
                growthText = Format("%.2f", growth);
                if (growth > growthTarget)
                    missed.push_back(rule.m_strTitle + " at " + FormatCount(size) +
                                     " items: time per item " + growthText +
                                     "x that of the smallest tree");
            }
            out << "| " << rule.m_strTitle << " | " << FormatCount(size) << " | "
                << FormatCount(static_cast<size_t>(measured->m_dItems)) << " | "
                << FormatTime(perItem) << " | " << baselineText << " | " << ratioText << " | "
                << growthText << " |\n";
        }
    }
    out << "\n";
    if (missed.empty()) {
        out << "Every target met (ratios as listed, time per item within " << growthTarget
            << "x of the smallest tree).\n";
    } else {
        for (const std::string& line : missed)
            out << "MISSED: " << line << "\n";
    }
    return static_cast<int>(missed.size());
}
