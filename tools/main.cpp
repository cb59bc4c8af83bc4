// Entry point of the tarvel program: parses the command line and runs one subcommand.
#include <cstdio>
#include <new>

#include "platform/cleanup.h"

#include "tools/commands.h"

int main(int argc, char** argv) {
    CLI::App app{
        "tarvel: raster images far larger than memory, kept in one-mebibyte pages behind a "
        "small cache with page files on disk.",
        "tarvel"};
    app.set_version_flag("--version", std::string("tarvel ") + TARVEL_VERSION);
    app.require_subcommand(1);
    tarvel_cli::add_demo_command(app);
    tarvel_cli::add_convert_command(app);
    tarvel_cli::add_pyramid_command(app);
    tarvel_cli::add_capture_command(app);
    tarvel_cli::add_view_command(app);
    tarvel_cli::add_correlate_command(app);
    tarvel_cli::add_info_command(app);
    tarvel_cli::add_sample_command(app);
    tarvel_cli::add_verify_command(app);
    tarvel_cli::add_image_info_command(app);
    tarvel_cli::add_decode_command(app);
    tarvel_cli::add_serve_command(app);
    // Ctrl-C and kill remove this run's temporaries before the process ends.
    tarvel::InstallCleanupOnSignals();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fprintf(stderr, "tarvel: out of memory\n");
        return 1;
    }
    return 0;
}
