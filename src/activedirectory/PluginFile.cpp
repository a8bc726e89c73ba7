#include "activedirectory/PluginFile.h"

#include "BuildPaths.h"
#include "errors/LogText.h"

#include <orvane/authentication/PluginStatus.h>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>


namespace orvane {
namespace authentication {

namespace {

// RTLD_LAZY | RTLD_GLOBAL: plug-ins may rely on their symbols being visible
// to the libraries they pull in.
constexpr int PLUGIN_OPEN_FLAGS = 0x101;
static_assert(PLUGIN_OPEN_FLAGS == (RTLD_LAZY | RTLD_GLOBAL), "loader flags");

bool IsBlankOrControl(unsigned char c) { return c <= ' ' || c == 0x7f; }

// The name becomes part of a path and reaches the loader as C text: it must
// stay one file name, all of it.
void CheckName(const std::string& name)
{
    for (unsigned char c : name) {
        if (c == '/') {
            throw UnsafePluginError(name, "The provider name must not contain '/'");
        }
        if (IsBlankOrControl(c)) {
            throw UnsafePluginError(name, "The provider name must not contain blanks or control characters");
        }
    }
}

// Whoever may replace a file or a directory on the way to it decides what
// runs in this process, so only root and this process's user may own them
// and nobody else may write them. What is absent is left to the loader,
// which then cannot open it either.
void CheckIfPresent(const std::string& name, const std::string& path)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        return;
    }
    if (info.st_uid != 0 && info.st_uid != ::geteuid()) {
        throw UnsafePluginError(name, path + " is owned neither by root nor by this process's user");
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        throw UnsafePluginError(name, path + " is writable by its group or by others");
    }
}

std::string LoaderError()
{
    const char* text = dlerror();
    return text == nullptr ? std::string() : std::string(text);
}

}  // namespace

UnsafePluginError::UnsafePluginError(const std::string& name, const std::string& reason)
    : std::runtime_error(reason), name(LogText(name))
{
}

void* OpenPluginFile(const std::string& name, std::string& loaderError)
{
    CheckName(name);
    const std::string directory = ORVAUTH_PLUGIN_DIR;
    const std::string fileName = "lib" + name + ".so";
    // Directories first: a writable one could receive a file at any time.
    CheckIfPresent(name, directory);
    CheckIfPresent(name, directory + "/lib64");
    for (const std::string& path : {directory + "/lib64/" + fileName, directory + "/" + fileName}) {
        CheckIfPresent(name, path);
        dlerror();
        if (void* handle = dlopen(path.c_str(), PLUGIN_OPEN_FLAGS)) {
            return handle;
        }
        loaderError = LoaderError();
    }
    return nullptr;
}

std::string PluginFailureReason(void* handle)
{
    const auto reason =
        reinterpret_cast<OrvauthPluginFailureReasonFunction>(dlsym(handle, ORVAUTH_PLUGIN_FAILURE_REASON_SYMBOL));
    const char* text = reason != nullptr ? reason() : nullptr;
    return text != nullptr ? LogText(text, 1024) : std::string();
}

}  // namespace authentication
}  // namespace orvane
