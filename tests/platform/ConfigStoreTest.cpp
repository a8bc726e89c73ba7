#include "PlatformFixture.h"
#include "common/MessageOf.h"

#include <platform/Host.h>
#include <platform/QelConfigStore.h>

#include <csignal>
#include <memory>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace QelConfigStore;
using ::testing::HasSubstr;
using orvauth_test::MessageOf;
using Values = std::map<std::string, std::string>;

namespace {

using ConfigStoreTest = PlatformTest;

const ConfigStoreObjectId ID("active_directory", "identity", "qel");

void Put(ConfigStore& store, const Values& values, const ConfigStoreObjectId& id = ID)
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

TEST_F(ConfigStoreTest, ObjectsAreReplacedWholeAndKeptApartByIdAndNamespace)
{
    auto store = Global();
    EXPECT_EQ(store->GetObject(ID), nullptr);
    // A new database and its WAL and shared-memory files are private.
    for (const char* suffix : {"", "-wal", "-shm"}) {
        EXPECT_EQ(orvauth_test::FileMode(dir.File("configstore.db") + suffix), 0600u) << suffix;
    }
    Put(*store, {{"domain_name", "a.example"}, {"organizational_unit", "OU=x"}});
    std::string out = "before";
    EXPECT_FALSE(store->GetObject(ID)->GetValue("auth_proxy_address", &out));
    EXPECT_EQ(out, "before");
    Put(*store, {{"domain_name", "b.example"}, {"auth_proxy_address", ""}});
    EXPECT_EQ(Get(*store), (Values{{"auth_proxy_address", ""}, {"domain_name", "b.example"}}));

    const ConfigStoreObjectId otherGroup("active_directory", "network", "qel");
    const std::string binary("line one\nline two\0three \xc3\xa9", 23);
    Put(*store, {{"v", "group"}}, otherGroup);
    Put(*ConfigStore::GetStore("other"), {{"v", binary}});
    store->RemoveObject(ID);
    store->RemoveObject(ID);  // absent: no error
    EXPECT_EQ(store->GetObject(ID), nullptr);
    EXPECT_EQ(Get(*store, otherGroup).at("v"), "group");
    EXPECT_EQ(Get(*ConfigStore::GetStore("other")).at("v"), binary);

    // Another process's write is seen through the store opened before it.
    EXPECT_EQ(InChild([] { return Put(*Global(), {{"domain_name", "child.example"}}), 0; }), 0);
    EXPECT_EQ(Get(*store), (Values{{"domain_name", "child.example"}}));

    const std::string existing = dir.File("existing.db");  // keeps the mode its owner gave it
    orvauth_test::WriteFile(existing, "");
    ::chmod(existing.c_str(), 0644);
    OrvPlatform::Settings::SetConfigStorePath(existing);
    EXPECT_EQ(Global()->GetObject(ID), nullptr);
    EXPECT_EQ(orvauth_test::FileMode(existing), 0644u);
}

TEST_F(ConfigStoreTest, UnopenableOrCorruptDatabasesAndBadArgumentsThrow)
{
    const std::string missing = dir.File("no/such/dir/configstore.db");
    OrvPlatform::Settings::SetConfigStorePath(missing);
    EXPECT_THAT(MessageOf<ConfigStoreException>([] { Global()->GetObject(ID); }),
                HasSubstr("'" + missing + "': cannot open the database"));
    orvauth_test::WriteFile(dir.File("corrupt.db"), std::string(8192, 'x'));
    OrvPlatform::Settings::SetConfigStorePath(dir.File("corrupt.db"));
    EXPECT_THAT(MessageOf<ConfigStoreException>([] { Global()->GetObject(ID); }), HasSubstr("not a database"));

    EXPECT_THROW(ConfigStoreObjectId(nullptr, "g", "c"), ConfigStoreException);
    EXPECT_THROW(ConfigStore::GetStore(""), ConfigStoreException);
    std::shared_ptr<ConfigStoreObject> none;
    int flags = 0;
    EXPECT_THROW(Global()->SetObject(none, flags), ConfigStoreException);
}

TEST_F(ConfigStoreTest, WritesFailingOnALockOrAFullDiskKeepTheOldObject)
{
    auto store = Global();
    Put(*store, {{"domain_name", "kept.example"}});
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(dir.File("configstore.db").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    OrvPlatform::Settings::SetConfigStoreBusyTimeout(50);
    auto waiting = Global();
    EXPECT_THAT(MessageOf<ConfigStoreException>([&] { Put(*waiting, {{"domain_name", "lost.example"}}); }),
                HasSubstr("locked"));
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
                  if (MessageOf<ConfigStoreException>(
                          [&] { Put(*store, {{"domain_name", std::string(1024 * 1024, 'x')}}); })
                          .empty()) {
                      return 1;
                  }
                  return Get(*store) == Values{{"domain_name", "kept.example"}} ? 0 : 2;
              }),
              0);
    EXPECT_EQ(Get(*store), (Values{{"domain_name", "kept.example"}}));
    Put(*waiting, {{"domain_name", "new.example"}});
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
    EXPECT_THROW(failing->GetObject(ID), ConfigStoreException);  // it has no database to fall back on
    EXPECT_NE(ConfigStore::GetStore("other"), failing);
    OrvPlatform::Settings::InstallConfigStore(sGlobalNamespace, nullptr);
    EXPECT_NE(Global(), failing);
}

