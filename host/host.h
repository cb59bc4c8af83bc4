// The host libraries tarvel calls: zunlang (namespace zun: object root,
// reference counting, string, point) and korbcore (namespace KORBAS: host
// image, Windows bitmaps with file decoding, device context, progress; and
// namespace img: the shared part list of overlaid images).
#pragma once

#include "host/bitmap.h"
#include "host/image.h"
#include "host/parts.h"
#include "host/png_writer.h"
#include "host/progress.h"
#include "host/qdc.h"
#include "host/zun.h"
