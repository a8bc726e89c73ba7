// Symbol visibility for the library's public interface. The library is built
// with hidden visibility; everything a caller may name carries ORVAUTH_API.
#pragma once

#if defined(__GNUC__)
#define ORVAUTH_API __attribute__((visibility("default")))
#else
#define ORVAUTH_API
#endif
