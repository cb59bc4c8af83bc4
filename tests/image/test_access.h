// Test access to the protected parts of the paged image, a scratch directory per test, and the
// sample pattern the image tests write.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "image/image.h"

namespace tarvel {

struct image_test_access {
    using scan_page = image::scan_page;

    static scan_page& page(image& img, int c, int k) { return img.m_pageTable[c][k]; }
    static unsigned char* fetch(image& img, int channel, int offset, scan_page** record = nullptr) {
        scan_page* page = nullptr;
        unsigned char* ptr = nullptr;
        img.getPage(channel, offset, record != nullptr ? *record : page, ptr);
        return ptr;
    }
    static unsigned char* data(const scan_page& p) { return p.m_data; }
    static bool mapped(const scan_page& p) { return p.m_mapped; }
    static void lock(scan_page& p) { p.lock(); }
    static void unlock(scan_page& p) { p.unlock(); }
    static void lock_read(scan_page& p) { p.lock_read(); }
    static void unlock_read(scan_page& p) { p.unlock_read(); }
    static bool save(scan_page& p) { return p.save(); }
    static void set_dirty(scan_page& p) { p.m_dirty = true; }
    static void set_name(scan_page& p, const char* name) {
        std::snprintf(p.m_name, sizeof p.m_name, "%s", name);
    }
};

}  // namespace tarvel

namespace tarvel_test {

// A fresh empty directory under the build's temporary directory, removed with its files.
class scratch_dir {
  public:
    scratch_dir();
    ~scratch_dir();
    const std::string& path() const { return m_path; }  // ends with '/'
    // The directory without its trailing '/', as given to SetTempPath.
    std::string bare() const { return m_path.substr(0, m_path.size() - 1); }
    // Names of the regular files in the directory, sorted, without the lock
    // files through which builders and readers of a pyramid coordinate (they
    // stay empty).
    std::vector<std::string> files() const;
    std::string file_path(const std::string& name) const { return m_path + name; }

  private:
    std::string m_path;
};

// A test with an image whose page files go to a scratch directory of its own.
class scratch_image : public testing::Test {
  protected:
    scratch_image() { img.SetTempPath(dir.bare().c_str()); }
    scratch_dir dir;
    tarvel::image img;
};

// A tmpfs of `bytes` mounted on a new directory, for disk-full cases, and
// unmounted with the object. Only root can mount: elsewhere path() is empty
// and skip_reason() says why, for GTEST_SKIP.
class small_tmpfs {
  public:
    explicit small_tmpfs(long long bytes);
    ~small_tmpfs();
    const std::string& path() const { return m_path; }  // ends with '/', or empty
    const std::string& skip_reason() const { return m_why; }

  private:
    scratch_dir m_parent;
    std::string m_path;
    std::string m_why;
};

// Runs body in a forked child and returns its exit status (or 128 + signal);
// with killAfter, kills the child once that time has passed.
int run_in_child(const std::function<int()>& body, std::chrono::nanoseconds killAfter = {});

// Runs a shell command with its standard output and error going to one file
// in dir; returns its exit status (128 + signal when a signal ended it) and
// the output.
int run_command(const std::string& command, const scratch_dir& dir, std::string& out);

// Standard output written while `body` runs.
template <class F>
std::string captured_stdout(F body) {
    testing::internal::CaptureStdout();
    body();
    return testing::internal::GetCapturedStdout();
}

// Differs between neighbours, lines, pages and channels, and takes every byte value.
inline unsigned char sample(int channel, int offset) {
    return static_cast<unsigned char>(offset * 13 + offset / 977 + channel * 71);
}

// Writes sample() into every channel of img, forwards through a pointer.
void fill(tarvel::image& img);

std::string read_text(const std::string& path);

}  // namespace tarvel_test
