// `tarvel convert IN OUT.bmp`: reads a picture into a paged image (page files
// in a temporary directory, so memory stays small whatever the size) and
// writes it as an uncompressed BMP file, with a progress bar on the terminal.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "imagefile/imagefile.h"
#include "tools/commands.h"
#include "tools/console.h"

namespace tarvel_cli {

namespace {

struct convert_options {
    std::string input;
    std::string output;
    std::string tempDir;
    bool quiet = false;
};

// Whether the file starts with "BM".
bool looks_like_bmp(const std::string& path) {
    char magic[2] = {};
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    const bool bm = std::fread(magic, 1, 2, f) == 2 && std::memcmp(magic, "BM", 2) == 0;
    std::fclose(f);
    return bm;
}

// Reads `path` into `img`: 8- and 24-bit uncompressed BMP files with the
// system's own reader (row by row, with progress), anything else, other BMP
// files included, through the host imaging library's decoders. False with
// the decoder's reason in error.
bool read_picture(tarvel::image& img, const std::string& path, KORBAS::IProgressWork* progress,
                  std::string& error) {
    if (looks_like_bmp(path)) {
        tarvel::CImageFileFormat_bmp bmp;
        if (bmp.Load(img, path.c_str(), nullptr, progress)) return true;
    }
    if (progress != nullptr) {
        // The host decodes the whole file in one call: one step.
        progress->SetTotal(1);
        progress->SetText(("decoding " + path).c_str());
    }
    tarvel::CImageFileFormat_dib host;
    const bool ok = host.Load(img, path.c_str(), nullptr, nullptr);
    if (ok && progress != nullptr) progress->Advance(1);
    if (!ok) error = host.GetError();
    return ok;
}

const char* kind_of(const tarvel::image& img) {
    switch (img.GetType()) {
        case 1:
            return "grey";
        case 2:
            return "palette";
        default:
            return "RGB";
    }
}

long long size_of(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// Reads the input and writes the output; false after printing why not.
bool convert(tarvel::image& img, const convert_options& options) {
    std::unique_ptr<KORBAS::CTerminalProgress> bar;
    if (!options.quiet) bar = std::make_unique<KORBAS::CTerminalProgress>(stderr);
    std::string error;
    const bool read = read_picture(img, options.input, bar.get(), error);
    // Pages that could not be written to the temporary directory lost samples.
    const bool pagesLost = img.GetPageSaveFailures() != 0 || img.GetPageLoadFailures() != 0;
    if (!read || pagesLost) {
        if (bar) bar->Abandon();
        report_failure("convert", pagesLost ? img.GetError() : error, pagesLost);
        return false;
    }
    if (bar) {
        bar->Finish();
        // The writer starts the same phase again; the text goes with it.
        bar->SetTotal(img.GetHeight());
        bar->SetText(("writing " + options.output).c_str());
    }
    tarvel::CImageFileFormat_bmp bmp;
    bmp.SetStoreProgress(bar.get());
    if (!bmp.Store(img, options.output.c_str(), nullptr)) {
        if (bar) bar->Abandon();
        report_failure("convert", bmp.GetError(), img.GetPageLoadFailures() != 0);
        return false;
    }
    if (bar) bar->Finish();
    return true;
}

int run_convert(const convert_options& options) {
    private_temp_dir temp;
    std::string error;
    if (!temp.Create("convert", options.tempDir, error)) {
        report_failure("convert", error, false);
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    bool ok = false;
    {
        tarvel::image img;
        ok = img.SetTempPath(temp.path().c_str());
        if (!ok) report_failure("convert", img.GetError(), false);
        ok = ok && convert(img, options);
        if (ok) {
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::printf("%s: %d x %d %s, %d-bit BMP, %lld bytes, %.2f s, peak memory %.1f MiB\n",
                        options.output.c_str(), img.GetWidth(), img.GetHeight(), kind_of(img),
                        img.GetType() == 3 ? 24 : 8, size_of(options.output), seconds,
                        peak_resident_bytes() / 1048576.0);
        }
    }
    return ok ? 0 : 1;
}

}  // namespace

void add_convert_command(CLI::App& app) {
    auto options = std::make_shared<convert_options>();
    CLI::App* convert = app.add_subcommand(
        "convert",
        "Convert a picture to an uncompressed BMP file: colour pictures become 24-bit files, "
        "grey and palette pictures 8-bit files with a 256-entry colour table. The input is read "
        "into a paged image whose pages go to a temporary directory, so pictures far larger "
        "than memory convert in a few tens of MiB. Uncompressed 8- and 24-bit BMP files are read "
        "by tarvel's own reader; JPEG, PNG, TIFF and other BMP files by the host imaging "
        "library's decoders (chosen by the file's first bytes, not its name). Pictures of 9 "
        "to 16 bits per pixel as the host presents them (16-bit BMP files) are refused. The output "
        "cannot pass 4 GiB, the limit of the "
        "BMP format's size fields.");
    convert->add_option("input", options->input, "Picture to read")
        ->required()
        ->check(CLI::ExistingFile);
    convert->add_option("output", options->output, "BMP file to write (replaced if it exists)")
        ->required();
    convert
        ->add_option("--temp", options->tempDir,
                     "Where the page files go (default: $TMPDIR), in a new directory of "
                     "their own, removed afterwards, also on Ctrl-C; needs about as much space "
                     "as the picture's samples")
        ->check(CLI::ExistingDirectory);
    convert->add_flag("--quiet", options->quiet, "No progress bar on standard error");
    on_run(convert, [options] { return run_convert(*options); });
}

}  // namespace tarvel_cli
