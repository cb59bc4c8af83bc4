// tarvel::image: a raster image of 8-bit planar samples kept in fixed-size
// pages behind a small least-recently-used cache, with one page file per page.
#pragma once

#include <string>

namespace tarvel {

// Size limits of the paged image. A plane is addressed with signed 32-bit
// offsets, so one plane holds at most 2^31 - 1 bytes.
constexpr int kPageBytes = 1048576;    // a page holds about this many bytes of whole lines
constexpr int kWideLine = 524288;      // lines longer than this get one line per page
constexpr int kCacheBytes = 16777216;  // the cache holds about this many bytes of pages
constexpr int kPathChars = 260;        // size of path buffers, as on Windows
constexpr int kPageNameChars = 16;     // bare page-file name, NUL included
// Mapped pages an image keeps (see SetPageMapping): they cost address space
// and one memory map each, not memory, so far more than the cache's buffers;
// 256 hold every page of a 10000 x 8000 colour layer.
constexpr int kMappedPageLimit = 256;
constexpr int kPaletteBytes = 768;  // a palette: 256 entries of red, green, blue

// A paged image.
//
// Owns: its page table (one page record per page of each channel), every page
// buffer in memory, the palette (Type 2) and the intensity table. Its page
// files are deleted with it unless it is persistent; the directory file and
// palette file written by Freeze are never deleted by it.
//
// Pins: getPage hands out the address of a byte inside a page without pinning
// it. Whoever keeps that address across another fetch on the same image must
// pin the page first (scan_page::lock or lock_read, balanced by unlock or
// unlock_read). The iterators and region reads do this themselves.
//
// Failure: Create with a Type other than 1, 2 or 3, a width or height below 1,
// or a plane of 2^31 bytes or more returns false and leaves the image empty.
// Page-file errors do not stop the page operations: the page store prints one
// of its four messages on standard output and carries on; a page whose file
// could not be read holds zeros where the file gave nothing, a page that could
// not be written back loses its samples. Every such error is also recorded
// (GetPageSaveFailures, GetPageLoadFailures, GetError) until the next
// Create, Thaw or Destroy; Flush and Freeze then fail. Thaw failure leaves the
// image empty. Allocation failure throws std::bad_alloc.
//
// Files: page files and palette files are created mode 0600 with O_EXCL and
// are opened without following symbolic links.
//
// Threads: none of its own and no locks. An image, its page records and every
// iterator over it are used by one thread at a time.
class image {
  public:
    class scan_page;
    class pointer;
    class ipointer;

    image();
    image(int type, int width, int height, int mode);
    // A new image of src's kind and palette with its own zeroed pages, in the
    // system temporary directory; the samples are not copied.
    image(const image& src, int width = -1, int height = -1);
    image& operator=(const image&) = delete;
    virtual ~image();

    bool Create(int type, int width, int height, int mode);
    bool Create(const image& src, int width, int height);
    bool Destroy();
    bool IsValid() const { return m_pageTable != nullptr; }

    int GetType() const { return m_type; }
    int GetMode() const { return m_mode; }
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    int GetChannelCount() const { return m_channels; }
    int GetPageCount() const { return m_pageCount; }
    int GetPageLen() const { return m_pageLen; }
    int GetPageSize() const { return m_pageSize; }
    int GetCacheLimit() const { return m_cacheLimit; }
    // The bytes of pages the cache may hold now: GetCacheLimit() pages, or
    // more while a budget set by SetCacheBudget is larger.
    long long GetCacheBudget() const;
    // Pages held in buffers (at most the cache budget), and pages mapped.
    int GetInMemoryCount() const { return m_inMemory; }
    int GetMappedCount() const { return m_mappedCount; }
    unsigned char* GetPalette() { return m_palette; }
    const unsigned char* GetPalette() const { return m_palette; }
    const char* GetTempPath() const { return m_tempPath; }
    bool IsPersistent() const { return m_persistent; }

