// tarvel: raster images far larger than memory. Includes every public header.
#pragma once

#include "correlation/correlation.h"
#include "display/display.h"
#include "host/host.h"
#include "image/image.h"
#include "imagefile/imagefile.h"
#include "pyramid/pyramid.h"
