// pam normalize, nss normalize: the library's PAM policy and name-service
// switch models read a file and write it back in their normalised layout.
#include "Command.h"

#include <SystemConfiguration/NSSConfiguration.h>
#include <SystemConfiguration/PAMPolicy.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <stdexcept>

namespace orvauthctl {
namespace {

// The named file, or standard input for none or "-".
class Input {
public:
    explicit Input(const std::vector<std::string>& operands)
        : name(operands.size() > 1 && operands[1] != "-" ? operands[1] : "standard input")
    {
        if (operands.size() > 1 && operands[1] != "-") {
            file.reset(new std::ifstream(operands[1]));
            if (!*file) {
                throw std::runtime_error("cannot read '" + operands[1] + "': " + std::strerror(errno));
            }
        }
    }

    std::istream& Stream() { return file ? *file : std::cin; }

    // Readers stop at the end of the text; anything else is a read error.
    void CheckRead()
    {
        if (Stream().bad()) {
            throw std::runtime_error("cannot read " + name);
        }
    }

    const std::string& Name() const { return name; }

private:
    std::string name;
    std::unique_ptr<std::ifstream> file;
};

template <typename Model>
int Normalize(const Invocation& call, Model& model)
{
    Input input(call.arguments.operands);
    try {
        input.Stream() >> model;
    } catch (const std::exception& e) {
        throw std::runtime_error(input.Name() + ": " + e.what());
    }
    input.CheckRead();
    call.out << model;
    return EXIT_OK;
}

int NormalizePam(const Invocation& call)
{
    SystemConfiguration::PAMPolicy policy("orvauthctl");
    return Normalize(call, policy);
}

int NormalizeNss(const Invocation& call)
{
    SystemConfiguration::NSSConfiguration configuration;
    return Normalize(call, configuration);
}

}  // namespace

std::vector<Command> SystemFileCommands()
{
    return {
        {"pam", "normalize [<file>]", "rewrite a PAM policy file in the normalised layout",
         "Reads a PAM policy file (standard input when none or '-') and writes it to standard output\n"
         "the way the library writes policies: header, then the rules grouped by facility. Comments\n"
         "and spacing are dropped. Fails on an unknown facility (such as an include line) or control.",
         {}, 1, 2, NormalizePam, {"normalize"}},
        {"nss", "normalize [<file>]", "rewrite a name-service switch file in the normalised layout",
         "Reads a name-service switch file (standard input when none or '-') and writes it to standard\n"
         "output the way the library writes it: one line per known database, in a fixed order.\n"
         "Comments, unknown databases and databases without services are dropped.",
         {}, 1, 2, NormalizeNss, {"normalize"}},
    };
}

}  // namespace orvauthctl
