// `tarvel serve PATH...`: serves pyramids (built first for pictures) over the
// IIIF Image API with a deep-zoom viewer, until SIGINT or SIGTERM.
#include <pthread.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <memory>

#include "server/server.h"
#include "tools/commands.h"
#include "tools/pyramid_tools.h"

namespace tarvel_cli {

namespace {

struct serve_options {
    std::vector<std::string> paths;
    tarvel::server::server_options server;
    int cacheMb = static_cast<int>(server.cacheBytes >> 20);
};

// Adds one PATH: a pyramid directory as it is, a picture through its pyramid
// (opened, or built with a progress bar). Prints why not and returns false.
bool add_path(tarvel::server::tile_server& server, const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        std::fprintf(stderr, "tarvel serve: %s: no such file or directory\n", path.c_str());
        return false;
    }
    std::string directory = path, error;
    if (!S_ISDIR(st.st_mode)) {
        if (!open_pyramid(path, "", true, error)) {
            std::fprintf(stderr, "tarvel serve: %s\n", error.c_str());
            return false;
        }
        directory = path + ".pyramid";
    }
    if (!server.AddPyramid(directory, error)) {
        std::fprintf(stderr, "tarvel serve: %s\n", error.c_str());
        return false;
    }
    return true;
}

int run(serve_options& o) {
    tarvel::server::tile_server server;
    for (const std::string& path : o.paths)
        if (!add_path(server, path)) return 1;

    // SIGINT and SIGTERM are taken by sigwait below: blocked here, before the
    // server's threads start, so that every thread inherits the mask.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    std::string error, warning;
    o.server.cacheBytes = static_cast<std::size_t>(o.cacheMb) << 20;
    if (!server.Start(o.server, error, warning)) {
        std::fprintf(stderr, "tarvel serve: %s\n", error.c_str());
        return 1;
    }
    if (!warning.empty()) std::fprintf(stderr, "tarvel serve: warning: %s\n", warning.c_str());
    const std::string host = o.server.bind.find(':') != std::string::npos
                                 ? "[" + o.server.bind + "]"
                             : o.server.bind == "0.0.0.0" ? "localhost"
                                                          : o.server.bind;
    const std::string root = "http://" + host + ":" + std::to_string(server.Port());
    std::printf("serving   %zu pyramid(s) at %s/ with %d worker thread(s); Ctrl-C stops\n",
                server.Images().size(), root.c_str(), server.Threads());
    for (const tarvel::server::served_image& image : server.Images())
        std::printf("  %s/view/%s   IIIF: %s/iiif/3/%s/info.json\n", root.c_str(), image.id.c_str(),
                    root.c_str(), image.id.c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stop, &signal);
    std::printf("stopping  on %s\n", signal == SIGINT ? "SIGINT" : "SIGTERM");
    server.Stop();
    return 0;
}

}  // namespace

void add_serve_command(CLI::App& app) {
    auto o = std::make_shared<serve_options>();
    CLI::App* cmd = app.add_subcommand(
        "serve",
        "Serve pyramids to web browsers and IIIF viewers: each PATH is a pyramid directory or a "
        "picture, whose pyramid is opened or built beside it (PICTURE.pyramid, as tarvel view "
        "does). Each is served at /iiif/3/ID/ (IIIF Image API 3.0, ID being its directory's "
        "name) and shown at /view/ID; / lists them. Stops cleanly on Ctrl-C or SIGTERM.");
    cmd->add_option("PATH", o->paths, "Pyramid directories or pictures")->required();
    cmd->add_option("--bind", o->server.bind, "Address to listen on (0.0.0.0 for every network)")
        ->capture_default_str();
    cmd->add_option("--port", o->server.port, "Port to listen on (0 picks a free one)")
        ->capture_default_str()
        ->check(CLI::Range(0, 65535));
    cmd->add_option("--threads", o->server.threads,
                    "Worker threads, each with its own opened view of every pyramid (0: one per "
                    "processor)")
        ->capture_default_str()
        ->check(CLI::Range(0, 1024));
    cmd->add_option("--quality", o->server.jpegQuality, "JPEG quality of the tiles")
        ->capture_default_str()
        ->check(CLI::Range(1, 100));
    cmd->add_option("--cache-mb", o->cacheMb,
                    "Mebibytes of encoded tiles kept for requests that come again (0: none)")
        ->capture_default_str()
        ->check(CLI::Range(0, 65536));
    cmd->add_option("--base-url", o->server.baseUrl,
                    "Public address of the server behind a proxy (https://tiles.example.org); by "
                    "default each request's Host");
    o->server.webDirectory = TARVEL_WEB_DIR;
    cmd->add_option("--web", o->server.webDirectory,
                    "Folder with the viewer's files and node_modules/openseadragon")
        ->capture_default_str();
    on_run(cmd, [o] { return run(*o); });
}

}  // namespace tarvel_cli
