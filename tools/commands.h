// The subcommands of the tarvel program; each adds itself to the application.
#pragma once

#include <CLI/CLI.hpp>
#include <utility>

#include "host/png_writer.h"

namespace tarvel_cli {

// Runs `run` when the subcommand is chosen; a nonzero result becomes the exit status.
template <class Run>
void on_run(CLI::App* cmd, Run run) {
    cmd->callback([run = std::move(run)] {
        const int code = run();
        if (code != 0) throw CLI::RuntimeError(code);
    });
}

// The --png-level option of the commands that write PNG files.
inline void add_png_level_option(CLI::App* cmd, int& level) {
    level = KORBAS::kPngFastLevel;
    cmd->add_option("--png-level", level,
                    "zlib level of PNG output: 1 writes fast, 9 makes the smallest files")
        ->check(CLI::Range(0, 9))
        ->capture_default_str();
}

void add_demo_command(CLI::App& app);
void add_convert_command(CLI::App& app);
void add_verify_command(CLI::App& app);
void add_pyramid_command(CLI::App& app);
void add_capture_command(CLI::App& app);
void add_view_command(CLI::App& app);
void add_correlate_command(CLI::App& app);
void add_info_command(CLI::App& app);
void add_sample_command(CLI::App& app);
void add_image_info_command(CLI::App& app);
void add_decode_command(CLI::App& app);
void add_serve_command(CLI::App& app);

}  // namespace tarvel_cli
