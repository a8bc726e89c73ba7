// The exception tree as a caller in another binary sees it: exact texts,
// status codes mapped to classes, and exact classes after a clone has
// crossed a thread.
#include <orvane/authentication/Exceptions.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <thread>
#include <typeindex>
#include <vector>

using namespace orvane::authentication;

namespace {

TEST(Exception, MessagesFollowTheirShape)
{
    const std::pair<std::shared_ptr<Exception>, const char*> cases[] = {
        {std::make_shared<Exception>("plain text"), "plain text"},
        {std::make_shared<Exception>(0ul, "plain text"), "Exception 0x00000000: plain text"},
        {std::make_shared<Exception>(0x1234ul, ""), "Exception 0x00001234: "},
        {std::make_shared<Exception>(0x123456789ul, "x"), "Exception 0x123456789: x"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(c.first->what(), c.second);
}

// Status codes are checked for what callers rely on rather than row by row:
// every code raises a coded exception whose clone, carried to another thread,
// rethrows as the same class; unmapped codes are unknown.
std::unique_ptr<Exception> Caught(std::uint32_t code)
{
    try {
        ThrowMappedException(code);
    } catch (const Exception& e) {
        return std::unique_ptr<Exception>(e.Clone());
    }
    return nullptr;
}

TEST(ThrowMappedException, EveryCodeRaisesACodedExceptionThatKeepsItsClassAcrossThreads)
{
    std::vector<std::uint32_t> codes = {0x80090325u, 0xFFFF0000u, 0xFFFFFFFFu};
    for (std::uint32_t code = 0; code <= 11000; ++code) {
        codes.push_back(code);
    }
    std::vector<std::unique_ptr<Exception>> clones(codes.size());
    std::thread worker([&] {
        for (std::size_t i = 0; i < codes.size(); ++i) {
            clones[i] = Caught(codes[i]);
        }
    });
    worker.join();
    std::set<std::type_index> mappedClasses;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        SCOPED_TRACE(codes[i]);
        ASSERT_TRUE(clones[i]);
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "Exception 0x%08x: ", codes[i]);
        const std::string message = clones[i]->what();
        EXPECT_EQ(clones[i]->Code(), codes[i]);
        EXPECT_EQ(message.rfind(prefix, 0), 0u);
        if (typeid(*clones[i]) == typeid(UnknownException)) {
            EXPECT_EQ(message, prefix + std::string("Unknown exception"));
        } else {
            EXPECT_GT(message.size(), std::string(prefix).size());
            EXPECT_TRUE(mappedClasses.insert(typeid(*clones[i])).second) << "class mapped twice";
        }
        try {
            clones[i]->Throw();
        } catch (const Exception& e) {
            EXPECT_EQ(std::type_index(typeid(e)), std::type_index(typeid(*clones[i])));
            EXPECT_EQ(e.what(), message);
        }
    }
    EXPECT_EQ(mappedClasses.size(), 46u);
}

TEST(ThrowMappedException, SpecificHandlersCatchSpecificFailures)
{
    const std::unique_ptr<Exception> clone = Caught(1225);
    EXPECT_THROW(clone->Throw(), ConnectionRefusedException);
    EXPECT_THROW(clone->Throw(), ConnectionRefusedException);  // Throw() leaves the clone usable
    EXPECT_STREQ(Caught(1326)->what(), "Exception 0x0000052e: The attempted logon is invalid. This is due to either "
                                       "a bad user name or authentication information.");
    // The classes the library also raises itself say the same as when mapped.
    EXPECT_STREQ(Caught(2)->what(), FileNotFoundException().what());
    EXPECT_STREQ(Caught(10060)->what(), WSATimedOutException().what());
}

}  // namespace
