// tarvel: raster images far larger than memory. Includes the chief header of
// each of the library's subsystems.
#pragma once

#include "correlation/correlation.h"
#include "display/display.h"
#include "image/image.h"
#include "imagefile/imagefile.h"
#include "overlaid/overlaid.h"
#include "pyramid/pyramid.h"
