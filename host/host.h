// The host libraries tarvel calls: zunlang (namespace zun) and korbcore
// (namespaces KORBAS and img).
#pragma once

#include "platform/platform.h"
