#include "Json.h"

#include <cstdio>

namespace orvauthctl {

std::string JsonQuoted(const std::string& text)
{
    std::string quoted = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\n': quoted += "\\n"; break;
        case '\r': quoted += "\\r"; break;
        case '\t': quoted += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7f) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                quoted += escaped;
            } else {
                quoted += static_cast<char>(c);
            }
        }
    }
    return quoted + "\"";
}

void JsonWriter::BeforeValue()
{
    if (afterKey) {
        afterKey = false;
        return;
    }
    if (!firstInScope.empty()) {
        if (!firstInScope.back()) {
            out << ',';
        }
        firstInScope.back() = false;
    }
}

JsonWriter& JsonWriter::BeginObject()
{
    BeforeValue();
    out << '{';
    firstInScope.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::EndObject()
{
    out << '}';
    firstInScope.pop_back();
    return *this;
}

JsonWriter& JsonWriter::BeginArray()
{
    BeforeValue();
    out << '[';
    firstInScope.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::EndArray()
{
    out << ']';
    firstInScope.pop_back();
    return *this;
}

JsonWriter& JsonWriter::Key(const std::string& key)
{
    BeforeValue();
    out << JsonQuoted(key) << ':';
    afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::String(const std::string& value)
{
    BeforeValue();
    out << JsonQuoted(value);
    return *this;
}

JsonWriter& JsonWriter::Number(int64_t value)
{
    BeforeValue();
    out << value;
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value)
{
    BeforeValue();
    out << (value ? "true" : "false");
    return *this;
}

JsonWriter& JsonWriter::Null()
{
    BeforeValue();
    out << "null";
    return *this;
}

JsonWriter& JsonWriter::StringArray(const std::vector<std::string>& values)
{
    BeginArray();
    for (const std::string& value : values) {
        String(value);
    }
    return EndArray();
}

void JsonWriter::Finish()
{
    out << '\n';
}

}  // namespace orvauthctl
