#include "cli.h"
#include "terminal.h"

#include <atomic>
#include <csignal>
#include <iostream>
#include <pthread.h>
#include <stop_token>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    vellumet::cli::routeLibraryMessages();

    // Ctrl-C and SIGTERM are taken by one thread of ours rather than by a
    // handler, so that they can stop the command's waits at once.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr); // every later thread inherits the mask

    static std::stop_source interrupt; // outlives the detached thread
    static std::atomic<int> stopSignal{0};
    std::thread([signals] {
        // The first signal asks the command to stop; it ends on its own, with
        // nothing half written. A second one means the user will not wait:
        // the process ends at once.
        for (bool first = true;; first = false) {
            int received = 0;
            if (sigwait(&signals, &received) != 0)
                return;
            if (!first)
                _exit(vellumet::cli::kExitSignalBase + received);
            stopSignal.store(received);
            interrupt.request_stop();
        }
    }).detach();

    const std::vector<std::string> args(argv + 1, argv + argc);
    vellumet::cli::Environment env;
    env.stop = interrupt.get_token();
    env.stopSignal = [] { return stopSignal.load(); };
    return vellumet::cli::run(args, std::cout, std::cerr, env);
}
