// The served pyramids: identifiers, what info.json tells about each, and a
// pool of opened views per pyramid that the workers borrow.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/pyramid_view.h"

namespace tarvel {
namespace server {

// One served pyramid as it was when the server started.
struct served_image {
    std::string id;         // the name in URLs
    std::string directory;  // absolute path of the pyramid's directory
    std::string source;     // the picture it was built from ("Name")
    int width = 0, height = 0;
    int type = 0;  // layer 0's kind: 1 grey, 2 palette, 3 colour
    std::vector<int> layerWidths, layerHeights;
    unsigned long long tag = 0;  // hash of pyramid.ini: changes with every build
};

// Opens the pyramid stored in directory once and describes it. False with a
// reason when the directory holds none.
bool DescribePyramid(const std::string& directory, served_image& out, std::string& error);

// The identifier of a directory: its name, with every character other than
// letters, digits, '.', '_' and '-' (and a leading '.') replaced by '_', and
// "-2", "-3" ... appended while one of `taken` has it. Never empty.
std::string MakeIdentifier(const std::string& directory, const std::vector<served_image>& taken);

// 64-bit FNV-1a, continuing from `hash`: the tags and ETags.
unsigned long long Fnv1a(const void* data, std::size_t size,
                         unsigned long long hash = 14695981039346656037ull);

// Opened views of one pyramid, lent to one worker at a time. A view is opened
// when every other is lent, so at most as many exist as workers ever asked at
// once; they stay open (with their page caches) until the pool is destroyed.
//
// Owns: the idle views. Threads: Acquire and the leases' release from any
// thread (a mutex guards the idle list); a lent view belongs to its holder.
class view_pool {
  public:
    explicit view_pool(const served_image& image) : m_image(image) {}
    view_pool(const view_pool&) = delete;
    view_pool& operator=(const view_pool&) = delete;

    // A borrowed view, returned to its pool when the lease ends.
    class lease {
      public:
        lease() = default;
        lease(lease&& other) noexcept = default;
        lease& operator=(lease&&) = delete;
        ~lease();
        explicit operator bool() const { return m_view != nullptr; }
        pyramid_view* operator->() const { return m_view.get(); }
        pyramid_view& operator*() const { return *m_view; }

      private:
        friend class view_pool;
        view_pool* m_pool = nullptr;
        std::unique_ptr<pyramid_view> m_view;
    };

    // An idle view, or a newly opened one. An empty lease with a reason when
    // the pyramid cannot be opened or the directory holds another pyramid
    // than the one described (rebuilt since): the views already open keep
    // showing the described one, whose page files stay while they hold them.
    lease Acquire(std::string& error);
    // Views opened so far.
    int Opened() const;

  private:
    const served_image& m_image;
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<pyramid_view>> m_idle;
    int m_opened = 0;
};

}  // namespace server
}  // namespace tarvel
