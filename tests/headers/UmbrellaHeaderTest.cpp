#include <orvane/authentication/orvauth.h>

#include <gtest/gtest.h>

extern "C" size_t CMetadataSize(void);
extern "C" size_t COperationsSize(void);
extern "C" size_t CCredentialsPasswordOffset(void);

TEST(PublicHeaders, CAndCxxAgreeOnThePluginRecords)
{
    EXPECT_EQ(CMetadataSize(), sizeof(ActiveDirectoryClientMetadata));
    EXPECT_EQ(COperationsSize(), sizeof(ActiveDirectoryClientOperations));
    EXPECT_EQ(CCredentialsPasswordOffset(), offsetof(Credentials, password));
}
