#include "cli.h"

#include <atomic>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) {
    interrupted.store(true);
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);

    const std::vector<std::string> args(argv + 1, argv + argc);
    vellumet::cli::Environment env;
    env.interrupted = &interrupted;
    return vellumet::cli::run(args, std::cout, std::cerr, env);
}
