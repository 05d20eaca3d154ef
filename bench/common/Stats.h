#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

// Median, min and max of repeated measurements, printed as one Markdown row.
struct Stats {
    std::vector<double> samples;

    void add(double value) { samples.push_back(value); }
    [[nodiscard]] double median() const
    {
        std::vector<double> s = samples;
        std::sort(s.begin(), s.end());
        const std::size_t n = s.size();
        if (n == 0)
            return 0;
        return n % 2 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
    }
    [[nodiscard]] double min() const { return samples.empty() ? 0 : *std::min_element(samples.begin(), samples.end()); }
    [[nodiscard]] double max() const { return samples.empty() ? 0 : *std::max_element(samples.begin(), samples.end()); }
};

inline double millisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

inline void printRow(const std::string &name, const Stats &stats, const std::string &unit,
                     const Stats *baseline = nullptr, const std::string &target = {})
{
    std::printf("| %s | %.3f %s | %.3f | %.3f | %zu | ", name.c_str(), stats.median(), unit.c_str(),
                stats.min(), stats.max(), stats.samples.size());
    if (baseline && baseline->median() > 0)
        std::printf("%.3f %s | %.2f× | ", baseline->median(), unit.c_str(), stats.median() / baseline->median());
    else
        std::printf("– | – | ");
    std::printf("%s |\n", target.empty() ? "–" : target.c_str());
    std::fflush(stdout);
}
