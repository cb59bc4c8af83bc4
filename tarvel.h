// tarvel: raster images far larger than memory. Includes every public header.
#pragma once

#include "host/host.h"
#include "image/image.h"
#include "imagefile/imagefile.h"
#include "overlaid/overlaid.h"
#include "pyramid/pyramid.h"
