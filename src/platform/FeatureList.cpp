#include <platform/FeatureList.h>

namespace {

unsigned char switches[FEATURE_LIST_SIZE] = {
    /*  0 */ 0,
    /*  1 */ 1,  // host configuration store available
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    /* 57 */ 1,  // domain membership recorded in the configuration store
    0, 0, 0, 0, 0, 0,
};


}  // namespace

unsigned char* FeatureList[FEATURE_LIST_SIZE] = {
#define ORV_SW8(n) &switches[n], &switches[n + 1], &switches[n + 2], &switches[n + 3], &switches[n + 4], \
                   &switches[n + 5], &switches[n + 6], &switches[n + 7]
    ORV_SW8(0), ORV_SW8(8), ORV_SW8(16), ORV_SW8(24), ORV_SW8(32), ORV_SW8(40), ORV_SW8(48), ORV_SW8(56),
#undef ORV_SW8
};

static_assert(sizeof(switches) == FEATURE_LIST_SIZE, "one switch per feature");
