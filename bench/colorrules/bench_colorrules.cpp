// One colouring pass of a keyword rule (compile, scan, merge) over a screenful of log text:
// 60 lines of 200 characters, 10 to 1,000 keywords, matched with and without case.

#include "colormemo/colorpass.h"
#include "colormemo/colorrule.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <random>
#include <string>
#include <vector>

using namespace colormemo;

namespace {

constexpr int region_lines = 60;
constexpr std::size_t line_length = 200;

std::string random_word(std::mt19937& random, std::size_t min_length, std::size_t max_length)
{
    std::uniform_int_distribution<std::size_t> length(min_length, max_length);
    std::uniform_int_distribution<int> letter(0, 25);
    std::string word(length(random), ' ');
    for (char& c : word)
        c = static_cast<char>('a' + letter(random));
    return word;
}

// Log-like lines of random words; one line in three carries one of the keywords.
std::string make_region(std::mt19937& random, const std::vector<std::string>& keywords)
{
    std::string region;
    std::uniform_int_distribution<std::size_t> pick(0, keywords.size() - 1);
    for (int line = 0; line < region_lines; ++line) {
        std::string text = "2024-05-01 12:00:00 host app[1234]: ";
        if (line % 3 == 0)
            text += keywords[pick(random)] + ' ';
        while (text.size() < line_length)
            text += random_word(random, 2, 9) + ' ';
        text.resize(line_length);
        region += text;
        if (line + 1 < region_lines)
            region += "\r\n";
    }
    return region;
}

}  // namespace

int main()
{
    // The median of many passes: the machine is shared, and the mean follows whoever else runs.
    std::printf("%10s %8s %8s %12s %10s %10s %6s\n", "keywords", "keycase", "passes", "median_us", "mean_us", "best_us",
                "runs");
    std::vector<std::string> summaries;
    for (const int keyword_count : {10, 100, 1000}) {
        for (const bool key_case : {false, true}) {
            std::mt19937 random(12345u + static_cast<unsigned>(keyword_count));
            std::vector<std::string> keywords;
            const char* colors[] = {"", "blue", "green", "#FF8000", "navy"};
            TStringList entries;
            for (int i = 0; i < keyword_count; ++i) {
                keywords.push_back(random_word(random, 4, 10));
                entries.push_back(keywords.back() + (i % 5 == 0 ? "" : std::string(";") + colors[i % 5]));
            }
            const std::string region = make_region(random, keywords);

            TColorRule rule;
            rule.SetKeyDrawingType(dtKeyShow);
            rule.SetKeyCase(key_case);
            rule.SetPartWord(true);
            rule.Keywords() = entries;
            TColorPass pass;

            const int passes = keyword_count >= 1000 ? 200 : 2000;
            std::vector<double> samples;
            std::size_t runs = 0;
            for (int i = 0; i < passes; ++i) {
                const auto start = std::chrono::steady_clock::now();
                rule.Compile();
                pass.BeginPass();
                rule.Scan(pass, region, 5000);
                MergeRuns(pass);
                const auto stop = std::chrono::steady_clock::now();
                samples.push_back(std::chrono::duration<double, std::micro>(stop - start).count());
                runs = pass.Runs().size();
            }
            std::sort(samples.begin(), samples.end());
            const double median_us = samples[samples.size() / 2];
            const double mean_us = std::accumulate(samples.begin(), samples.end(), 0.0) / passes;
            std::printf("%10d %8d %8d %12.1f %10.1f %10.1f %6zu\n", keyword_count, key_case ? 1 : 0, passes, median_us,
                        mean_us, samples.front(), runs);
            char line[160];
            std::snprintf(line, sizeof line, "BENCH colorrules keywords=%d keycase=%d us_per_pass=%.1f",
                          keyword_count, key_case ? 1 : 0, median_us);
            summaries.emplace_back(line);
        }
    }
    std::printf("\n(region: %d lines of %zu characters; target: under 1000 us per pass with 100 keywords)\n",
                region_lines, line_length);
    for (const std::string& summary : summaries)
        std::printf("%s\n", summary.c_str());
    return 0;
}
