// The administrators' drop-in in the sudoers directory: read back, put in
// place only after visudo accepted it, removed. No other file there is
// ever written, and one the library did not write is never replaced.
#pragma once

#include <orvane/host/Administrators.h>

#include <iosfwd>
#include <string>

namespace orvane::host {

class SudoersDropIn {
public:
    explicit SudoersDropIn(const std::string& sudoersDirectory);

    const std::string& Path() const { return path; }
    // Nobody when there is no drop-in; std::runtime_error naming the file
    // when one is there that the library did not write.
    Administrators Load() const;
    // None left: the drop-in goes. Otherwise a new file, mode 0440, is
    // checked with visudo -cf under a name sudo skips (it holds a '.') and
    // renamed over the drop-in, so sudo reads the old rules or the new ones.
    void Save(const Administrators& administrators, std::ostream& report) const;

private:
    void Check() const;  // the directory and visudo are there

    std::string directory;
    std::string path;
};

}  // namespace orvane::host
