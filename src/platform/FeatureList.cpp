#include "SettingsState.h"

#include <platform/FeatureList.h>

namespace {

struct Switches {
    unsigned char value[FEATURE_LIST_SIZE];
};

constexpr Switches DEFAULT_SWITCHES = {{
    /*  0 */ 0,
    /*  1 */ 1,  // host configuration store available
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    /* 57 */ 1,  // domain membership recorded in the configuration store
    0, 0, 0, 0, 0, 0,
}};

// Constant-initialised, so the table is valid before any constructor runs.
Switches switches = DEFAULT_SWITCHES;

}  // namespace

unsigned char* FeatureList[FEATURE_LIST_SIZE] = {
#define ORV_SW(n) &switches.value[n]
#define ORV_SW8(n) ORV_SW(n), ORV_SW(n + 1), ORV_SW(n + 2), ORV_SW(n + 3), ORV_SW(n + 4), ORV_SW(n + 5), \
                   ORV_SW(n + 6), ORV_SW(n + 7)
    ORV_SW8(0), ORV_SW8(8), ORV_SW8(16), ORV_SW8(24), ORV_SW8(32), ORV_SW8(40), ORV_SW8(48), ORV_SW8(56),
#undef ORV_SW8
#undef ORV_SW
};

namespace OrvPlatform {
namespace Detail {

void ResetFeatureList()
{
    for (int i = 0; i < FEATURE_LIST_SIZE; ++i) {
        switches.value[i] = DEFAULT_SWITCHES.value[i];
        FeatureList[i] = &switches.value[i];
    }
}

}  // namespace Detail
}  // namespace OrvPlatform
