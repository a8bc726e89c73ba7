// What the live scenarios' test programs share: the harness's domain, the
// tool with the run's own store, the controller's database, timed steps.
#pragma once

#include "common/ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>

namespace orvauth_live {

using Clock = std::chrono::steady_clock;

const std::string DOMAIN = "ad.example.test";
const std::string PASSWORD = "Adm1n#Pass";
const std::string WORK = std::getenv("LIVE_WORK") ? std::getenv("LIVE_WORK") : "";

inline double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

inline void Figure(const std::string& name, double seconds) { std::printf("figure: %s %.2f s\n", name.c_str(), seconds); }

// Runs step, prints its time as a figure and checks it against bound.
inline void Timed(const std::string& name, double bound, const std::function<void()>& step)
{
    const Clock::time_point start = Clock::now();
    step();
    Figure(name, Since(start));
    EXPECT_LT(Since(start), bound) << name;
}

inline orvauth_test::ChildResult Ctl(std::vector<std::string> arguments, const std::string& input = "")
{
    arguments.insert(arguments.begin(), {ORVAUTHCTL_PATH, "--config-store", WORK + "/configstore.db",
                                         "--management-interface", "lo=127.0.0.11", "--state-dir", WORK + "/tool"});
    return orvauth_test::RunChild(arguments, {}, input);
}

// An attribute of the entries matching filter, in the controller's database.
inline std::string OnController(const std::string& filter, const std::string& attribute)
{
    return orvauth_test::RunChild({"ldbsearch", "--configfile=" + std::string(std::getenv("LIVE_SMB_CONF")), "-H",
                                   std::getenv("LIVE_SAM"), filter, attribute}).out;
}

}  // namespace orvauth_live
