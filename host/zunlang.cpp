// zunlang: the host base library.
#include "host/host.h"