using AdvancedOptionsTest = PlatformTest;
using namespace NodeCtl;
using namespace OrvPlatform::Settings;
using Branch = std::unique_ptr<Adv::AdvancedOptionBranch>;
using Option = std::unique_ptr<Adv::AdvancedOption>;

const char* const VERIFY = "UserVars.ActiveDirectoryVerifyJORVCertificate";

Branch Root() { return Branch(HostFactory::GetHost()->GetAdvancedOptions()); }

// Walks the tree as a caller does and drops each branch before the option
// is used, so a dangling reference into one would show under ASan.
Option Find(const std::string& path)
{
    Branch branch = Root();
    std::string::size_type start = 0, dot;
    while (branch && (dot = path.find('.', start)) != std::string::npos) {
        branch.reset(branch->GetBranch(path.substr(start, dot - start)));
        start = dot + 1;
    }
    return Option(branch ? branch->GetOption(path.substr(start)) : nullptr);
}

template <typename Kind>
Kind* As(const Option& option)
{
    return dynamic_cast<Kind*>(option.get());
}

TEST_F(AdvancedOptionsTest, OptionsKeepTheirKindAndValue)
{
    Option option = Find(VERIFY);
    ASSERT_NE(As<Adv::AdvancedIntegerOption>(option), nullptr);
    EXPECT_EQ(option->GetPath(), VERIFY);
    EXPECT_EQ(As<Adv::AdvancedIntegerOption>(option)->GetCurrentValue(), 1);  // the default
    SetAdvancedIntegerOption(VERIFY, INT64_MIN);
    EXPECT_EQ(As<Adv::AdvancedIntegerOption>(Find(VERIFY))->GetCurrentValue(), INT64_MIN);
    SetAdvancedStringOption(VERIFY, "1");
    option = Find(VERIFY);
    EXPECT_EQ(As<Adv::AdvancedIntegerOption>(option), nullptr);
    EXPECT_EQ(As<Adv::AdvancedStringOption>(option)->GetCurrentValue(), "1");

    SetAdvancedIntegerOption("Net.Tcp.Window", 42);
    EXPECT_EQ(Find("Net.Tcp"), nullptr);  // a branch, not an option
    EXPECT_EQ(Branch(Branch(Root()->GetBranch("Net"))->GetBranch("Tcp"))->GetPath(), "Net.Tcp");
    EXPECT_EQ(Option(Root()->GetOption("Net.Tcp.Window")), nullptr);
    RemoveAdvancedOption(VERIFY);
    RemoveAdvancedOption(VERIFY);  // absent: no error
    EXPECT_EQ(Branch(Root()->GetBranch("UserVars")), nullptr);
    EXPECT_EQ(Branch(Root()->GetBranch("Ne")), nullptr);  // a prefix of a branch name is not that branch
}

// An integer option must hold an integer as stored: text such as "yes"
// would otherwise read as 0 and turn certificate verification off.
TEST_F(AdvancedOptionsTest, IntegerOptionsHoldingAnythingElseAreRefused)
{
    Find(VERIFY);  // creates the database
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir.File("configstore.db").c_str(), &db), SQLITE_OK);
    for (const char* value : {"'yes'", "'1'", "1.0", "x'01'"}) {
        const std::string sql = std::string("UPDATE advanced_options SET value = ") + value + " WHERE path = '" + VERIFY + "'";
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        EXPECT_THROW(Find(VERIFY), Lib::NodeCtlException) << value;
    }
    sqlite3_close(db);
}

TEST_F(AdvancedOptionsTest, InvalidPathsAndUnusableDatabasesAreRefused)
{
    for (const char* path : {"", "UserVars.", ".UserVars", "User..Vars", "User-Vars.x"}) {
        EXPECT_THROW(SetAdvancedIntegerOption(path, 1), std::invalid_argument) << path;
    }
    SetConfigStorePath(dir.File("missing/configstore.db"));
    EXPECT_THROW(Root(), Lib::NodeCtlException);
    EXPECT_THROW(SetAdvancedIntegerOption("UserVars.X", 1), Lib::NodeCtlException);
}

}  // namespace
