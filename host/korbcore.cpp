// korbcore: the host imaging library.
#include "host/host.h"
