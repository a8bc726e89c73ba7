// Symbol visibility for the host integration library's public interface.
// The library is built with hidden visibility; everything a caller may name
// carries ORVAUTHHOST_API.
#pragma once

#if defined(__GNUC__)
#define ORVAUTHHOST_API __attribute__((visibility("default")))
#else
#define ORVAUTHHOST_API
#endif
