// Reading and writing large PAM policies and name-service switch files,
// against the floor any line-oriented reader has: a plain std::getline loop
// over the same bytes.

#include <SystemConfiguration/SystemConfiguration.h>

#include <benchmark/benchmark.h>

#include <cstddef>
#include <istream>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

using namespace SystemConfiguration;

namespace {

constexpr int LINES = 10000;

// Reads a string in place, so no benchmark pays for copying its input.
class StringView : public std::streambuf {
public:
    explicit StringView(const std::string& text)
    {
        char* begin = const_cast<char*>(text.data());
        setg(begin, begin, begin + text.size());
    }
};

// Rules as they appear in real policies: all four facilities, named and
// bracketed controls, zero to three arguments, a comment now and then.
const std::string& PAMText()
{
    static const std::string text = [] {
        static const char* const rules[] = {
            "auth       required     pam_env.so\n",
            "auth       [success=2 default=ignore]   pam_unix.so nullok try_first_pass\n",
            "auth       requisite    pam_succeed_if.so uid >= 1000 quiet_success\n",
            "account    required     pam_unix.so\n",
            "account    sufficient   pam_localuser.so\n",
            "password   requisite    pam_pwquality.so retry=3 minlen=12\n",
            "password   [success=1 default=ignore] pam_unix.so obscure sha512\n",
            "session    optional     pam_keyinit.so revoke\n",
            "session    required     pam_limits.so\n",
            "# session  optional     pam_motd.so\n",
        };
        std::string result = "#%PAM-1.0\n";
        for (int line = 1; line < LINES; ++line)
            result += rules[line % (sizeof rules / sizeof *rules)];
        return result;
    }();
    return text;
}

const std::string& NSSText()
{
    static const std::string text = [] {
        static const char* const lines[] = {
            "passwd:         files systemd sss\n",
            "group:          files systemd sss\n",
            "shadow:         files sss\n",
            "hosts:          files mdns4_minimal [NOTFOUND=return] dns\n",
            "networks:       files\n",
            "protocols:      db files\n",
            "services:       db files sss\n",
            "netgroup:       nis sss ldap [NOTFOUND=return UNAVAIL=continue]\n",
            "sudoers:        files sss\n",
            "# automount:    files sss\n",
        };
        std::string result;
        for (int line = 0; line < LINES; ++line)
            result += lines[line % (sizeof lines / sizeof *lines)];
        return result;
    }();
    return text;
}

void GetlineLoop(benchmark::State& state, const std::string& text)
{
    for (auto _ : state) {
        StringView buffer(text);
        std::istream in(&buffer);
        std::string line;
        std::size_t lines = 0;
        while (std::getline(in, line))
            ++lines;
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

// Times building the model from the text; freeing it afterwards is not
// part of reading and is left out.
template <typename Model>
void Read(benchmark::State& state, const std::string& text, Model (*make)())
{
    for (auto _ : state) {
        StringView buffer(text);
        std::istream in(&buffer);
        auto model = std::make_unique<Model>(make());
        in >> *model;
        benchmark::DoNotOptimize(model.get());
        state.PauseTiming();
        model.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

// Takes what is written into memory reserved beforehand, as a file's
// buffer would, so the writers are not timed growing a string.
class Sink : public std::streambuf {
public:
    explicit Sink(std::size_t capacity) : storage(capacity) { Reset(); }
    void Reset() { setp(storage.data(), storage.data() + storage.size()); }
    std::size_t Size() const { return static_cast<std::size_t>(pptr() - pbase()); }

private:
    std::vector<char> storage;
};

template <typename Model>
void Write(benchmark::State& state, const std::string& text, Model (*make)())
{
    Model model = make();
    StringView buffer(text);
    std::istream in(&buffer);
    in >> model;
    Sink sink(2 * text.size());
    std::size_t written = 0;
    for (auto _ : state) {
        sink.Reset();
        std::ostream out(&sink);
        out << model;
        written = sink.Size();
        benchmark::DoNotOptimize(written);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(written));
}

PAMPolicy MakePolicy() { return PAMPolicy("bench"); }
NSSConfiguration MakeConfiguration() { return NSSConfiguration(); }

void BM_PAMGetlineLoop(benchmark::State& state) { GetlineLoop(state, PAMText()); }
void BM_PAMRead(benchmark::State& state) { Read(state, PAMText(), MakePolicy); }
void BM_PAMWrite(benchmark::State& state) { Write(state, PAMText(), MakePolicy); }
void BM_NSSGetlineLoop(benchmark::State& state) { GetlineLoop(state, NSSText()); }
void BM_NSSRead(benchmark::State& state) { Read(state, NSSText(), MakeConfiguration); }
void BM_NSSWrite(benchmark::State& state) { Write(state, NSSText(), MakeConfiguration); }

}  // namespace

BENCHMARK(BM_PAMGetlineLoop)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PAMRead)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PAMWrite)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NSSGetlineLoop)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NSSRead)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NSSWrite)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
