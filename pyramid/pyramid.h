// tarvel::pyramid: a multi-resolution image kept as paged layers in one work
// directory, recorded in its pyramid.ini, built from an image file, reopened
// without decoding, and cut into views.
#pragma once

#include <string>
#include <vector>

#include "image/image.h"

namespace KORBAS {
class IProgressWork;
}

namespace tarvel {

// Limits of a pyramid.
// Each layer halves both sides until both fit in this many pixels.
constexpr int kPyramidFitPixels = 240;
// pyramid.ini records the source path in "Name", read back into this many
// bytes; a longer source path could not be read back, so a build refuses it.
constexpr int kPyramidNameChars = 1024;
// The most layers a pyramid can have. A plane holds at most 2^31 - 1 bytes, so
// no side reaches 2^31 and 24 halvings bring any side to 240 or less: 25
// layers. An opened pyramid.ini claiming more is refused before anything is
// allocated for its layers.
constexpr int kPyramidMaxLayers = 25;
// The longest work directory (with its final '/'): a page file's path, the
// directory followed by a bare name of up to 15 characters and a NUL, must fit
// in the paged image's path buffers, or files would land outside it.
constexpr int kPyramidMaxDirectoryChars = kPathChars - kPageNameChars;

// The exception the pyramid adapter throws when a pyramid can be neither
// opened nor built. Carries no data.
class CPyramidNotCreatedException {};

// A pyramid: layer 0 at full resolution, each further layer half the width
// and height of the one before (truncating), all in one work directory.
//
// Owns: its layers (deleted, last to first, by Clear, Destroy and the
// destructor). Layers opened or built from pyramid.ini are persistent, so
// deleting a pyramid object never removes a stored pyramid.
//
// Pins: none of its own. Whoever holds iterators into a layer keeps the
// pyramid alive and calls no Create, Clear or Destroy meanwhile.
//
// Stored form: pyramid.ini in the work directory, section "PYRAMID" with
// "Name" (the source path), "LayerCount" and "Version" (2; a missing key is
// version 1, whose layer sections run smallest first), and one image
// directory section "Layer"k per layer. A pyramid.ini without "Name" holds
// no pyramid.
//
// Crash safety: a build writes "Name" last, after every page and palette file
// of every layer is complete and every layer section is written, and each
// write replaces pyramid.ini atomically. A build killed at any point leaves
// either the earlier pyramid untouched (killed while decoding its source) or a
// directory that opens as nothing; the next build sweeps what it left. The
// work directory belongs to its pyramid: a build deletes the page files
// ("~gm<hex>.tmp") that were in it before the build began, except in the
// system temporary directory, which other programs share.
//
// Failure: Create (both forms) returns false and leaves the layer list and
// name as they were, except that a build into the directory this pyramid's
// own layers live in drops them once it starts replacing that directory. A
// successful Create replaces the layers held before (deleting the objects, not
// their stored files). GetError tells why the last Create failed. Page-file
// errors while layers are read print the page store's messages and carry on.
// Nothing throws except std::bad_alloc.
//
// Threads: one thread at a time, with its layers. The work directory is not
// locked: one process at a time may build into it.
class pyramid {
  public:
    pyramid();
    ~pyramid();
    pyramid(const pyramid&) = delete;
    pyramid& operator=(const pyramid&) = delete;

    // Sets the work directory ('\' becomes '/', a final '/' is added; an empty
    // path means the current directory) and creates every missing directory
    // along it.
    void SetWorkDirectory(const char* path);

    // Opens the pyramid stored in `directory` (creating the directory when it
    // is missing). Layers are thawed without reading a page. The progress sink
    // (may be null) sees SetTotal(LayerCount - 1) and nothing else.
    //
    // Refused (false, nothing deleted): no pyramid.ini, an empty "Name", a
    // "LayerCount" below 1 or above kPyramidMaxLayers, a work directory longer
    // than kPyramidMaxDirectoryChars. A layer section that cannot be thawed
    // (missing keys or page files, a geometry Create would not give) or that
    // names a file other than a page file ends the open: the layers opened so
    // far are deleted with their page files.
    bool Create(const char* directory, KORBAS::IProgressWork* progress);

