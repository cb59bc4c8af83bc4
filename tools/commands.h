// The subcommands of the tarvel program; each adds itself to the application.
#pragma once

#include <CLI/CLI.hpp>
#include <utility>

namespace tarvel_cli {

// Runs `run` when the subcommand is chosen; a nonzero result becomes the exit status.
template <class Run>
void on_run(CLI::App* cmd, Run run) {
    cmd->callback([run = std::move(run)] {
        const int code = run();
        if (code != 0) throw CLI::RuntimeError(code);
    });
}

void add_demo_command(CLI::App& app);
void add_convert_command(CLI::App& app);
void add_verify_command(CLI::App& app);
void add_pyramid_command(CLI::App& app);
void add_capture_command(CLI::App& app);
void add_info_command(CLI::App& app);
void add_sample_command(CLI::App& app);
void add_image_info_command(CLI::App& app);
void add_decode_command(CLI::App& app);
void add_serve_command(CLI::App& app);

}  // namespace tarvel_cli
