// `tarvel convert IN OUT.bmp`: reads a picture into a paged image (page files
// in a temporary directory, so memory stays small whatever the size) and
// writes it as an uncompressed BMP file.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
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
};

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

int run_convert(const convert_options& options) {
    const bool ownDirectory = options.tempDir.empty();
    const std::string dir = ownDirectory ? make_temp_directory("tarvel-convert") : options.tempDir;
    if (dir.empty()) {
        std::fprintf(stderr, "tarvel convert: cannot create a temporary directory\n");
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    int code = 0;
    {
        tarvel::image img;
        img.SetTempPath(dir.c_str());
        tarvel::CImageFileFormat_bmp bmp;
        if (!bmp.Load(img, options.input.c_str(), nullptr, nullptr)) {
            std::fprintf(stderr,
                         "tarvel convert: cannot read %s: not an uncompressed 8- or 24-bit BMP "
                         "file, or shorter than its header says\n",
                         options.input.c_str());
            code = 1;
        } else if (!bmp.Store(img, options.output.c_str(), nullptr)) {
            std::fprintf(stderr, "tarvel convert: cannot write %s\n", options.output.c_str());
            code = 1;
        } else {
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::printf("%s: %d x %d %s, %d-bit BMP, %lld bytes, %.2f s, peak memory %.1f MiB\n",
                        options.output.c_str(), img.GetWidth(), img.GetHeight(), kind_of(img),
                        img.GetType() == 3 ? 24 : 8, size_of(options.output), seconds,
                        peak_resident_bytes() / 1048576.0);
        }
    }
    if (ownDirectory) remove_directory(dir);
    return code;
}

}  // namespace

void add_convert_command(CLI::App& app) {
    auto options = std::make_shared<convert_options>();
    CLI::App* convert = app.add_subcommand(
        "convert",
        "Convert a picture to an uncompressed BMP file: colour pictures become 24-bit files, "
        "grey and palette pictures 8-bit files with a 256-entry colour table. The input is read "
        "into a paged image whose pages go to a temporary directory, so pictures far larger "
        "than memory convert in a few tens of MiB. Reads uncompressed 8- and 24-bit BMP files "
        "(either row order).");
    convert->add_option("input", options->input, "Picture to read")
        ->required()
        ->check(CLI::ExistingFile);
    convert->add_option("output", options->output, "BMP file to write (replaced if it exists)")
        ->required();
    convert
        ->add_option("--temp", options->tempDir,
                     "Directory for the page files (default: a new directory under $TMPDIR, "
                     "removed afterwards); needs about as much space as the picture's samples")
        ->check(CLI::ExistingDirectory);
    convert->callback([options] {
        const int code = run_convert(*options);
        if (code != 0) throw CLI::RuntimeError(code);
    });
}

}  // namespace tarvel_cli
