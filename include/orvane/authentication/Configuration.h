// The library's key/value configuration files: `key = "value"` lines read
// into an ordered map bound to their file, and written back atomically.
#pragma once

#include <orvane/authentication/Export.h>

#include <fstream>
#include <map>
#include <string>
#include <utility>

namespace orvane {
namespace authentication {

// Writes the decimal form of a value, for line numbers and versions in
// messages.
template <typename T>
std::string string_cast(const T& value);
template <>
ORVAUTH_API std::string string_cast<int>(const int& value);

// Splits one line at its first "=" into a trimmed, unquoted key and value.
// Throws ConfigurationError naming lineNumber for a line without "=" or with
// a lone quote as its key or value.
ORVAUTH_API std::pair<std::string, std::string> GetKeyValuePair(const std::string& line, int lineNumber);

// The contents of one key/value file. The map is a public base: iterate,
// find, insert and erase through it. The lookup operators declared here
// never insert; a missing key throws InvalidKeyException.
class ORVAUTH_API Configuration : public std::map<std::string, std::string> {
public:
    // Reads the file; IOError when it cannot be opened or is not a regular
    // file, ConfigurationError for a malformed line. When a key repeats, its
    // first value wins.
    explicit Configuration(const std::string& path);
    virtual ~Configuration();

    const std::string& operator[](const std::string& key) const;
    std::string& operator[](const std::string& key);

    // Replaces the file with every pair in key order, one `key = "value"`
    // line each. Refuses, before touching the disk, a pair that would not
    // read back as written (ConfigurationError naming the key). Writers of
    // one file take turns under an exclusive lock, and keys that another
    // writer added, changed or removed since this object read the file keep
    // that writer's change unless this object changed them too.
    virtual void Write() const;

    const std::string& Path() const { return path; }

protected:
    std::string path;

private:
    // The pairs as last read or written, to tell this object's own changes.
    mutable std::map<std::string, std::string> asRead;
};

// An output file stream whose content replaces its target only on Commit():
// it writes into a new temporary file beside the target ("<target>.XXXXXX")
// and renames it over the target in one step, so readers see either the old
// file or the complete new one. A target that is a symbolic link stays a
// link: the file it leads to is replaced.
class ORVAUTH_API AtomicFileStream : public std::basic_ofstream<char> {
public:
    AtomicFileStream(const char* target, std::ios_base::openmode mode);
    // Removes the temporary file unless it was committed.
    ~AtomicFileStream() override;

    // Creates the temporary file (IOError when it cannot be created) and
    // opens the stream on it; failbit is set if the stream cannot open it.
    void open(const char* target, std::ios_base::openmode mode);

    // Publishes the written content under the target path, with the old
    // file's mode, owner and group. A stream that failed while writing,
    // flushing or closing is never published, nor is anything after a failed
    // rename: IOError, temporary file removed, target untouched.
    // FilePermissionError means the new content is in place but the old
    // mode, owner or group could not be carried over.
    void Commit();

    const std::string& TemporaryPath() const { return temporaryPath; }
    // The file Commit() replaces: the target, or where its link leads.
    const std::string& TargetPath() const { return targetPath; }

private:
    void Discard();

    std::string temporaryPath;
    std::string targetPath;
    int descriptor = -1;  // the temporary file as mkstemp created it
};

// The directories fixed when the library was built: where its configuration
// files are, and where it loads the client plug-ins from.
ORVAUTH_API std::string ConfigurationDirectory();
ORVAUTH_API std::string PluginDirectory();

// The three files with a fixed path in the configuration directory.
class ORVAUTH_API AuthenticationConfiguration : public Configuration {
public:
    AuthenticationConfiguration();  // authentication.conf
    ~AuthenticationConfiguration() override;

    // The name of the active store as recorded; InvalidKeyException when none is.
    const std::string& ActiveStore() const;
};

class ORVAUTH_API ProviderConfiguration : public Configuration {
public:
    ProviderConfiguration();  // provider.conf
    ~ProviderConfiguration() override;

    // Where the library reads it: provider.conf in its configuration directory.
    static std::string DefaultPath();
};

class ORVAUTH_API JORVProviderConfiguration : public Configuration {
public:
    JORVProviderConfiguration();  // jorvprovider.conf
    ~JORVProviderConfiguration() override;
};

// Trusted authentication-proxy servers: server address -> certificate
// thumbprint, kept in a key/value file that must already exist.
class ORVAUTH_API JORVThumbprintStore {
public:
    explicit JORVThumbprintStore(const std::string& path);
    JORVThumbprintStore();  // jorvservers.conf in the configuration directory
    ~JORVThumbprintStore();

    // Every trusted server with its thumbprint.
    const std::map<std::string, std::string>& Entries() const { return thumbprints; }

    // The thumbprint recorded for server, or "" when it is not listed.
    std::string LookupThumbprint(const std::string& server);
    // Records thumbprint for server and rewrites the file, unless that exact
    // thumbprint is already recorded for it.
    void ImportThumbprint(const std::string& thumbprint, const std::string& server);

private:
    Configuration thumbprints;
};

}  // namespace authentication
}  // namespace orvane
