// Runs the tarvel program in a scratch directory and collects what it said.
#pragma once

#include <string>
#include <vector>

#include "image/test_access.h"

namespace tarvel_test {

struct outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the program with `args` (words without spaces or quotes) in `dir`;
// `env` (assignments such as "TMPDIR=/x") is put before the command.
outcome run_tool(const scratch_dir& dir, const std::string& args, const std::string& env = "");

// The lines of a text that start with `prefix`.
std::vector<std::string> lines_starting(const std::string& text, const std::string& prefix);

}  // namespace tarvel_test
