// Word- and line-level reading for the PAM and name-service readers.
//
// Each operation has exactly the effect of the standard operation it names
// (what it consumes and which state bits it sets), with white space fixed to
// the classic set whatever locale the stream carries. They work on the
// stream buffer's get area in bulk instead of going through a sentry and a
// locale facet for every word and a virtual call for every character, which
// is where a reader built from `>>` and `peek` spends most of its time.
// Stream buffers without a get area (unbuffered ones) are read one
// character at a time through the public interface.
#pragma once

#include <SystemConfiguration/Exceptions.h>

#include <climits>
#include <cstddef>
#include <cstring>
#include <istream>
#include <streambuf>
#include <string>

namespace SystemConfiguration {
namespace detail {

// Space, tab, line feed, vertical tab, form feed, carriage return.
inline bool IsSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Reaches the get-area pointers of any stream buffer. The pointers are
// protected members; a pointer to member formed through a derived class may
// be applied to any buffer, which the language allows for exactly this.
struct GetArea : std::streambuf {
    static char* Next(std::streambuf* buffer) { return (buffer->*&GetArea::gptr)(); }
    static char* End(std::streambuf* buffer) { return (buffer->*&GetArea::egptr)(); }
    static void Advance(std::streambuf* buffer, std::size_t count)
    {
        while (count > 0) {
            const int step = count > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(count);
            (buffer->*&GetArea::gbump)(step);
            count -= static_cast<std::size_t>(step);
        }
    }
};

class StreamReader {
public:
    explicit StreamReader(std::istream& in) : in(in), buffer(in.rdbuf()) {}

    // As `in >> word`: skips white space, line feeds included, and reads up
    // to the next white space. False, with failbit (and eofbit when the
    // input ended) set and `word` untouched, when there was no word.
    bool ReadWord(std::string& word) { return ReadWordInto(word, true); }

    // As ReadWord, but adds the word to the end of `text`.
    bool AppendWord(std::string& text) { return ReadWordInto(text, false); }

    // As `while (isspace(in.peek())) in.get();` followed by `in.peek()`:
    // the next character, not consumed, or EOF_MARK with eofbit set. On a
    // stream that is not good, sets failbit and returns EOF_MARK.
    int PeekAfterSpace()
    {
        if (!in.good()) {
            in.setstate(std::ios_base::failbit);
            return EOF_MARK;
        }
        const int c = SkipSpace();
        if (c == EOF_MARK)
            in.setstate(std::ios_base::eofbit);
        return c;
    }

    // As `std::getline(in, line)` with the line split at white space: every
    // non-empty word is passed to `onWord` as a (begin, end) range, in
    // order. The line feed is consumed; an input ending without one sets
    // eofbit, and nothing at all to read sets failbit too.
    template <typename OnWord>
    void ReadLineWords(OnWord&& onWord)
    {
        if (!in.good()) {
            in.setstate(std::ios_base::failbit);
            return;
        }
        bool extracted = false;
        std::string partial;  // a word cut by the end of the get area
        for (;;) {
            const char* begin = GetArea::Next(buffer);
            const char* end = GetArea::End(buffer);
            if (begin < end) {
                extracted = true;
                const char* lineFeed = static_cast<const char*>(std::memchr(begin, '\n', static_cast<std::size_t>(end - begin)));
                const char* stop = lineFeed ? lineFeed : end;
                const char* p = begin;
                while (p < stop) {
                    if (IsSpace(*p)) {
                        if (!partial.empty())
                            Emit(partial, onWord);
                        ++p;
                        continue;
                    }
                    const char* wordBegin = p;
                    while (p < stop && !IsSpace(*p))
                        ++p;
                    if (p < stop || lineFeed) {
                        if (partial.empty()) {
                            onWord(wordBegin, p);
                        } else {
                            partial.append(wordBegin, static_cast<std::size_t>(p - wordBegin));
                            Emit(partial, onWord);
                        }
                    } else {
                        partial.append(wordBegin, static_cast<std::size_t>(p - wordBegin));
                    }
                }
                GetArea::Advance(buffer, static_cast<std::size_t>(stop - begin) + (lineFeed ? 1 : 0));
                if (lineFeed) {
                    // A word cut by the previous buffer end, closed by this line feed.
                    if (!partial.empty())
                        Emit(partial, onWord);
                    return;
                }
                continue;
            }
            const int c = buffer->sgetc();
            if (c == EOF_MARK) {
                if (!partial.empty())
                    Emit(partial, onWord);
                in.setstate(extracted ? std::ios_base::eofbit : std::ios_base::eofbit | std::ios_base::failbit);
                return;
            }
            if (HasGetArea())
                continue;
            buffer->sbumpc();
            extracted = true;
            if (c == '\n' || IsSpace(static_cast<char>(c))) {
                if (!partial.empty())
                    Emit(partial, onWord);
                if (c == '\n')
                    return;
            } else {
                partial.push_back(static_cast<char>(c));
            }
        }
    }

