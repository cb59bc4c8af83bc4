// tarvel: raster images far larger than memory. Includes the chief header of
// each of the library's subsystems.
#pragma once

#include "correlation/correlation.h"
#include "image/image.h"
#include "imagefile/imagefile.h"
#include "pyramid/pyramid.h"
