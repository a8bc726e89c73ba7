// The directory client's settings a join asks for beyond a domain, a
// container and credentials (LDAPS only, the computer account's
// description). The adclient plug-in's join takes only those three, so the
// settings are recorded in its settings file (adclient.conf in the
// library's configuration directory) before the join, where they hold for
// the operations after it too; a join that fails puts the file back.
#pragma once

#include <orvane/host/Export.h>

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace orvane::host {

class ORVAUTHHOST_API JoinSettings {
public:
    // Directory connections over LDAPS (TCP 636) only.
    void UseLdaps();
    // The computer account's description, blanks at either end dropped.
    // Throws std::invalid_argument saying what is wrong with text.
    void Describe(const std::string& text);

    // Sets each asked-for key in adclient.conf, keeping every other line,
    // and says so on report. Throws std::runtime_error naming the file when
    // it cannot be read or written; the file is then as it was.
    void Record(std::ostream& report);
    // Puts the file back as Record found it, for a join that failed: a
    // refused join changes nothing. Returns false (the file names what to
    // check) when it could not.
    bool Undo() noexcept;

    // The file Record writes.
    static std::string Path();

private:
    std::vector<std::pair<std::string, std::string>> wanted;
    std::string before;
    bool existed = false, written = false;
};

}  // namespace orvane::host
