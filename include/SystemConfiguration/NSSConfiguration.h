// The name-service switch configuration: for each database, the services
// consulted in order.
#pragma once

#include <SystemConfiguration/NSSDatabase.h>
#include <SystemConfiguration/NSSService.h>
#include <orvane/authentication/Export.h>

#include <deque>
#include <iosfwd>
#include <map>

namespace SystemConfiguration {

// An ordered map, so callers iterate, look up and erase databases with the
// standard map interface; databases sort by number (passwd first, aliases
// last), which is also the order they are written in.
class ORVAUTH_API NSSConfiguration : public std::map<NSSDatabase, std::deque<NSSService>> {
public:
    using Services = std::deque<NSSService>;

    NSSConfiguration();
    NSSConfiguration(const NSSConfiguration& other);
    NSSConfiguration& operator=(const NSSConfiguration& other);
    NSSConfiguration(NSSConfiguration&& other);
    NSSConfiguration& operator=(NSSConfiguration&& other);
    ~NSSConfiguration();

    // The services of that database, an empty queue inserted on first use.
    Services& operator[](NSSDatabase database);
};

// One line per database: name, ":", then " " + service for each service, a
// line feed (flushed). A database with no services is written as its name
// and ":" alone. A key without a name throws InvalidDatabaseException; the
// lines before it stay written.
ORVAUTH_API std::ostream& operator<<(std::ostream& out, const NSSConfiguration& configuration);

// Adds the lines of the text to the configuration, never clearing it.
// - Lines that are empty or whose first non-blank word starts with '#' are
//   comments.
// - The first word names the database; its last character (normally ':') is
//   dropped whatever it is. Lines of unknown databases are skipped silently.
// - Every following word is a service. A "[...]" group belongs to the
//   service before it only when exactly one white-space character separates
//   them; its words become the service's parameters. An unclosed group runs
//   to the end of the line.
// - Several lines of one database are merged in file order; a line without
//   services adds nothing.
// Nothing is read from a stream that has already failed; stream failures
// are left in the stream's state for the caller.
ORVAUTH_API std::istream& operator>>(std::istream& in, NSSConfiguration& configuration);

}  // namespace SystemConfiguration
