// The subcommands of the tarvel program; each adds itself to the application.
#pragma once

#include <CLI/CLI.hpp>

namespace tarvel_cli {

void add_demo_command(CLI::App& app);
void add_convert_command(CLI::App& app);
void add_verify_command(CLI::App& app);
void add_pyramid_command(CLI::App& app);
void add_capture_command(CLI::App& app);
void add_info_command(CLI::App& app);
void add_sample_command(CLI::App& app);
void add_image_info_command(CLI::App& app);
void add_decode_command(CLI::App& app);

}  // namespace tarvel_cli
