#include "boot/refused_platforms.h"

// No machine is refused at present; rows go before the end row.
const RefusedPlatform refused_platforms[] = {
    {0, 0, nullptr},
};
