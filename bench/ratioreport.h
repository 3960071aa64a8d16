#pragma once
// Turns one benchmark run into the figures we track: each operation's time per item, its ratio to
// a baseline measured in the same run, and how its time per item grows with the tree. Absolute
// times vary too much on shared machines to be compared across runs; ratios within one run do not.

#include <benchmark/benchmark.h>
#include <cstddef>
#include <map>
#include <ostream>
#include <string>
#include <vector>

// One row group of the table: an operation and the baseline it is compared with.
struct CRatioTarget {
    std::string m_strTitle;    // what the row measures, as the table shows it
    std::string m_strMeasured; // benchmark function name of the operation
    std::string m_strBaseline; // benchmark function name of its baseline
    double m_dRatioTarget = 0; // the ratio it must stay within; 0 when there is none
};

// Which clock the figures use. CPU time leaves out the time the process waits for the CPU, which
// other jobs on a shared machine decide; real time includes waiting for the disk.
enum class ERatioClock { Cpu, Real };

// Prints every run to the console as the ordinary reporter does and keeps, per benchmark and
// argument, the time per iteration and the "items" counter. With repetitions the median
// aggregate is used, else the median of the runs reported.
class CRatioReporter : public benchmark::ConsoleReporter {
public:
    CRatioReporter(ERatioClock clock, OutputOptions options);

    void ReportRuns(const std::vector<Run>& runs) override;

    // Writes the Markdown table of rules at every size that was run, then one line per target
    // missed. growthTarget bounds the time per item at each size against the smallest size.
    // Returns the number of targets missed (a figure that was not measured misses nothing).
    int PrintTable(std::ostream& out, const std::vector<CRatioTarget>& rules,
                   double growthTarget) const;

private:
    struct CResult {
        std::vector<double> m_runs; // ns per iteration of each plain run
        double m_dMedian = -1;      // ns per iteration of the median aggregate, -1 when none
        double m_dItems = 0;        // the "items" counter
        double Nanoseconds() const;
    };

    const CResult* Find(const std::string& name, size_t size) const;

    ERatioClock m_clock;
    std::map<std::string, std::map<size_t, CResult>> m_results; // function name -> size -> result
};