    void SetPersistent(bool persistent) { m_persistent = persistent; }
    // Page mapping, for readers of stored images: while it is on and the
    // intensity mapping is off, a page whose file holds a whole page is mapped
    // (mmap, private) instead of read into a buffer, so that only the bytes a
    // reader touches are read, 4 KiB at a time, and the memory is the system's
    // file cache, shared by every mapping of the file. Up to kMappedPageLimit
    // pages stay mapped beside the cache's buffers (least recently used go
    // first), so that rereading them costs nothing; the whole process keeps
    // at most half the kernel's limit on memory maps, and pages beyond it are
    // read as usual, as are pages without a whole file. Writes to a mapped page
    // stay private until the page is saved. The files must not shrink while
    // mapped: a stored pyramid's never do, since its open readers hold the
    // directory's read lock and a build writes new files and deletes none a
    // reader holds (pyramid/pyramid.h). Off by default; the setting survives
    // Create, Destroy and Thaw.
    void SetPageMapping(bool map) { m_mapPages = map; }
    bool GetPageMapping() const { return m_mapPages; }
    // Sets the directory of page files, palette file and directory file (a
    // '/' is appended). Refused (false, the directory unchanged) when the
    // directory with a page-file name would not fit kPathChars.
    bool SetTempPath(const char* dir);
    // Writes back and evicts every unpinned page. False when a page could not
    // be written back, now or earlier since Create or Thaw: samples were lost.
    bool Flush();
    void ForceFlush();

    // Lets the cache hold up to `bytes` of pages (whole pages of every
    // channel, at most the whole image) instead of about kCacheBytes, for a
    // reader that walks more rows than the default cache holds and walks them
    // again: a view refilled while it pans. A budget at or below the default
    // (0 included) restores the default. A smaller budget evicts unpinned
    // pages at once. Create, Destroy and Thaw restore the default, and Freeze
    // records the default limit, never the budget.
    void SetCacheBudget(long long bytes);

    // Page-file failures since the last Create, Thaw or Destroy.
    int GetPageSaveFailures() const { return m_saveFailures; }
    int GetPageLoadFailures() const { return m_loadFailures; }
    // The file and reason of the last failure: a refused Thaw, Freeze or
    // SetTempPath, or the first page that could not be written or read since
    // Create or Thaw (later page failures follow from it). Empty when none.
    const char* GetError() const { return m_error.c_str(); }

    // Region reads: samples as seen in memory (after the intensity table).
    // Rectangle x0..x1, y0..y1 inclusive inside the image; y1 < y0 copies nothing.
    void GetRegion(int x0, int y0, int x1, int y1, int channel, unsigned char* out);
    void GetRegionRGB(int x0, int y0, int x1, int y1, int* out);

    // Intensity mapping.
    void SetIntensities(unsigned char a, unsigned char b, unsigned char c, unsigned char d);
    void SetDefaultIntensities();
    void SetBrightnessContrast(double brightness, double contrast);
    void GetBrightnessContrast(double& brightness, double& contrast) const;
    void StoreBrightnessContrast();
    bool IsIntensityMappingActive() const { return m_mappingActive; }
    const unsigned char* GetIntensityTable() const { return m_intensityTable; }
    void GetIntensityBounds(int& lowIn, int& highIn, int& lowOut, int& highOut) const;

    // Image directory: persist the description of the image as one section of
    // a profile file in the temporary directory, and rebuild an image from it.
    // Freeze fails, writing nothing, when a page could not be written back or
    // read since Create or Thaw (the stored samples would be wrong), and fails
    // when the palette file or the directory file cannot be written. Thaw accepts only what
    // image_directory::Read accepts (image/directory.h): the geometry Create computes, and bare
    // names of regular files inside the temporary directory.
    bool Freeze(const char* file, const char* section, bool persistent);
    bool Thaw(const char* file, const char* section, bool consume);
    bool IsDirectoryAttached() const { return m_directoryAttached; }
    const std::string& GetDirectoryFile() const { return m_directoryFile; }
    const std::string& GetDirectorySection() const { return m_directorySection; }

