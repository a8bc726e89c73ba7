// The host's advanced options: a tree of branches whose leaves are integer
// or text options, addressed by dotted paths such as
// "UserVars.ActiveDirectoryVerifyJORVCertificate".
//
// Options are kept in the host configuration store's database and set with
// OrvPlatform::Settings::SetAdvancedIntegerOption / SetAdvancedStringOption.
// A new database starts with one registered option:
//   UserVars.ActiveDirectoryVerifyJORVCertificate  integer, default 1 (verify)
//
// Every pointer returned here is owned by the caller and deleted through the
// virtual destructor. An option holds its own copy of its value, taken when
// it was looked up, so it stays usable after its branches are deleted.
// Database failures throw NodeCtl::Lib::NodeCtlException.
#pragma once

#include <platform/NodeCtlException.h>
#include <platform/PlatformExport.h>

#include <cstdint>
#include <memory>
#include <string>

namespace NodeCtl {
namespace Adv {

class ORVPLATFORM_API AdvancedOption {
public:
    virtual ~AdvancedOption();

    // The full dotted path, e.g. "UserVars.ActiveDirectoryVerifyJORVCertificate".
    const std::string& GetPath() const { return path; }

protected:
    explicit AdvancedOption(const std::string& path);

private:
    std::string path;
};

class ORVPLATFORM_API AdvancedIntegerOption : public AdvancedOption {
public:
    AdvancedIntegerOption(const std::string& path, int64_t value);
    ~AdvancedIntegerOption() override;

    virtual int64_t GetCurrentValue() const;

private:
    int64_t value;
};

class ORVPLATFORM_API AdvancedStringOption : public AdvancedOption {
public:
    AdvancedStringOption(const std::string& path, const std::string& value);
    ~AdvancedStringOption() override;

    virtual std::string GetCurrentValue() const;

private:
    std::string value;
};

class ORVPLATFORM_API AdvancedOptionBranch {
public:
    // The branch at `path` ("" for the root) of the options kept in the
    // database at databasePath.
    AdvancedOptionBranch(const std::string& databasePath, const std::string& path);
    virtual ~AdvancedOptionBranch();
    AdvancedOptionBranch(const AdvancedOptionBranch&) = delete;
    AdvancedOptionBranch& operator=(const AdvancedOptionBranch&) = delete;

    const std::string& GetPath() const { return path; }

    // The child branch called `name`, or null when no option lies below it.
    virtual AdvancedOptionBranch* GetBranch(const std::string& name) const;

    // The option called `name` directly in this branch, or null.
    virtual AdvancedOption* GetOption(const std::string& name) const;

private:
    std::string databasePath;
    std::string path;
};

}  // namespace Adv
}  // namespace NodeCtl
