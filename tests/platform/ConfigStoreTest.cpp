// The configuration store and the advanced options in its database.
#include "PlatformFixture.h"
#include "common/MessageOf.h"

#include <platform/Host.h>
#include <platform/QelConfigStore.h>

#include <csignal>
#include <memory>
#include <sqlite3.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace QelConfigStore;
using namespace NodeCtl;
using namespace OrvPlatform::Settings;
using orvauth_test::FileMode;
using orvauth_test::MessageOf;
using Values = std::map<std::string, std::string>;

namespace {

using ConfigStoreTest = PlatformTest;

const ConfigStoreObjectId ID("active_directory", "identity", "qel");

void Put(ConfigStore& store, const Values& values, const ConfigStoreObjectId& id = ID)
{
    auto object = std::make_shared<ConfigStoreObject>(id);
    for (const auto& value : values)
        object->SetValue(value.first.c_str(), value.second);
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
    for (const char* suffix : {"", "-wal", "-shm"})  // a new database is private, and so are its journals
        EXPECT_EQ(FileMode(dir.File("configstore.db") + suffix), 0600u) << suffix;
    Put(*store, {{"domain_name", "a.example"}, {"organizational_unit", "OU=x"}});
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
    SetConfigStorePath(existing);
    EXPECT_EQ(Global()->GetObject(ID), nullptr);
    EXPECT_EQ(FileMode(existing), 0644u);
}

TEST_F(ConfigStoreTest, UnopenableOrCorruptDatabasesThrow)
{
    SetConfigStorePath(dir.File("no/such/dir/configstore.db"));
    EXPECT_THAT(MessageOf<ConfigStoreException>([] { Global()->GetObject(ID); }),
                ::testing::HasSubstr("/no/such/dir/configstore.db': cannot open the database"));
    EXPECT_THROW(HostFactory::GetHost()->GetAdvancedOptions(), Lib::NodeCtlException);
    orvauth_test::WriteFile(dir.File("corrupt.db"), std::string(8192, 'x'));
    SetConfigStorePath(dir.File("corrupt.db"));
    EXPECT_THAT(MessageOf<ConfigStoreException>([] { Global()->GetObject(ID); }), ::testing::HasSubstr("not a database"));
}

TEST_F(ConfigStoreTest, WritesFailingOnALockOrAFullDiskKeepTheOldObject)
{
    auto store = Global();
    Put(*store, {{"domain_name", "kept.example"}});
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(dir.File("configstore.db").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    SetConfigStoreBusyTimeout(50);
    auto waiting = Global();
    EXPECT_THAT(MessageOf<ConfigStoreException>([&] { Put(*waiting, {{"domain_name", "lost.example"}}); }),
                ::testing::HasSubstr("locked"));
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
                  auto put = [&] { Put(*store, {{"domain_name", std::string(1024 * 1024, 'x')}}); };
                  if (MessageOf<ConfigStoreException>(put).empty())
                      return 1;
                  return Get(*store) == Values{{"domain_name", "kept.example"}} ? 0 : 2;
              }),
              0);
    EXPECT_EQ(Get(*store), (Values{{"domain_name", "kept.example"}}));
    Put(*waiting, {{"domain_name", "new.example"}});
    EXPECT_EQ(Get(*store).at("domain_name"), "new.example");
}

// On a read-only disk (a full one fails the same way) the log's side files
// cannot be made: the database still reads, and a write says why it failed.
TEST_F(ConfigStoreTest, ReadOnlyDiskStillReadsAndWritesSayWhy)
{
    Put(*Global(), {{"domain_name", "kept.example"}});  // its last close removes the side files
    ASSERT_FALSE(orvauth_test::FileExists(dir.File("configstore.db-wal")));
    const std::string path = dir.Path();
    const int status = InChild([&] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            mount(nullptr, path.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            return 77;
        auto store = Global();
        if (Get(*store) != Values{{"domain_name", "kept.example"}})
            return 1;
        const std::string refusal = MessageOf<ConfigStoreException>([&] { Put(*store, {{"domain_name", "x"}}); });
        return refusal.find("could only be opened for reading") != std::string::npos ? 0 : 2;
    });
    if (status == 77)
        GTEST_SKIP() << "needs a private mount namespace (root)";
    EXPECT_EQ(status, 0);
}

const char* const VERIFY = "UserVars.ActiveDirectoryVerifyJORVCertificate";

// Walks the tree as a caller does and drops each branch before the option
// is used, so a dangling reference into one would show under ASan.
std::unique_ptr<Adv::AdvancedOption> Find(const std::string& path)
{
    std::unique_ptr<Adv::AdvancedOptionBranch> branch(HostFactory::GetHost()->GetAdvancedOptions());
    std::string::size_type start = 0, dot;
    for (; branch && (dot = path.find('.', start)) != std::string::npos; start = dot + 1)
        branch.reset(branch->GetBranch(path.substr(start, dot - start)));
    return std::unique_ptr<Adv::AdvancedOption>(branch ? branch->GetOption(path.substr(start)) : nullptr);
}

// Kinds and values of the option the library reads are checked through its
// proxy join; what is left is the tree of branches.
TEST_F(ConfigStoreTest, AdvancedOptionsFormATreeOfBranches)
{
    SetAdvancedIntegerOption("Net.Tcp.Window", 42);
    EXPECT_EQ(Find("Net.Tcp.Window")->GetPath(), "Net.Tcp.Window");
    EXPECT_EQ(Find("Net.Tcp"), nullptr);  // a branch, not an option
    EXPECT_EQ(Find("Ne.Tcp.Window"), nullptr);  // nor is a prefix of a branch's name that branch
    RemoveAdvancedOption(VERIFY);
    RemoveAdvancedOption(VERIFY);  // absent: no error
    EXPECT_EQ(Find(VERIFY), nullptr);
    EXPECT_THROW(SetAdvancedIntegerOption("User..Vars", 1), std::invalid_argument);
}

// An integer option must hold an integer as stored: text such as "yes"
// would otherwise read as 0 and turn certificate verification off.
TEST_F(ConfigStoreTest, IntegerOptionsHoldingAnythingElseAreRefused)
{
    EXPECT_EQ(dynamic_cast<Adv::AdvancedIntegerOption&>(*Find(VERIFY)).GetCurrentValue(), 1);  // the default
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir.File("configstore.db").c_str(), &db), SQLITE_OK);
    for (const std::string value : {"'yes'", "'1'", "1.0", "x'01'"}) {
        const std::string sql = "UPDATE advanced_options SET value = " + value + " WHERE path = '" + VERIFY + "'";
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        EXPECT_THROW(Find(VERIFY), Lib::NodeCtlException) << value;
    }
    sqlite3_close(db);
}

}  // namespace
