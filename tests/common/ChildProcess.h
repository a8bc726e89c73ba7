// Runs a program as a child process with its own environment, feeding its
// standard input and collecting its standard output and error.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace orvauth_test {

struct ChildResult {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

// argv[0] is the program, looked up in PATH unless it holds a slash.
// environment replaces or adds variables of this process's environment; an
// empty value removes the variable.
ChildResult RunChild(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment = {},
                     const std::string& input = "");

}  // namespace orvauth_test
