// watch --mqtt against the virtual station and a mosquitto broker started here:
// its CPU share and resident memory over the run, and how long each round's
// state takes from the round's output line to a subscriber.
#include <mosquitto.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

int freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

pid_t spawn(const std::vector<std::string>& argv, int stdoutFd) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (stdoutFd >= 0)
            ::dup2(stdoutFd, 1);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        std::_Exit(127);
    }
    return pid;
}

// utime + stime of a process in clock ticks, and its resident set in KiB.
long cpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i)
        fields >> skip;
    long utime = 0, stime = 0;
    fields >> utime >> stime;
    return utime + stime;
}

long rssKib(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

std::mutex mutex;
std::vector<Clock::time_point> stateArrivals; // of ch1's state
std::vector<Clock::time_point> roundLines;    // watch's output lines

} // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 3.0;
    const std::string every = argc > 2 ? argv[2] : "20";
    const int port = freePort();
    char dir[] = "/tmp/mqtt-bench-XXXXXX";
    if (!::mkdtemp(dir))
        return 1;
    const std::string conf = std::string(dir) + "/mosquitto.conf";
    {
        const passwd* self = ::getpwuid(::getuid());
        std::ofstream out(conf);
        out << "listener " << port << " 127.0.0.1\nallow_anonymous true\npersistence false\nuser "
            << (self ? self->pw_name : "root") << "\nlog_type none\n";
    }
    const pid_t broker = spawn({"/usr/sbin/mosquitto", "-c", conf}, -1);
    std::this_thread::sleep_for(500ms);

    mosquitto_lib_init();
    mosquitto* sub = mosquitto_new(nullptr, true, nullptr);
    mosquitto_message_callback_set(sub, [](mosquitto*, void*, const mosquitto_message* m) {
        if (std::string(m->topic) == "bench/zp7421x/ch1/state") {
            std::lock_guard lock(mutex);
            stateArrivals.push_back(Clock::now());
        }
    });
    if (mosquitto_connect(sub, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "cannot reach the broker\n");
        return 1;
    }
    mosquitto_subscribe(sub, nullptr, "bench/#", 1);
    mosquitto_loop_start(sub);
    std::this_thread::sleep_for(200ms);

    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return 1;
    const pid_t watch =
        spawn({VELLUMET_CLI_PATH, "--simulate", "--data-dir", std::string(dir) + "/data",
               "--format", "json", "watch", "--every", every, "--mqtt",
               "mqtt://127.0.0.1:" + std::to_string(port) + "/bench"},
              pipeFds[1]);
    ::close(pipeFds[1]);
    std::thread reader([fd = pipeFds[0]] {
        char buffer[4096];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
            const auto now = Clock::now();
            std::lock_guard lock(mutex);
            for (ssize_t i = 0; i < n; ++i)
                if (buffer[i] == '\n')
                    roundLines.push_back(now);
        }
    });

    // The first round starts the connection: measured from after it.
    std::this_thread::sleep_for(5s);
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    const long cpuStart = cpuTicks(watch);
    const auto start = Clock::now();
    std::vector<long> rss;
    const Clock::time_point end = start + std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>(minutes * 60.0));
    while (Clock::now() < end) {
        rss.push_back(rssKib(watch));
        std::this_thread::sleep_until(std::min<Clock::time_point>(end, Clock::now() + 10s));
    }
    const long cpuEnd = cpuTicks(watch);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    rss.push_back(rssKib(watch));

    ::kill(watch, SIGTERM);
    ::waitpid(watch, nullptr, 0);
    reader.join();
    mosquitto_disconnect(sub);
    mosquitto_loop_stop(sub, true);
    ::kill(broker, SIGTERM);
    ::waitpid(broker, nullptr, 0);

    std::printf("run: %.0f s at --every %s\n", seconds, every.c_str());
    std::printf("cpu: %.3f %% (%ld ticks of 1/%ld s)\n",
                100.0 * static_cast<double>(cpuEnd - cpuStart) /
                    static_cast<double>(ticksPerSecond) / seconds,
                cpuEnd - cpuStart, ticksPerSecond);
    std::printf("rss KiB: first %ld, min %ld, max %ld, last %ld\n", rss.front(),
                *std::min_element(rss.begin(), rss.end()),
                *std::max_element(rss.begin(), rss.end()), rss.back());
    // Each round's state goes out just before its output line: the arrival
    // nearest to each line is that round's.
    std::vector<double> delays;
    for (const auto& line : roundLines) {
        double nearest = 1e9;
        for (const auto& arrival : stateArrivals) {
            const double ms = std::chrono::duration<double, std::milli>(arrival - line).count();
            if (std::abs(ms) < std::abs(nearest))
                nearest = ms;
        }
        if (std::abs(nearest) < 1000)
            delays.push_back(nearest);
    }
    std::sort(delays.begin(), delays.end());
    if (!delays.empty())
        std::printf("state after output line, ms (%zu rounds): min %.2f, median %.2f, max %.2f\n",
                    delays.size(), delays.front(), delays[delays.size() / 2], delays.back());
    std::printf("rounds printed %zu, states arrived %zu\n", roundLines.size(),
                stateArrivals.size());
    return 0;
}
