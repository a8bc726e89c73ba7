#include "PlatformFixture.h"
#include "common/MessageOf.h"

#include <platform/QelConfigStore.h>

#include <csignal>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace QelConfigStore;
using ::testing::HasSubstr;
using Values = std::map<std::string, std::string>;

namespace {

using ConfigStoreTest = PlatformTest;

const ConfigStoreObjectId ID("active_directory", "identity", "qel");

void Put(ConfigStore& store, const ConfigStoreObjectId& id, const Values& values)
{
    auto object = std::make_shared<ConfigStoreObject>(id);
    for (const auto& value : values) {
        object->SetValue(value.first.c_str(), value.second);
    }
    int flags = 0;
    store.SetObject(object, flags);
}

Values Get(ConfigStore& store, const ConfigStoreObjectId& id = ID)
{
    auto object = store.GetObject(id);
    return object ? object->GetValues() : Values{{"<absent>", ""}};
}

std::shared_ptr<ConfigStore> Global() { return ConfigStore::GetStore(sGlobalNamespace); }

// Runs body in a child process and returns its exit status.
template <typename Body>
int InChild(Body body)
{
    pid_t child = fork();
    if (child == 0) {
        try {
            _exit(body());
        } catch (...) {
            _exit(99);
        }
    }
    int status = -1;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(ConfigStoreTest, GetObjectIsNullUntilSetAndSetObjectReplacesTheWholeObject)
{
    auto store = Global();
    EXPECT_EQ(store->GetObject(ID), nullptr);
    // A new database and its WAL and shared-memory files are private.
    for (const char* suffix : {"", "-wal", "-shm"}) {
        EXPECT_EQ(orvauth_test::FileMode(dir.File("configstore.db") + suffix), 0600u) << suffix;
    }

    Put(*store, ID, {{"domain_name", "a.example"}, {"organizational_unit", "OU=x"}});
    std::shared_ptr<const ReadOnlyObject> object = store->GetObject(ID);
    ASSERT_NE(object, nullptr);
    std::string out = "before";
    EXPECT_FALSE(object->GetValue("auth_proxy_address", &out));
    EXPECT_EQ(out, "before");
    EXPECT_TRUE(object->GetValue("domain_name", &out));
    EXPECT_EQ(out, "a.example");

    Put(*store, ID, {{"domain_name", "b.example"}, {"auth_proxy_address", ""}});
    EXPECT_EQ(Get(*store), (Values{{"auth_proxy_address", ""}, {"domain_name", "b.example"}}));
    Put(*store, ID, {});  // an empty object still exists
    EXPECT_EQ(Get(*store), Values{});

    // Another process's write is seen through the store opened before it.
    EXPECT_EQ(InChild([] {
                  Put(*Global(), ID, {{"domain_name", "child.example"}});
                  return 0;
              }),
              0);
    EXPECT_EQ(Get(*store), (Values{{"domain_name", "child.example"}}));

    const std::string existing = dir.File("existing.db");  // keeps the mode its owner gave it
    orvauth_test::WriteFile(existing, "");
    ::chmod(existing.c_str(), 0644);
    OrvPlatform::Settings::SetConfigStorePath(existing);
    EXPECT_EQ(Global()->GetObject(ID), nullptr);
    EXPECT_EQ(orvauth_test::FileMode(existing), 0644u);
}

TEST_F(ConfigStoreTest, ObjectsAreKeptApartByIdAndNamespace)
{
    auto global = Global();
    auto other = ConfigStore::GetStore("other");
    const ConfigStoreObjectId otherGroup("active_directory", "network", "qel");
    const std::string binary("line one\nline two\0three \xc3\xa9", 23);
    Put(*global, ID, {{"v", "global"}});
    Put(*global, otherGroup, {{"v", "group"}});
    Put(*other, ID, {{"v", binary}});

    global->RemoveObject(ID);
    global->RemoveObject(ID);  // absent: no error
    EXPECT_EQ(global->GetObject(ID), nullptr);
    EXPECT_EQ(Get(*global, otherGroup).at("v"), "group");
    EXPECT_EQ(Get(*ConfigStore::GetStore("other")).at("v"), binary);
}

TEST_F(ConfigStoreTest, UnopenableOrCorruptDatabaseThrows)
{
    const std::string missing = dir.File("no/such/dir/configstore.db");
    OrvPlatform::Settings::SetConfigStorePath(missing);
    EXPECT_THAT(orvauth_test::MessageOf<ConfigStoreException>([] { Global()->GetObject(ID); }), HasSubstr("'" + missing + "': cannot open the database"));
    orvauth_test::WriteFile(dir.File("corrupt.db"), std::string(8192, 'x'));
    OrvPlatform::Settings::SetConfigStorePath(dir.File("corrupt.db"));
    EXPECT_THAT(orvauth_test::MessageOf<ConfigStoreException>([] { Global()->GetObject(ID); }), HasSubstr("not a database"));
}

TEST_F(ConfigStoreTest, WritesFailingOnALockOrAFullDiskKeepTheOldObject)
{
    auto store = Global();
    Put(*store, ID, {{"domain_name", "kept.example"}});
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(dir.File("configstore.db").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    OrvPlatform::Settings::SetConfigStoreBusyTimeout(50);
    auto waiting = Global();
    EXPECT_THAT(orvauth_test::MessageOf<ConfigStoreException>([&] { Put(*waiting, ID, {{"domain_name", "lost.example"}}); }), HasSubstr("locked"));
    EXPECT_THROW(waiting->RemoveObject(ID), ConfigStoreException);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(Get(*waiting), (Values{{"domain_name", "kept.example"}}));

    // A file-size limit makes every write past it fail as on a full disk.
    EXPECT_EQ(InChild([] {
                  signal(SIGXFSZ, SIG_IGN);
                  rlimit limit{256 * 1024, 256 * 1024};
                  setrlimit(RLIMIT_FSIZE, &limit);
                  auto store = Global();
                  if (orvauth_test::MessageOf<ConfigStoreException>([&] { Put(*store, ID, {{"domain_name", std::string(1024 * 1024, 'x')}}); })
                      .empty()) {
                      return 1;
                  }
                  return Get(*store) == Values{{"domain_name", "kept.example"}} ? 0 : 2;
              }),
              0);
    EXPECT_EQ(Get(*store), (Values{{"domain_name", "kept.example"}}));
    Put(*waiting, ID, {{"domain_name", "new.example"}});
    EXPECT_EQ(Get(*store).at("domain_name"), "new.example");
}

// A host's own store, here one whose writes always fail.
class FailingStore : public ConfigStore {
public:
    FailingStore() : ConfigStore(sGlobalNamespace) {}
    void SetObject(std::shared_ptr<ConfigStoreObject>&, int&) override { throw ConfigStoreException("disk on fire"); }
};

TEST_F(ConfigStoreTest, InstalledStoreReplacesTheDatabaseForItsNamespace)
{
    auto failing = std::make_shared<FailingStore>();
    OrvPlatform::Settings::InstallConfigStore(sGlobalNamespace, failing);
    EXPECT_EQ(Global(), failing);
    EXPECT_THROW(Put(*Global(), ID, {}), ConfigStoreException);
    // The operations it does not override have no database to work on.
    EXPECT_THROW(failing->GetObject(ID), ConfigStoreException);
    EXPECT_NE(ConfigStore::GetStore("other"), failing);

    OrvPlatform::Settings::InstallConfigStore(sGlobalNamespace, nullptr);
    EXPECT_NE(Global(), failing);
    OrvPlatform::Settings::InstallConfigStore(sGlobalNamespace, failing);
    OrvPlatform::Settings::Reset();
    OrvPlatform::Settings::SetConfigStorePath(dir.File("configstore.db"));
    EXPECT_NE(Global(), failing);
}

TEST_F(ConfigStoreTest, BadArgumentsThrow)
{
    EXPECT_THROW(ConfigStoreObjectId(nullptr, "g", "c"), ConfigStoreException);
    EXPECT_THROW(ConfigStore::GetStore(""), ConfigStoreException);
    EXPECT_THROW(ConfigStoreObject(ID).SetValue(nullptr, "v"), ConfigStoreException);
    std::shared_ptr<ConfigStoreObject> none;
    int flags = 0;
    EXPECT_THROW(Global()->SetObject(none, flags), ConfigStoreException);
}

}  // namespace
