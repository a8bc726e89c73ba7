// Text form of PAM policies: the readers accept the usual one-rule-per-line
// syntax with comments and bracketed controls, the writers emit one fixed,
// normalised layout.

#include <SystemConfiguration/Exceptions.h>
#include <SystemConfiguration/PAMEntry.h>
#include <SystemConfiguration/PAMFacility.h>
#include <SystemConfiguration/PAMPolicy.h>
#include <SystemConfiguration/PAMStack.h>

#include "sysconfig/ControlText.h"
#include "sysconfig/StreamReader.h"

#include <istream>
#include <ostream>
#include <string>
#include <utility>

namespace SystemConfiguration {

namespace {

const char HEADER_LINE[] = "#%PAM-1.0";

// Control, tab, module, tab, each argument followed by a space. Lines are
// built whole before they are written, so an unset control throws before
// any of its line reaches the stream.
void AppendEntry(std::string& line, const PAMEntry& entry)
{
    line += static_cast<std::string>(entry.control());
    line += '\t';
    line += entry.module();
    line += '\t';
    for (const std::string& parameter : entry.parameters()) {
        line += parameter;
        line += ' ';
    }
}

// Writes the line and its line feed in one call, then flushes.
void WriteLine(std::ostream& out, std::string& line)
{
    line += '\n';
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out.flush();
}

void WriteLine(std::ostream& out, const char* text)
{
    std::string line(text);
    WriteLine(out, line);
}

void ReadFacility(detail::StreamReader& reader, PAMFacility& facility)
{
    // A failed read leaves the word empty, which is no facility either.
    std::string word;
    reader.ReadWord(word);
    facility = word;
}

bool EndsWith(const std::string& text, char c)
{
    return !text.empty() && text.back() == c;
}

// The control word, or the words of a bracketed control joined by single
// spaces. A bracketed control may hold white space, so it goes on until a
// word closes it, across line ends if need be; a failed read (the end of
// the input) leaves it unclosed.
std::string ReadControlText(detail::StreamReader& reader)
{
    std::string text;
    reader.ReadWord(text);
    if (!text.empty() && text.front() == '[' && !EndsWith(text, ']')) {
        for (;;) {
            const std::size_t before = text.size();
            text += ' ';
            if (!reader.AppendWord(text)) {
                text.resize(before);
                break;
            }
            if (EndsWith(text, ']'))
                break;
        }
    }
    return text;
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const PAMFacility& facility)
{
    return out << static_cast<std::string>(facility);
}

std::istream& operator>>(std::istream& in, PAMFacility& facility)
{
    detail::StreamReader reader(in);
    detail::GuardedRead(in, [&] { ReadFacility(reader, facility); });
    return in;
}

std::ostream& operator<<(std::ostream& out, const PAMEntry& entry)
{
    std::string text;
    AppendEntry(text, entry);
    return out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::istream& operator>>(std::istream& in, PAMEntry& entry)
{
    detail::StreamReader reader(in);
    detail::GuardedRead(in, [&] {
        std::string text = ReadControlText(reader);
        // Throws before the entry is touched.
        const PAMControl::Control kind = detail::ParseControl(text);
        PAMControl control = kind == PAMControl::Bracketed ? PAMControl(kind, std::move(text)) : PAMControl(kind);
        // At the end of the input there is no module word; the module is
        // then empty rather than whatever the entry held before.
        std::string module;
        reader.ReadWord(module);
        entry.control_ = std::move(control);
        entry.module_ = std::move(module);
        std::list<std::string>& parameters = entry.parameters_;
        reader.ReadLineWords([&parameters](const char* begin, const char* end) {
            parameters.emplace_back(begin, end);
        });
    });
    return in;
}

std::ostream& operator<<(std::ostream& out, const PAMStack& stack)
{
    if (stack.empty())
        return out;
    // Named once per stack; an unset facility throws here, before its
    // first line, and so do the lines of an unset control below.
    const std::string facility = stack.Facility();
    std::string line;
    for (const PAMEntry& entry : stack) {
        line.assign(facility);
        line += '\t';
        AppendEntry(line, entry);
        WriteLine(out, line);
    }
    return out;
}

std::ostream& operator<<(std::ostream& out, const PAMPolicy& policy)
{
    WriteLine(out, HEADER_LINE);
    WriteLine(out, "");
    for (const auto& facilityAndStack : policy.GetStacks()) {
        out << facilityAndStack.second;
        WriteLine(out, "");
    }
    return out;
}

std::istream& operator>>(std::istream& in, PAMPolicy& policy)
{
    detail::StreamReader reader(in);
    detail::GuardedRead(in, [&] {
        PAMFacility facility;
        while (!in.fail()) {
            const int next = reader.PeekAfterSpace();
            if (next == '#') {
                // Also consumes the "#%PAM-1.0" header.
                reader.DiscardLine();
                continue;
            }
            if (next == detail::StreamReader::EOF_MARK)
                break;
            ReadFacility(reader, facility);
            PAMEntry entry;
            in >> entry;
            policy[facility].push_back(std::move(entry));
        }
    });
    return in;
}

}  // namespace SystemConfiguration
