// FormatVolume on a simulated drive of 16 GiB and 64 GiB against mkfs.fat on
// an image file of the same size: bytes written and wall time, as ratios.
// Not part of the test suite.
#include "platform/clock.h"
#include "platform/crt_random.h"
#include "ravix/recovery_dialog.h"
#include "sim/port_tap.h"
#include "sim/ravix_world.h"
#include "sim/scsi_port.h"
#include "sim/world.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using Seconds = std::chrono::duration<double>;

struct Run {
    std::uint64_t bytes = 0, writes = 0;
    double seconds = 0;
    bool ok = false;
};

Run FormatOnSimulatedDrive(const fs::path& dir, std::uint32_t sectors) {
    nv::sim::WorldWriter world((dir / "world").string());
    std::string error;
    Run run;
    if (!world.Create("bench", &error)) {
        std::fprintf(stderr, "bench_fat: %s\n", error.c_str());
        return run;
    }
    auto state = nv::sim::HealthyRavix("NVBENCH1");
    state.capacityOverride = sectors;
    nv::sim::AddRavixDrive(world, state);
    ::setenv("NORVALYN_SIM", world.Dir().c_str(), 1);
    // Every sector write that reaches the drive, plain or wrapped.
    nv::sim::PortTap port(nv::sim::MakeScsiPort(), [&run](const nv::sim::TappedCommand& c) {
        if (c.cdb[0] == 0x2A || (c.cdb[0] == 0xFA && c.cdb[1] == 0x2A)) {
            run.bytes += c.length;
            ++run.writes;
        }
    });
    nv::platform::VirtualClock clock;
    nv::platform::CrtRandom random;
    nv::ravix::RecoveryDialog dialog(port, clock, random);
    dialog.SelectBackEnd();
    const auto start = std::chrono::steady_clock::now();
    run.ok = dialog.FormatVolume(0, 0, static_cast<std::int32_t>(sectors)) == 0;
    run.seconds = Seconds(std::chrono::steady_clock::now() - start).count();
    ::unsetenv("NORVALYN_SIM");
    return run;
}

// mkfs.fat as a child; its write counters are read while it is a zombie.
Run MkfsOnImage(const fs::path& image, std::uint64_t bytes) {
    Run run;
    { std::ofstream(image).flush(); }
    fs::resize_file(image, bytes);
    const auto start = std::chrono::steady_clock::now();
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        ::execlp("mkfs.fat", "mkfs.fat", image.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    siginfo_t info{};
    ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
    run.seconds = Seconds(std::chrono::steady_clock::now() - start).count();
    std::ifstream io("/proc/" + std::to_string(pid) + "/io");
    std::string key;
    std::uint64_t value;
    while (io >> key >> value) {
        if (key == "wchar:") run.bytes = value;
        if (key == "syscw:") run.writes = value;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

}  // namespace

int main() {
    const fs::path base = fs::temp_directory_path() / ("nvbench-fat-" + std::to_string(::getpid()));
    fs::create_directories(base);
    std::printf("%-8s %-14s %14s %10s %10s\n", "size", "who", "bytes written", "writes", "seconds");
    for (std::uint64_t gib : {16u, 64u}) {
        const std::uint64_t bytes = gib << 30;
        const Run ours = FormatOnSimulatedDrive(base / ("drive" + std::to_string(gib)), static_cast<std::uint32_t>(bytes / 512));
        const Run peer = MkfsOnImage(base / ("mkfs" + std::to_string(gib) + ".img"), bytes);
        std::printf("%-8s %-14s %14llu %10llu %10.3f%s\n", (std::to_string(gib) + " GiB").c_str(), "FormatVolume",
                    static_cast<unsigned long long>(ours.bytes), static_cast<unsigned long long>(ours.writes),
                    ours.seconds, ours.ok ? "" : "  FAILED");
        std::printf("%-8s %-14s %14llu %10llu %10.3f%s\n", "", "mkfs.fat", static_cast<unsigned long long>(peer.bytes),
                    static_cast<unsigned long long>(peer.writes), peer.seconds, peer.ok ? "" : "  FAILED");
        if (peer.bytes && peer.seconds > 0)
            std::printf("%-8s ratio FormatVolume / mkfs.fat: bytes %.2f, time %.2f\n", "",
                        static_cast<double>(ours.bytes) / static_cast<double>(peer.bytes), ours.seconds / peer.seconds);
        fs::remove_all(base / ("drive" + std::to_string(gib)));
        fs::remove(base / ("mkfs" + std::to_string(gib) + ".img"));
    }
    fs::remove_all(base);
    return 0;
}
