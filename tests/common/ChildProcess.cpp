#include "common/ChildProcess.h"

#include "common/Files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>

extern char** environ;

namespace orvauth_test {

ChildResult RunChild(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment,
                     const std::string& input)
{
    std::vector<std::string> arguments = argv, variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (environment.count(text.substr(0, text.find('='))) == 0) {
            variables.push_back(text);
        }
    }
    for (const auto& change : environment) {
        if (!change.second.empty()) {
            variables.push_back(change.first + "=" + change.second);
        }
    }
    auto pointers = [](std::vector<std::string>& texts) {
        std::vector<char*> result;
        for (std::string& text : texts) {
            result.push_back(&text[0]);
        }
        result.push_back(nullptr);
        return result;
    };

    // The standard streams are files, so neither side can stall on a full pipe.
    orvauth_test::TempDir streams;
    const std::string in = streams.File("in"), out = streams.File("out"), err = streams.File("err");
    orvauth_test::WriteFile(in, input);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid;
    const int spawned = posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, pointers(arguments).data(),
                                     pointers(variables).data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(spawned));
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ChildResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = orvauth_test::ReadFile(out);
    result.err = orvauth_test::ReadFile(err);
    return result;
}

}  // namespace orvauth_test