    // As `std::getline(in, ignored)`.
    void DiscardLine()
    {
        ReadLineWords([](const char*, const char*) {});
    }

    static constexpr int EOF_MARK = std::char_traits<char>::eof();

private:
    bool HasGetArea() const { return GetArea::Next(buffer) < GetArea::End(buffer); }

    bool ReadWordInto(std::string& word, bool replace)
    {
        if (!in.good()) {
            in.setstate(std::ios_base::failbit);
            return false;
        }
        if (SkipSpace() == EOF_MARK) {
            in.setstate(std::ios_base::eofbit | std::ios_base::failbit);
            return false;
        }
        if (replace)
            word.clear();
        for (;;) {
            const char* begin = GetArea::Next(buffer);
            const char* end = GetArea::End(buffer);
            if (begin < end) {
                const char* stop = begin;
                while (stop < end && !IsSpace(*stop))
                    ++stop;
                const std::size_t length = static_cast<std::size_t>(stop - begin);
                word.append(begin, length);
                GetArea::Advance(buffer, length);
                if (stop < end)
                    return true;
                continue;
            }
            const int c = buffer->sgetc();
            if (c == EOF_MARK) {
                in.setstate(std::ios_base::eofbit);
                return true;
            }
            if (HasGetArea())
                continue;
            if (IsSpace(static_cast<char>(c)))
                return true;
            word.push_back(static_cast<char>(c));
            buffer->sbumpc();
        }
    }

    template <typename OnWord>
    static void Emit(std::string& word, OnWord& onWord)
    {
        onWord(word.data(), word.data() + word.size());
        word.clear();
    }

    // Consumes white space; returns the next character without consuming
    // it, or EOF_MARK. Sets no state.
    int SkipSpace()
    {
        for (;;) {
            const char* begin = GetArea::Next(buffer);
            const char* end = GetArea::End(buffer);
            if (begin < end) {
                const char* p = begin;
                while (p < end && IsSpace(*p))
                    ++p;
                GetArea::Advance(buffer, static_cast<std::size_t>(p - begin));
                if (p < end)
                    return std::char_traits<char>::to_int_type(*p);
                continue;
            }
            const int c = buffer->sgetc();
            if (c == EOF_MARK)
                return EOF_MARK;
            if (HasGetArea())
                continue;
            if (!IsSpace(static_cast<char>(c)))
                return c;
            buffer->sbumpc();
        }
    }

    std::istream& in;
    std::streambuf* buffer;
};

// Runs a read, turning a failure of the stream buffer (or of memory) into
// badbit the way the standard extractors do: the failure is rethrown only
// when the stream's exception mask asks for badbit. The model's own
// exceptions and a failure raised by the exception mask pass unchanged.
template <typename Read>
void GuardedRead(std::istream& in, Read&& read)
{
    try {
        read();
    } catch (const InvalidControlException&) {
        throw;
    } catch (const InvalidFacilityException&) {
        throw;
    } catch (const InvalidDatabaseException&) {
        throw;
    } catch (const std::ios_base::failure&) {
        throw;
    } catch (...) {
        if (!(in.exceptions() & std::ios_base::badbit)) {
            in.setstate(std::ios_base::badbit);
            return;
        }
        try {
            in.setstate(std::ios_base::badbit);
        } catch (const std::ios_base::failure&) {
        }
        throw;
    }
}

}  // namespace detail
}  // namespace SystemConfiguration
