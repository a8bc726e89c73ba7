#include "SettingsState.h"

#include <platform/FeatureList.h>

#include <algorithm>

namespace {

constexpr unsigned char DEFAULT_SWITCHES[FEATURE_LIST_SIZE] = {
    /*  0 */ 0,
    /*  1 */ 1,  // host configuration store available
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    /* 57 */ 1,  // domain membership recorded in the configuration store
    0, 0, 0, 0, 0, 0,
};

// Constant-initialised, so the table is valid before any constructor runs.
unsigned char switches[FEATURE_LIST_SIZE] = {
    0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0,
};

constexpr bool SameAsDefaults()
{
    for (int i = 0; i < FEATURE_LIST_SIZE; ++i) {
        if (DEFAULT_SWITCHES[i] != (i == 1 || i == 57 ? 1 : 0)) {
            return false;
        }
    }
    return true;
}
static_assert(SameAsDefaults(), "initial switches must match the defaults");

}  // namespace

unsigned char* FeatureList[FEATURE_LIST_SIZE] = {
#define ORV_SW8(n) &switches[n], &switches[n + 1], &switches[n + 2], &switches[n + 3], &switches[n + 4], \
                   &switches[n + 5], &switches[n + 6], &switches[n + 7]
    ORV_SW8(0), ORV_SW8(8), ORV_SW8(16), ORV_SW8(24), ORV_SW8(32), ORV_SW8(40), ORV_SW8(48), ORV_SW8(56),
#undef ORV_SW8
};

namespace OrvPlatform {
namespace Detail {

void ResetFeatureList()
{
    for (int i = 0; i < FEATURE_LIST_SIZE; ++i) {
        switches[i] = DEFAULT_SWITCHES[i];
        FeatureList[i] = &switches[i];
    }
}

}  // namespace Detail
}  // namespace OrvPlatform
