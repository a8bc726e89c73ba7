#include <orvane/authentication/Domain.h>

#include <gtest/gtest.h>

#include <sstream>

using orvane::authentication::Domain;

namespace {

std::string Printed(const Domain& domain)
{
    std::ostringstream stream;
    stream << domain << '|';
    return stream.str();
}

TEST(DomainText, NamesBothPartsAndMarksEmptyOnesUnset)
{
    EXPECT_EQ("DNS Name: (unset), NetBIOS Name: (unset)|", Printed(Domain()));
    EXPECT_EQ("DNS Name: (unset), NetBIOS Name: EXAMPLE|", Printed(Domain("", "EXAMPLE")));
    EXPECT_EQ("DNS Name: example.test, NetBIOS Name: (unset)|", Printed(Domain("example.test", "")));
    EXPECT_EQ("DNS Name: example.test, NetBIOS Name: EXAMPLE|", Printed(Domain("example.test", "EXAMPLE")));
}

}  // namespace