  protected:
    bool getPage(int channel, int offset, scan_page*& page, unsigned char*& ptr);
    void init();
    char* getTempFileName(char* out) const;
    char* getFullFileName(char* out, const char* name) const;
    const char* getFileName(const char* path) const;
    static unsigned char* GetData(const scan_page* page);
    static int GetFirstLine(const scan_page* page);
    static int GetChannel(const scan_page* page);
    virtual void FillPage(scan_page* page);
    virtual void SavePage(scan_page* page);

    void StoreBrightnessContranstInIniFile() const;
    bool storePalette(const char* path);
    bool loadPalette(const char* path);

  private:
    friend class scan_page;
    friend class pointer;
    friend class ipointer;
    friend struct image_test_access;
    friend struct image_cursor;
    friend class page_writer;

    void unlinkPage(scan_page* page);
    void linkAtHead(scan_page* page);
    void evictFromTail(bool stopBelowLimit, unsigned char** reuse, bool mapped = false);
    void computeGeometry();
    void buildPageTable();
    void refillPinnedPages();
    void notePageError(bool saving, const char* path, const std::string& reason);
    // Pages the cache may hold: the limit, or the budget when that is larger.
    int cachePages() const { return m_budgetPages > m_cacheLimit ? m_budgetPages : m_cacheLimit; }

    int m_type;
    int m_mode;
    int m_width;
    int m_height;
    int m_channels;
    int m_lineCount;
    int m_lineLength;
    int m_pageCount;
    int m_pageLen;
    int m_pageSize;
    unsigned char* m_palette;
    scan_page** m_pageTable;
    int m_cacheLimit;
    int m_budgetPages;  // 0, or the pages SetCacheBudget allows
    int m_inMemory;
    int m_mappedCount;
    scan_page* m_newest;
    scan_page* m_oldest;
    char m_tempPath[kPathChars];
    bool m_persistent;
    bool m_directoryAttached;
    std::string m_directoryFile;
    std::string m_directorySection;
    bool m_mappingActive;
    unsigned char* m_intensityTable;
    double m_brightness;
    double m_contrast;
    int m_lowIn;
    int m_highIn;
    int m_lowOut;
    int m_highOut;
    bool m_mapPages = false;
    int m_saveFailures;
    int m_loadFailures;
    std::string m_error;
};

// The record of one page of one channel.
//
// Owns: the page buffer while the page is in memory (PageSize bytes, allocated
// or mapped from the page file) and, for a non-persistent image, the page
// file, which its destructor deletes.
//
// Pins: the lock count counts holders; a page with a non-zero lock count is
// never evicted and Flush skips it. A writer pin (lock) also marks the page
// dirty, so it is written back when it next leaves memory.
//
// Failure: load and save print one of the four messages with the failing path
// and return false (open failures) or carry on (short reads); they never throw.
// Each failure is recorded in the owner image. After a failed or short load
// the bytes the file did not give are zero.
//
// Threads: as its image. Records are created with the page table and never
// move while the image lives.
class image::scan_page {
  public:
    scan_page(image* owner, int channel, int index, int firstLine);
    ~scan_page();
    scan_page& operator=(const scan_page&) = default;

    // Read-only view, for callers that inspect the cache.
    int GetIndex() const { return m_index; }
    int GetChannelIndex() const { return m_channel; }
    int GetOffset() const { return m_offset; }
    bool IsInMemory() const { return m_data != nullptr; }
    bool IsDirty() const { return m_dirty; }
    int GetLockCount() const { return m_lockCount; }
    int GetWriteLockCount() const { return m_writeLockCount; }
    const char* GetName() const { return m_name; }

  protected:
    friend class image;
    friend class pointer;
    friend class ipointer;
    friend struct image_test_access;
    friend struct image_cursor;
    friend class page_writer;

