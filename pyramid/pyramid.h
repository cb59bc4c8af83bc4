// tarvel::pyramid: a multi-resolution image kept as paged layers in one work
// directory, recorded in its pyramid.ini, built from an image file, reopened
// without decoding, and cut into views.
#pragma once

#include <string>
#include <vector>

#include "image/image.h"
#include "pyramid/directory_lock.h"

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
// Builders and readers: a build holds the work directory's build lock, so a
// second build of the same directory waits for it (or fails at once, see
// SetBuildWait); an open pyramid holds the directory's read lock, shared,
// until Destroy, and no page file is ever deleted while a reader holds it:
// a build leaves the old pyramid's files to a later sweep (pyramid/page_files.h),
// which the last pyramid of the directory to close runs.
//
// Crash safety: a build writes its page and palette files beside those of
// the pyramid it replaces, freezes its layers into a new profile with "Name"
// last, and renames that profile over pyramid.ini; only then may the old page
// files go. A build killed at any point leaves the earlier pyramid whole and
// openable, or the complete new one; the page files it made are removed by
// the process's signal cleanup (platform/cleanup.h) when a signal ends it, or
// by the next build or close of the directory otherwise. The work directory
// belongs to its pyramid: a build deletes the page files ("~gm<hex>.tmp")
// that were in it before the build began, except in the system temporary
// directory, which other programs share.
//
// Failure: Create (both forms) returns false, says why in GetError (a
// file and a reason) and leaves the layer list and name as they were. A
// successful Create replaces the layers held before (deleting the objects, not
// their stored files). A build fails, and "Name" is never written, when any
// page of any layer could not be written to or read from its page file; a
// capture fails when a page it read could not be loaded. Page-file errors
// while layers are read otherwise print the page store's messages and are
// recorded by the layers. Nothing throws except std::bad_alloc.
//
// Threads: one thread at a time, with its layers; a build may run a second
// thread of its own inside Create (see SetBuildThreads). Pyramids on
// different threads or processes coordinate through the directory locks.
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
    // Refused (false, nothing deleted), when stored_pyramid::Read refuses the
    // directory (pyramid/stored_pyramid.h) or the work directory is longer
    // than kPyramidMaxDirectoryChars. Waits while a build is deleting the page
    // files of an earlier pyramid there, and holds the directory's read lock
    // from then until the layers are dropped.
    bool Create(const char* directory, KORBAS::IProgressWork* progress);

    // Builds the pyramid of an image file in `directory` (the integer is not
    // used): the decoder's rows stream into layer 0 and, two rows at a time,
    // are halved with 2x2 box averages into each further layer until both
    // sides are at most 240 (see CountLayers); every page is written once,
    // straight to its file, and none is read back. Sources whose rows do not
    // come from the top down (interlaced, turned) fill layer 0 first and the
    // other layers are made from its pages. The layers are frozen into a new
    // profile with "Name" last, which then replaces pyramid.ini. The progress
    // sink (may be null) sees SetText (string resource 10502 with the number
    // of layers), SetTotal (the rows the decoder hands over) and one
    // Advance(1) per row; a source filled into layer 0 first then reports
    // layer 1 as string resource 10500, its rows and one Advance(1) each.
    //
    // Takes the build lock first (waiting for another build unless
    // SetBuildWait(false)). Until the switch the directory's earlier pyramid
    // is untouched and opens as before; after it, the page files that were in
    // the directory before the build began are deleted, unless a reader still
    // holds them (then the last reader to close sweeps them).
    //
    // Failure (false): an undecodable or empty source (also one that fails
    // halfway), an unwritable or too long work directory, a source path of
    // kPyramidNameChars characters or more, another build in progress
    // (without waiting), a layer that cannot be made or frozen, a page that
    // could not be written. Everything the build made is deleted (its page
    // and palette files and its profile) and the earlier pyramid stays as it
    // was.
    bool Create(const char* directory, const char* source, int, KORBAS::IProgressWork* progress);

    // Whether a build waits for another build of its directory to end (the
    // default) or fails at once.
    void SetBuildWait(bool wait) { m_buildWait = wait; }

    // Deletes every layer object (stored files stay), empties the name and
    // releases the directory's read lock, sweeping the directory when no other
    // reader or builder is there; the work directory stays. Returns true.
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

    // Whether a build loads a palette source as grey or RGB (see
    // CImageFileFormat_dib::SetExpandPalette) rather than as a palette image,
    // whose layers average palette indices. Off by default.
    void SetExpandPalette(bool expand) { m_expandPalette = expand; }
    bool GetExpandPalette() const { return m_expandPalette; }

    // Threads a build may use: 2 (the default) decodes on the caller's thread
    // while a second thread, joined before Create returns, makes the layers;
    // 1 does everything on the caller's thread. Values are taken as 1 or 2.
    void SetBuildThreads(int threads) { m_buildThreads = threads > 1 ? 2 : 1; }
    int GetBuildThreads() const { return m_buildThreads; }

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
    // width or height is below 1, target is a layer, target cannot be
    // created, a page of the layer could not be read or a page of the target
    // could not be written. Parts of the rectangle outside the layer read its
    // edge samples.
    bool Capture(image& target, int width, int height, int x, int y, int sourceWidth,
                 int sourceHeight) const;

    // Why the last Create (either form), Capture or Flush failed, one line
    // naming the file or directory and the reason, the decoder's own for a
    // source that cannot be decoded; empty after a successful Create.
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
    void replaceLayers(std::vector<image*>& layers, const std::string& name,
                       directory_lock& readLock);
    // Deletes the layer objects, empties the name and releases the read lock;
    // returns whether a lock was held.
    bool dropLayers();
    // The work directory exists, is short enough for page-file paths and,
    // when writing, lets files be created in it. False with the reason recorded.
    bool workDirectoryUsable(bool writing);
    // Records why a Create, Capture or Flush failed; returns false.
    bool fail(const std::string& reason) const;

    std::vector<image*> m_layers;
    std::string m_workDirectory;
    std::string m_name;
    mutable std::string m_error;  // see GetError
    int m_resampleMode;
    bool m_expandPalette = false;
    int m_buildThreads = 2;
    bool m_buildWait = true;
    directory_lock m_readLock;      // held while layers opened or built here are held
    std::string m_lockedDirectory;  // the directory m_readLock locks
};

// The layer for a reduction factor among `layerCount` layers (see
// pyramid::GetLayerForReduction).
int LayerForReduction(int factor, int layerCount);

}  // namespace tarvel
