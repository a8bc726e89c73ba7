// What a caller pays for a directory query while the plug-in is stuck: the
// cached answer it gets at once (1 and 16 callers at the same time), and how
// far past its deadline a timed-out wait actually returns.
//
// Uses the scriptable test plug-in, so build with the tests enabled (default).

#include "BuildPaths.h"
#include "fixtures/ScriptablePlugin.h"

#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/ThreadUtil.h>

#include <benchmark/benchmark.h>
#include <boost/make_shared.hpp>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <dlfcn.h>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace orvane::authentication;
using Clock = std::chrono::steady_clock;

// The one time-out the set-up provokes is expected; keep it out of the
// host's log.
extern "C" {
__attribute__((visibility("default"))) void vsyslog(int, const char*, va_list) {}
__attribute__((visibility("default"))) void syslog(int, const char*, ...) {}
__attribute__((visibility("default"))) void __syslog_chk(int, int, const char*, ...) {}
}

namespace {

void MakeDirectories(const std::string& path)
{
    for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0755);
        if (slash == std::string::npos) {
            break;
        }
    }
}

// A store whose trusted-domains worker is stuck in the plug-in for the rest
// of the process, with three domains in its cache from an earlier answer.
// Never released: the worker simply ends with the process.
const ActiveDirectoryStore& StuckStore()
{
    static const ActiveDirectoryStore* store = [] {
        MakeDirectories(ORVAUTH_CONFIG_DIR);
        std::ofstream(ORVAUTH_CONFIG_DIR "/provider.conf") << "provider = \"scriptable\"\n";
        auto* stuck = new ActiveDirectoryStore(1);

        void* handle = dlopen(ORVAUTH_PLUGIN_DIR "/libscriptable.so", RTLD_LAZY | RTLD_NOLOAD);
        if (handle == nullptr) {
            throw std::runtime_error("the scriptable plug-in is not loaded");
        }
        auto* control = static_cast<ScriptablePluginControl*>(dlsym(handle, "ScriptablePluginControl"));
        auto hold = reinterpret_cast<ScriptableHoldFunction>(dlsym(handle, "ScriptablePluginHold"));
        dlclose(handle);

        control->answer[SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS] = "a.example.com/A b.example.com/B c.example.com/C";
        stuck->GetTrustedDomains();  // fills the cache
        hold(SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS, 1);
        stuck->GetTrustedDomains();  // times out once; the worker stays stuck
        return stuck;
    }();
    return *store;
}

double Percentile(std::vector<double>& values, double fraction)
{
    size_t index = std::min(values.size() - 1, static_cast<size_t>(fraction * values.size()));
    std::nth_element(values.begin(), values.begin() + index, values.end());
    return values[index];
}

// Each call is timed on its own so the median and the tail are visible, not
// only the mean; the figures are averaged over the caller threads.
void BM_CachedTrustedDomainsWhileWorkerRuns(benchmark::State& state)
{
    const ActiveDirectoryStore& store = StuckStore();
    std::vector<double> latencies;
    latencies.reserve(1 << 20);
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        std::deque<Domain> domains = store.GetTrustedDomains();
        Clock::time_point end = Clock::now();
        benchmark::DoNotOptimize(domains);
        latencies.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    if (store.GetTrustedDomains().size() != 3) {
        state.SkipWithError("the cache lost its domains");
        return;
    }
    auto average = benchmark::Counter::kAvgThreads;
    state.counters["median_us"] = benchmark::Counter(Percentile(latencies, 0.5), average);
    state.counters["p99_us"] = benchmark::Counter(Percentile(latencies, 0.99), average);
}
BENCHMARK(BM_CachedTrustedDomainsWhileWorkerRuns)->Threads(1)->Threads(16)->UseRealTime();

// The reported time is the overshoot alone: how long after its 1-second
// deadline a wait that nobody answers returns to its caller.
void BM_TimedOutWaitOvershoot(benchmark::State& state)
{
    double worst = 0;
    for (auto _ : state) {
        auto request = boost::make_shared<RequestState>();
        Clock::time_point start = Clock::now();
        try {
            request->WaitResult(1);
        } catch (const ProviderCallTimedOutException&) {
        }
        double overshoot = std::chrono::duration<double>(Clock::now() - start).count() - 1.0;
        state.SetIterationTime(std::max(overshoot, 0.0));
        worst = std::max(worst, overshoot);
    }
    state.counters["max_overshoot_ms"] = worst * 1000;
}
BENCHMARK(BM_TimedOutWaitOvershoot)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