    scan_page();
    scan_page(const scan_page&) = default;

    void lock();
    void unlock();
    void lock_read();
    void unlock_read();
    void attach(unsigned char* buffer);
    // Takes the buffer away for reuse; null for a mapped page, which is unmapped.
    unsigned char* detach();
    void close(bool release);
    // Maps the page file in place of a buffer; false (nothing changed) when
    // there is no file holding a whole page.
    bool map();
    void releaseData();
    char* getFullName(char* out);
    bool load();
    bool save();

    image* m_owner;
    int m_index;
    int m_channel;
    int m_firstLine;
    int m_offset;
    unsigned char* m_data;
    unsigned char* m_end;
    bool m_mapped = false;  // m_data is a mapping of the page file
    bool m_dirty;
    int m_writeLockCount;
    int m_lockCount;
    scan_page* m_newer;
    scan_page* m_older;
    char m_name[kPageNameChars];
};

// Read-write iterator over one channel of a paged image, used like a byte
// pointer. It keeps the page it points into writer-pinned (and so dirty), and
// fetches the neighbouring page when it runs past either end of the current
// one; positions outside the plane are clamped to its first or last byte.
//
// Owns: one pin on its current page while bound; never the page or the image.
// The image must outlive the iterator and must not be re-created meanwhile.
// A copy of an unbound iterator (a default-constructed one in a container) is
// unbound. Threads: as its image.
class image::pointer {
  public:
    pointer() : page(nullptr), ptr(nullptr) {}
    pointer(image* img, int channel, int x, int y);
    pointer(image* img, int channel, int offset);
    pointer(const pointer& p);
    pointer(const pointer& p, int delta);
    ~pointer();

    pointer& operator=(int offset);
    pointer& operator=(const pointer& p);
    pointer& operator++();
    pointer& operator--();
    pointer& operator+=(int n);
    pointer& operator-=(int n);
    pointer operator+(int n) const { return pointer(*this, n); }
    pointer operator-(int n) const { return pointer(*this, -n); }
    unsigned char& operator*() const { return *ptr; }
    unsigned char& operator[](int i) const;

    unsigned char* GetPtr() const { return ptr; }
    unsigned char* GetBeg() const { return page->m_data; }
    unsigned char* GetEnd() const { return page->m_end; }
    // Plane offset of the current position.
    int GetOffset() const { return page->m_offset + static_cast<int>(ptr - page->m_data); }

  protected:
    void sync();

  private:
    void bind(image* img, int channel, int offset);
    void refetch();

    scan_page* page;
    unsigned char* ptr;
};

// Read-only iterator: as pointer, but it pins pages as a reader, leaving them
// clean, and returns samples by value.
class image::ipointer {
  public:
    ipointer() : page(nullptr), ptr(nullptr) {}
    ipointer(image* img, int channel, int x, int y);
    ipointer(image* img, int channel, int offset);
    ipointer(const ipointer& p);
    ipointer(const ipointer& p, int delta);
    ~ipointer();

    ipointer& operator=(int offset);
    ipointer& operator=(const ipointer& p);
    ipointer& operator++();
    ipointer& operator--();
    ipointer& operator+=(int n);
    ipointer& operator-=(int n);
    ipointer operator+(int n) const { return ipointer(*this, n); }
    ipointer operator-(int n) const { return ipointer(*this, -n); }
    unsigned char operator*() const { return *ptr; }
    unsigned char operator[](int i) const;

    const unsigned char* GetPtr() const { return ptr; }
    const unsigned char* GetBeg() const { return page->m_data; }
    const unsigned char* GetEnd() const { return page->m_end; }
    int GetOffset() const { return page->m_offset + static_cast<int>(ptr - page->m_data); }

  protected:
    void sync();

  private:
    void bind(image* img, int channel, int offset);
    void refetch();

    scan_page* page;
    unsigned char* ptr;
};

}  // namespace tarvel
