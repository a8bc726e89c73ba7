// The tool's password reader on a real pipe and a real pseudo-terminal as
// standard input. Every block the program frees is searched for the
// password first: none may still hold it, however often it was outgrown.
#include "Arguments.h"
#include "Password.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <new>
#include <unistd.h>

static const char MARK[] = "pw-2f9c-";  // the password is this, repeated
static bool watching = false, freedWithPassword = false;

static void Release(void* block)
{
    if (watching && block != nullptr && memmem(block, malloc_usable_size(block), MARK, sizeof MARK - 1)) {
        freedWithPassword = true;
    }
    std::free(block);
}

void* operator new(std::size_t size)
{
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }

namespace {

// fd as standard input, and every freed block watched, while it lives.
struct WatchedStdin {
    int saved = dup(STDIN_FILENO);
    explicit WatchedStdin(int fd) { dup2(fd, STDIN_FILENO), close(fd), watching = true; }
    ~WatchedStdin() { watching = false, dup2(saved, STDIN_FILENO), close(saved); }
};

std::string ReadFrom(int fd)
{
    WatchedStdin in(fd);
    orvauthctl::Secret password;
    orvauthctl::ReadPassword(password, "administrator", true);
    return password.CString();
}

int PipeHolding(const std::string& text)
{
    int ends[2];
    EXPECT_EQ(0, pipe(ends));
    EXPECT_EQ(static_cast<ssize_t>(text.size()), write(ends[1], text.data(), text.size()));
    close(ends[1]);
    return ends[0];
}

TEST(PasswordStdin, LongPasswordsLeaveNoCopyInFreedMemory)
{
    for (std::size_t length : {8u, 1500u, 9000u}) {
        std::string input;
        while (input.size() < length) {
            input += MARK;
        }
        freedWithPassword = false;
        EXPECT_EQ(input, ReadFrom(PipeHolding(input + "\n")));
        EXPECT_FALSE(freedWithPassword) << length << " bytes";
    }
}

TEST(PasswordStdin, RefusesATerminal)
{
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
    EXPECT_THROW(ReadFrom(open(ptsname(terminal), O_RDWR | O_NOCTTY)), orvauthctl::UsageError);
    close(terminal);
}

}  // namespace
