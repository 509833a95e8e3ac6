// Compiled with -m32 only: the static_asserts in the header then check the
// library's own 32-bit record layout.
#include "wireless/wifi.h"

static_assert(sizeof(void*) == 4, "this file must be compiled for a 32-bit target");
static_assert(sizeof(TWifiInterfaceList) == 56);
static_assert(sizeof(TWifiNetworkList) == 2108);
static_assert(offsetof(TWifiNotification, Data) == 28);
