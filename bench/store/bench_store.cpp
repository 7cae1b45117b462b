// Times the store as the program uses it, one access object per operation: saving a window
// configuration, reading one back, listing all of them and deleting one with its alerts.
// Usage: bench_store [configurations]   (default 300; works in a fresh temporary folder)

#include "store/store_paths.h"
#include "store/tregistry.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double median_ms;
    double max_ms;
};

template <typename Body>
Figures time_each(int count, Body body)
{
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        body(i);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back()};
}

std::string name_of(int i)
{
    return "config " + std::to_string(i);
}

}  // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    char folder_template[] = "/tmp/bench_store.XXXXXX";
    const char* folder = ::mkdtemp(folder_template);
    if (folder == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    ::setenv("XDG_CONFIG_HOME", folder, 1);

    const Figures save = time_each(count, [](int i) {
        store::TRegistry reg;
        reg.OpenKey(store::config_key(name_of(i)), true);
        reg.WriteInteger(store::port_value, 1000 + i);
        reg.WriteString(store::command_value, "ssh -L 9000:localhost:514 host" + std::to_string(i));
        reg.OpenKey(store::alert_key(name_of(i), "disk"), true);
        reg.WriteString(store::catchwords_value, "disk full\r\nI/O error");
        reg.WriteBool(store::active_value, true);
    });
    long checksum = 0;
    const Figures read = time_each(count, [&](int i) {
        store::TRegistry reg;
        if (reg.OpenKey(store::config_key(name_of(i)), false))
            checksum += reg.ReadInteger(store::port_value) + static_cast<long>(reg.ReadString(store::command_value).size());
    });
    std::size_t listed = 0;
    const Figures list = time_each(20, [&](int) {
        store::TRegistry reg;
        std::vector<std::string> names;
        if (reg.OpenKey(store::configs_key, false))
            reg.GetKeyNames(names);
        listed = names.size();
    });
    const Figures remove = time_each(std::min(count, 50), [](int i) {
        store::TRegistry reg;
        reg.DeleteKey(store::config_key(name_of(i)));
    });
    const auto db_bytes = std::filesystem::file_size(store::TRegistry::default_database_file());
    std::filesystem::remove_all(folder);

    if (listed != static_cast<std::size_t>(count) || checksum == 0) {
        std::fprintf(stderr, "bench_store: the store lost data (%zu listed)\n", listed);
        return 1;
    }
    std::printf("store, %d window configurations with one alert each, one access object per operation\n", count);
    std::printf("%-44s %10s %10s\n", "operation", "median ms", "max ms");
    std::printf("%-44s %10.3f %10.3f\n", "save configuration + alert (6 writes)", save.median_ms, save.max_ms);
    std::printf("%-44s %10.3f %10.3f\n", "read port and command", read.median_ms, read.max_ms);
    std::printf("%-44s %10.3f %10.3f\n", "list all configuration names", list.median_ms, list.max_ms);
    std::printf("%-44s %10.3f %10.3f\n", "delete configuration with its alerts", remove.median_ms, remove.max_ms);
    std::printf("database file: %ju bytes\n", static_cast<uintmax_t>(db_bytes));
    std::printf("BENCH store configs=%d save_ms=%.3f save_max_ms=%.3f read_ms=%.3f list_ms=%.3f delete_ms=%.3f db_bytes=%ju\n",
                count, save.median_ms, save.max_ms, read.median_ms, list.median_ms, remove.median_ms,
                static_cast<uintmax_t>(db_bytes));
    return 0;
}
