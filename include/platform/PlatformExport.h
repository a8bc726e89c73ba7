// Symbol visibility for the host platform layer (built with hidden visibility).
#pragma once

#if defined(__GNUC__)
#define ORVPLATFORM_API __attribute__((visibility("default")))
#else
#define ORVPLATFORM_API
#endif
