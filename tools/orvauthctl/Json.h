// A streaming JSON writer for the --json output: compact, one document per
// run, strings passed through as UTF-8 with the required escapes.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace orvauthctl {

class JsonWriter {
public:
    explicit JsonWriter(std::ostream& out) : out(out) {}

    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    JsonWriter& Key(const std::string& key);

    JsonWriter& String(const std::string& value);
    JsonWriter& Number(int64_t value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();
    JsonWriter& StringArray(const std::vector<std::string>& values);

    // A line feed once the outermost value is closed.
    void Finish();

private:
    void BeforeValue();

    std::ostream& out;
    std::vector<bool> firstInScope;  // one entry per open object or array
    bool afterKey = false;
};

std::string JsonQuoted(const std::string& text);

}  // namespace orvauthctl
