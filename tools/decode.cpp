// `tarvel decode`: decodes an image file through the host bitmap, as the library
// sees it, and writes the picture as a PNG file.
#include <cstdio>
#include <memory>
#include <string>

#include "host/bitmap.h"
#include "host/qdc.h"
#include "platform/platform.h"
#include "tools/commands.h"

namespace tarvel_cli {

namespace {

struct decode_options {
    std::string input;
    std::string output;
};

int run_decode(const decode_options& options) {
    std::unique_ptr<KORBAS::CBitmapWindows> dib;
    try {
        dib = std::make_unique<KORBAS::CBitmapWindows>(nullptr, options.input.c_str(), true);
    } catch (const KORBAS::CImageDecodeException& e) {
        std::fprintf(stderr, "tarvel decode: %s\n", e.what());
        return 1;
    }
    const int width = static_cast<int>(dib->getWidth());
    const int height = static_cast<int>(dib->getHeight());
    std::printf("%s: %d x %d pixels, %u bits per pixel", options.input.c_str(), width, height,
                dib->getBPP());
    if (dib->getBPP() <= 8) std::printf(", %u colours", dib->getColorCount());
    std::printf("\n");
    if (options.output.empty()) return 0;

    try {
        QDC dc(width, height);
        // The whole DIB with its top-left corner at the surface's.
        SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                          static_cast<UINT>(height), dib->m_pBits, dib->m_pBitmapInfo,
                          kDibRgbColors);
        dib.reset();
        if (!dc.SaveAsPNG(options.output.c_str())) {
            std::fprintf(stderr, "tarvel decode: cannot write %s\n", options.output.c_str());
            return 1;
        }
    } catch (const std::invalid_argument&) {
        std::fprintf(stderr, "tarvel decode: %d x %d pixels are too many to render\n", width,
                     height);
        return 1;
    }
    std::printf("wrote %s\n", options.output.c_str());
    return 0;
}

}  // namespace

void add_decode_command(CLI::App& app) {
    auto options = std::make_shared<decode_options>();
    CLI::App* decode = app.add_subcommand(
        "decode",
        "Decode a JPEG, PNG, TIFF or BMP file (recognised by its content, not its name) into a "
        "Windows bitmap as the library reads it, print its size and depth, and with -o write "
        "the picture, drawn through SetDIBitsToDevice, as a PNG file.");
    decode->add_option("file", options->input, "Image file to decode")->required();
    decode->add_option("-o,--output", options->output, "PNG file to write");
    on_run(decode, [options] { return run_decode(*options); });
}

}  // namespace tarvel_cli
