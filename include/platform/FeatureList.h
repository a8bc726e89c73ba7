// The host's feature list: a process-wide table of pointers to one-byte
// switches. A switch is on when the byte it points to is non-zero.
//
// Switches read by the authentication library:
//   1  - the host configuration store is available (default: on)
//   57 - domain membership is recorded in the host configuration store
//        (default: on)
// The configuration store counts as enabled only when both are on. Every
// other switch defaults to off.
#pragma once

#include <platform/PlatformExport.h>

enum { FEATURE_LIST_SIZE = 64 };

extern "C" ORVPLATFORM_API unsigned char* FeatureList[FEATURE_LIST_SIZE];
