// Text form of the name-service switch configuration.

#include <SystemConfiguration/NSSConfiguration.h>
#include <SystemConfiguration/NSSService.h>

#include "sysconfig/NameTables.h"
#include "sysconfig/StreamReader.h"

#include <cstring>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

namespace SystemConfiguration {

namespace {

void AppendService(std::string& line, const NSSService& service)
{
    line += service.module();
    if (service.parameters().empty())
        return;
    line += " [";
    bool first = true;
    for (const std::string& parameter : service.parameters()) {
        if (!first)
            line += ' ';
        line += parameter;
        first = false;
    }
    line += ']';
}

const char* SkipSpace(const char* p, const char* end)
{
    while (p < end && detail::IsSpace(*p))
        ++p;
    return p;
}

const char* SkipWord(const char* p, const char* end)
{
    while (p < end && !detail::IsSpace(*p))
        ++p;
    return p;
}

// The words of a status-action group, [begin, end) being the text between
// its brackets.
void AppendGroupWords(std::list<std::string>& parameters, const char* p, const char* end)
{
    for (p = SkipSpace(p, end); p < end; p = SkipSpace(p, end)) {
        const char* word = p;
        p = SkipWord(p, end);
        parameters.emplace_back(word, static_cast<std::size_t>(p - word));
    }
}

void ReadLine(const std::string& line, NSSConfiguration& configuration)
{
    if (line.empty() || line.front() == '#')
        return;
    const char* p = line.data();
    const char* const end = p + line.size();

    // The first word names the database. Its last character, normally the
    // colon, is dropped whatever it is: "passwd:" and "passwd;" both name
    // passwd, while "passwd" alone, or followed by a detached colon, looks
    // up "passw" and names nothing.
    p = SkipSpace(p, end);
    if (p == end)
        return;
    const char* const name = p;
    p = SkipWord(p, end);
    NSSDatabase::Database database;
    if (!detail::LookupValue(detail::DATABASE_NAMES, std::string_view(name, static_cast<std::size_t>(p - name - 1)),
                             database))
        return;  // other databases' lines are none of this model's business

    // Created only once the line has a service: a line without one must not
    // leave an empty entry behind.
    NSSConfiguration::Services* services = nullptr;
    for (p = SkipSpace(p, end); p < end; p = SkipSpace(p, end)) {
        const char* const module = p;
        p = SkipWord(p, end);
        if (!services)
            services = &configuration[database];
        services->emplace_back(std::string(module, static_cast<std::size_t>(p - module)));
        // A group belongs to the service only when exactly one separator
        // stands between them; p is at that separator, if any.
        if (end - p >= 2 && p[1] == '[') {
            const char* const group = p + 2;
            const char* close = static_cast<const char*>(std::memchr(group, ']', static_cast<std::size_t>(end - group)));
            AppendGroupWords(services->back().parameters(), group, close ? close : end);
            p = close ? close + 1 : end;
        }
    }
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const NSSService& service)
{
    std::string text;
    AppendService(text, service);
    return out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::ostream& operator<<(std::ostream& out, const NSSConfiguration& configuration)
{
    std::string line;
    for (const auto& databaseAndServices : configuration) {
        // An unnamed database throws here, before its line is begun.
        line = static_cast<std::string>(databaseAndServices.first);
        line += ':';
        for (const NSSService& service : databaseAndServices.second) {
            line += ' ';
            AppendService(line, service);
        }
        line += '\n';
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
        out.flush();
    }
    return out;
}

std::istream& operator>>(std::istream& in, NSSConfiguration& configuration)
{
    if (in.fail())
        return in;
    detail::GuardedRead(in, [&] {
        std::string line;
        while (std::getline(in, line))
            ReadLine(line, configuration);
    });
    return in;
}

}  // namespace SystemConfiguration
