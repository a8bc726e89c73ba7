#include "PlatformFixture.h"

#include <platform/QelConfigStore.h>

#include <csignal>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace QelConfigStore;

namespace {

using ConfigStoreTest = PlatformTest;

const ConfigStoreObjectId ID("active_directory", "identity", "qel");

std::shared_ptr<ConfigStoreObject> MakeObject(const ConfigStoreObjectId& id,
                                              const std::map<std::string, std::string>& values)
{
    auto object = std::make_shared<ConfigStoreObject>(id);
    for (const auto& value : values) {
        object->SetValue(value.first.c_str(), value.second);
    }
    return object;
}

void Store(ConfigStore& store, std::shared_ptr<ConfigStoreObject> object)
{
    int flags = 0;
    store.SetObject(object, flags);
}

std::map<std::string, std::string> Values(ConfigStore& store, const ConfigStoreObjectId& id)
{
    auto object = store.GetObject(id);
    return object ? object->GetValues() : std::map<std::string, std::string>{{"<absent>", ""}};
}

// Runs body in a child process and returns its exit status.
template <typename Body>
int InChild(Body body)
{
    pid_t child = fork();
    if (child == 0) {
        int status = 99;
        try {
            status = body();
        } catch (...) {
        }
        _exit(status);
    }
    int status = -1;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(ConfigStoreTest, MissingObjectIsNullAndGetValueLeavesOutputAlone)
{
    auto store = ConfigStore::GetStore(sGlobalNamespace);
    EXPECT_EQ(store->GetObject(ID), nullptr);

    Store(*store, MakeObject(ID, {{"domain_name", "corp.example"}}));
    std::shared_ptr<const ReadOnlyObject> object = store->GetObject(ID);
    ASSERT_NE(object, nullptr);
    std::string out = "before";
    EXPECT_FALSE(object->GetValue("organizational_unit", &out));
    EXPECT_EQ(out, "before");
    EXPECT_TRUE(object->GetValue("domain_name", &out));
    EXPECT_EQ(out, "corp.example");
}

TEST_F(ConfigStoreTest, SetObjectReplacesTheWholeObject)
{
    auto store = ConfigStore::GetStore(sGlobalNamespace);
    Store(*store, MakeObject(ID, {{"domain_name", "a.example"}, {"organizational_unit", "OU=x"}}));
    Store(*store, MakeObject(ID, {{"domain_name", "b.example"}, {"auth_proxy_address", ""}}));
    EXPECT_EQ(Values(*store, ID),
              (std::map<std::string, std::string>{{"auth_proxy_address", ""}, {"domain_name", "b.example"}}));

    Store(*store, MakeObject(ID, {}));  // an empty object still exists
    EXPECT_EQ(Values(*store, ID), (std::map<std::string, std::string>{}));
}

TEST_F(ConfigStoreTest, ObjectsAreKeptApartByIdAndNamespace)
{
    auto global = ConfigStore::GetStore(sGlobalNamespace);
    auto other = ConfigStore::GetStore("other");
    const ConfigStoreObjectId sameKeyOtherGroup("active_directory", "network", "qel");
    const std::string binary("line one\nline two\0three \xc3\xa9", 23);
    Store(*global, MakeObject(ID, {{"v", binary}}));
    Store(*global, MakeObject(sameKeyOtherGroup, {{"v", "group"}}));
    Store(*other, MakeObject(ID, {{"v", "namespace"}}));

    global->RemoveObject(ID);
    global->RemoveObject(ID);  // absent: no error
    EXPECT_EQ(global->GetObject(ID), nullptr);
    EXPECT_EQ(Values(*global, sameKeyOtherGroup).at("v"), "group");
    EXPECT_EQ(Values(*other, ID).at("v"), "namespace");

    Store(*other, MakeObject(ID, {{"v", binary}}));
    EXPECT_EQ(Values(*ConfigStore::GetStore("other"), ID).at("v"), binary);
}

TEST_F(ConfigStoreTest, WritesOfAnotherProcessAreSeen)
{
    auto store = ConfigStore::GetStore(sGlobalNamespace);  // open before the child writes
    Store(*store, MakeObject(ID, {{"domain_name", "old.example"}}));
    EXPECT_EQ(InChild([] {
                  Store(*ConfigStore::GetStore(sGlobalNamespace), MakeObject(ID, {{"domain_name", "child.example"}}));
                  return 0;
              }),
              0);
    EXPECT_EQ(Values(*store, ID), (std::map<std::string, std::string>{{"domain_name", "child.example"}}));
}

void ExpectStoreFailure(const std::string& expectedText)
{
    try {
        auto store = ConfigStore::GetStore(sGlobalNamespace);
        store->GetObject(ID);
        ADD_FAILURE() << "no exception";
    } catch (const NodeCtl::Lib::NodeCtlException& e) {
        EXPECT_NE(dynamic_cast<const ConfigStoreException*>(&e), nullptr);
        EXPECT_NE(std::string(e.what()).find(expectedText), std::string::npos) << e.what();
    }
}

TEST_F(ConfigStoreTest, UnopenableOrCorruptDatabaseThrows)
{
    std::string missingDirectory = dir.File("no/such/dir/configstore.db");
    OrvPlatform::Settings::SetConfigStorePath(missingDirectory);
    ExpectStoreFailure("'" + missingDirectory + "': cannot open the database");

    orvauth_test::WriteFile(dir.File("corrupt.db"), std::string(8192, 'x'));
    OrvPlatform::Settings::SetConfigStorePath(dir.File("corrupt.db"));
    ExpectStoreFailure("not a database");
}

TEST_F(ConfigStoreTest, LockedDatabaseThrowsAndKeepsTheOldObject)
{
    auto store = ConfigStore::GetStore(sGlobalNamespace);
    Store(*store, MakeObject(ID, {{"domain_name", "kept.example"}}));

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(dir.File("configstore.db").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    OrvPlatform::Settings::SetConfigStoreBusyTimeout(50);
    auto waiting = ConfigStore::GetStore(sGlobalNamespace);
    try {
        Store(*waiting, MakeObject(ID, {{"domain_name", "lost.example"}}));
        ADD_FAILURE() << "no exception";
    } catch (const ConfigStoreException& e) {
        EXPECT_NE(std::string(e.what()).find("locked"), std::string::npos) << e.what();
    }
    EXPECT_THROW(waiting->RemoveObject(ID), ConfigStoreException);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    EXPECT_EQ(Values(*waiting, ID), (std::map<std::string, std::string>{{"domain_name", "kept.example"}}));
    Store(*waiting, MakeObject(ID, {{"domain_name", "new.example"}}));
    EXPECT_EQ(Values(*store, ID).at("domain_name"), "new.example");
}

TEST_F(ConfigStoreTest, AFailedWriteOnAFullDiskKeepsTheOldObject)
{
    Store(*ConfigStore::GetStore(sGlobalNamespace), MakeObject(ID, {{"domain_name", "kept.example"}}));
    // A file-size limit makes every write past it fail as on a full disk.
    int status = InChild([] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{256 * 1024, 256 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        auto store = ConfigStore::GetStore(sGlobalNamespace);
        try {
            Store(*store, MakeObject(ID, {{"domain_name", std::string(1024 * 1024, 'x')}}));
            return 1;
        } catch (const ConfigStoreException&) {
        }
        return Values(*store, ID) == std::map<std::string, std::string>{{"domain_name", "kept.example"}} ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Values(*ConfigStore::GetStore(sGlobalNamespace), ID).at("domain_name"), "kept.example");
}

// A host's own store, here one whose writes always fail.
class FailingStore : public ConfigStore {
public:
    FailingStore() : ConfigStore(sGlobalNamespace) {}
    void SetObject(std::shared_ptr<ConfigStoreObject>&, int&) override
    {
        throw ConfigStoreException("disk on fire");
    }
};

TEST_F(ConfigStoreTest, InstalledStoreReplacesTheDatabaseForItsNamespace)
{
    auto failing = std::make_shared<FailingStore>();
    OrvPlatform::Settings::InstallConfigStore(sGlobalNamespace, failing);
    auto store = ConfigStore::GetStore(sGlobalNamespace);
    EXPECT_EQ(store, failing);
    EXPECT_THROW(Store(*store, MakeObject(ID, {})), ConfigStoreException);
    // The operations it does not override have no database to work on.
    EXPECT_THROW(store->GetObject(ID), ConfigStoreException);
    EXPECT_NE(ConfigStore::GetStore("other"), failing);

    OrvPlatform::Settings::InstallConfigStore(sGlobalNamespace, nullptr);
    EXPECT_NE(ConfigStore::GetStore(sGlobalNamespace), failing);
    OrvPlatform::Settings::InstallConfigStore(sGlobalNamespace, failing);
    OrvPlatform::Settings::Reset();
    OrvPlatform::Settings::SetConfigStorePath(dir.File("configstore.db"));
    EXPECT_NE(ConfigStore::GetStore(sGlobalNamespace), failing);
}

TEST_F(ConfigStoreTest, BadArgumentsThrow)
{
    EXPECT_THROW(ConfigStoreObjectId(nullptr, "g", "c"), ConfigStoreException);
    EXPECT_THROW(ConfigStoreObjectId("k", nullptr, "c"), ConfigStoreException);
    EXPECT_THROW(ConfigStoreObjectId("k", "g", nullptr), ConfigStoreException);
    EXPECT_THROW(ConfigStore::GetStore(""), ConfigStoreException);
    EXPECT_THROW(ConfigStoreObject(ID).SetValue(nullptr, "v"), ConfigStoreException);

    auto store = ConfigStore::GetStore(sGlobalNamespace);
    std::shared_ptr<ConfigStoreObject> none;
    int flags = 0;
    EXPECT_THROW(store->SetObject(none, flags), ConfigStoreException);
    auto object = MakeObject(ID, {{"a", "b"}});
    flags = 1;
    EXPECT_THROW(store->SetObject(object, flags), ConfigStoreException);
    EXPECT_EQ(store->GetObject(ID), nullptr);
}

}  // namespace
