// The host libraries tarvel calls: zunlang (namespace zun) and korbcore
// (namespaces KORBAS and img).
#pragma once

#include "host/bitmap.h"
#include "host/image.h"
#include "host/parts.h"
#include "host/progress.h"
#include "host/qdc.h"
#include "host/zun.h"
#include "platform/platform.h"