    // Builds the pyramid of an image file in `directory` (the integer is not
    // used): decodes the file into layer 0, halves each layer into the next
    // with 2x2 box averages until both sides are at most 240 (see
    // CountLayers), freezes every layer into pyramid.ini and writes "Name"
    // last. The progress sink (may be null) sees, for each layer i from 1:
    // SetText (string resource 10500 with i and the last layer's number),
    // SetTotal (its rows, three times that for colour), one Advance(1) per row.
    //
    // A source that cannot be decoded changes nothing on disk. Once it is
    // decoded the build replaces the directory's pyramid: it removes
    // pyramid.ini (the old pyramid stops opening at that instant), deletes the
    // page files that were in the directory before the build began, and writes
    // the new layers, "Name" last.
    //
    // Failure (false): an undecodable or empty source, an unwritable or too
    // long work directory, a source path of kPyramidNameChars characters or
    // more, a layer that cannot be made or frozen. Everything the build made
    // is deleted: its page and palette files and pyramid.ini.
    bool Create(const char* directory, const char* source, int, KORBAS::IProgressWork* progress);

    // Deletes every layer object (stored files stay) and empties the name; the
    // work directory stays. Returns true.
    bool Destroy();
    void Clear();
    // Removes nothing; returns true.
    bool Delete();
    // Flushes every layer, first to last; false at the first that fails.
    bool Flush();

    // Appends a layer and takes ownership of it; sizes are not checked.
    void PushBack(image* layer);
    int GetLayerCount() const { return static_cast<int>(m_layers.size()); }
    // The caller keeps index in 0 .. GetLayerCount() - 1.
    image* GetLayerAt(int index) const { return m_layers[index]; }
    // The layer for showing the image reduced by `factor`: the largest k with
    // 2^k <= factor, at most the last layer; 0 for factors below 2.
    int GetLayerForReduction(int factor) const;

    // Stored and consulted by nothing: the resampler chooses by sizes.
    void SetResampleMode(int mode) { m_resampleMode = mode; }
    int GetResampleMode() const { return m_resampleMode; }

    // Brightness and contrast (0 to 100) of every layer, first to last; reads
    // answer from layer 0 and leave both outputs unchanged without layers.
    void SetBrightnessContrast(double brightness, double contrast);
    void GetBrightnessContrast(double& brightness, double& contrast) const;
    void StoreBrightnessContrast();

    // Region reads of one layer, as image::GetRegion and GetRegionRGB.
    void GetRegion(int layer, int x0, int y0, int x1, int y1, int channel, unsigned char* buffer);
    void GetRegionRGB(int layer, int x0, int y0, int x1, int y1, int* buffer);

    // Cuts the rectangle (x, y, sourceWidth, sourceHeight) of layer-0 pixels
    // into `target`, recreated at width x height with the chosen layer's kind
    // and palette, each direction stretched independently. Reads the coarsest
    // layer that still has at least as many pixels as the result needs (the
    // layer for the floor of the larger ratio). False when there are no layers,
    // width or height is below 1, target is a layer, or target cannot be
    // created. Parts of the rectangle outside the layer read its edge samples.
    bool Capture(image& target, int width, int height, int x, int y, int sourceWidth,
                 int sourceHeight) const;

    // Why the last Create (either form) failed, one line naming the file or
    // directory and the reason, the decoder's own for a source that cannot be
    // decoded; empty after a success.
    const char* GetError() const { return m_error.c_str(); }

    // The source path recorded under "Name"; empty when the pyramid holds nothing.
    const std::string& GetName() const { return m_name; }
    // The work directory, ending with '/'.
    const std::string& GetWorkDirectory() const { return m_workDirectory; }

    // The number of layers a build makes of a decoded source of this size:
    // halving while a side is above 240, but never down to a side of 0 pixels
    // (a very elongated source keeps a last layer longer than 240 instead).
    // 0 for sizes below 1.
    static int CountLayers(int width, int height);

  private:
    void replaceLayers(std::vector<image*>& layers, const std::string& name);
    // The work directory exists, is short enough for page-file paths and,
    // when writing, lets files be created in it. False with the reason recorded.
    bool workDirectoryUsable(bool writing);
    // Records why a Create failed; returns false.
    bool fail(const std::string& reason);

    std::vector<image*> m_layers;
    std::string m_workDirectory;
    std::string m_name;
    std::string m_error;  // see GetError
    int m_resampleMode;
};

// The layer for a reduction factor among `layerCount` layers (see
// pyramid::GetLayerForReduction).
int LayerForReduction(int factor, int layerCount);

}  // namespace tarvel
