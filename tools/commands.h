// The subcommands of the tarvel program; each adds itself to the application.
#pragma once

#include <CLI/CLI.hpp>

namespace tarvel_cli {

void add_demo_command(CLI::App& app);
void add_convert_command(CLI::App& app);
void add_image_info_command(CLI::App& app);
void add_decode_command(CLI::App& app);

}  // namespace tarvel_cli
