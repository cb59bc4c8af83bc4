// Runs the tarvel program in a scratch directory and collects what it said.
#include "run_tool.h"

#include <sys/wait.h>

#include <cstdlib>
#include <sstream>

namespace tarvel_test {

outcome run_tool(const scratch_dir& dir, const std::string& args, const std::string& env) {
    const std::string out = dir.file_path(".stdout");
    const std::string err = dir.file_path(".stderr");
    const std::string command =
        "cd " + dir.path() + " && " + env + " " TARVEL_TOOL " " + args + " >" + out + " 2>" + err;
    const int raw = std::system(command.c_str());
    outcome o;
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    o.out = read_text(out);
    o.err = read_text(err);
    return o;
}

std::vector<std::string> lines_starting(const std::string& text, const std::string& prefix) {
    std::vector<std::string> found;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
}

}  // namespace tarvel_test
