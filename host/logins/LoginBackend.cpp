#include "logins/LoginBackend.h"
#include "base/FileReplacement.h"

#include <orvane/authentication/Configuration.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane::host {

std::string ReadLoginFile(const std::string& path)
{
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) {
        throw LoginEditRefused(path + ": cannot read it: " + std::strerror(errno));
    }
    if (!S_ISREG(status.st_mode)) {
        throw LoginEditRefused(path + ": it is not a regular file");
    }
    std::string text;
    if (const int error = orvauth_base::ReadWholeFile(path, text)) {
        throw LoginEditRefused(path + ": cannot read it: " + std::strerror(error));
    }
    return text;
}

void ReplaceLoginFile(const std::string& path, const std::string& text)
{
    orvane::authentication::AtomicFileStream stream(path.c_str(), std::ios::out | std::ios::trunc | std::ios::binary);
    stream << text;
    stream.Commit();
}

LoginRecord LoadLoginRecord(const std::string& path)
{
    LoginRecord record;
    if (::access(path.c_str(), F_OK) != 0 && errno == ENOENT) {
        return record;
    }
    try {
        nlohmann::json json = nlohmann::json::parse(ReadLoginFile(path));
        record.backend = json.at("backend").get<std::string>();
        record.profiles = json.at("profiles").get<std::vector<std::string>>();
        for (const auto& file : json.at("files").items()) {
            record.files[file.key()] = FileRecord{file.value().at("before").get<std::string>(),
                                                  file.value().at("after").get<std::string>(),
                                                  file.value().at("added").get<std::vector<std::string>>()};
        }
    } catch (const std::exception& e) {
        throw std::runtime_error("the record of what logins enable added, " + path + ", cannot be read (" + e.what() +
                                 "); no file was changed");
    }
    return record;
}

void SaveLoginRecord(const std::string& path, const LoginRecord& record)
{
    nlohmann::json files = nlohmann::json::object();
    for (const auto& file : record.files) {
        files[file.first] = {{"before", file.second.before}, {"after", file.second.after}, {"added", file.second.added}};
    }
    nlohmann::json json = {{"backend", record.backend}, {"profiles", record.profiles}, {"files", files}};
    const std::string directory = path.substr(0, path.rfind('/'));
    if (!directory.empty() && ::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        throw std::runtime_error("cannot create " + directory + ": " + std::strerror(errno));
    }
    // A new record is created 0600 and keeps that mode: it holds copies of
    // the system's files, readable by root only.
    ReplaceLoginFile(path, json.dump(1) + "\n");
}

void RemoveLoginRecord(const std::string& path)
{
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        throw std::runtime_error("cannot remove " + path + ": " + std::strerror(errno));
    }
}

void GiveBack(const std::string& path, const FileRecord& record,
              const std::function<std::string(const std::string&)>& remove, std::ostream& out)
{
    std::string current;
    try {
        current = ReadLoginFile(path);
    } catch (const LoginEditRefused& e) {
        out << e.what() << "; nothing to give back there\n";
        return;
    }
    if (current == record.after) {
        if (current != record.before) {
            ReplaceLoginFile(path, record.before);
        }
        out << path << ": as it was before logins enable\n";
        return;
    }
    const std::string reduced = record.added.empty() ? current : remove(current);
    if (reduced != current) {
        ReplaceLoginFile(path, reduced);
    }
    out << path << ": changed since logins enable; "
        << (record.added.empty() ? "enable had added nothing here, so it stays as it is\n"
                                 : "only what enable added was taken out\n");
}

}  // namespace orvane::host
