// Commands per second through the transport into the simulated controller,
// and sequential 64 KiB writes to the simulated medium against dd writing
// the same image file. Prints ratios; not part of the test suite.
#include "ravix/recovery_dialog.h"
#include "sim/presets.h"
#include "sim/ravix_world.h"
#include "sim/scsi_port.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

struct Run {
    std::unique_ptr<nv::platform::ScsiPort> port = nv::sim::MakeScsiPort();
    nv::platform::VirtualClock clock;
    nv::platform::CrtRandom random;
    nv::ravix::RecoveryDialog dialog{*port, clock, random};
};

double commands_per_second(bool aspi, int n) {
    Run r;
    r.dialog.UseAspi = aspi;
    if (aspi) {
        r.port->LoadAspi();
        r.dialog.CurrentRef = r.dialog.UnitSlots[0] = r.dialog.UnitSlots[1] = nv::ravix::kNoAspiUnit;
    }
    r.dialog.OpenDevice();
    std::array<std::uint8_t, 512> b{};
    int failed = 0;
    auto t = Clock::now();
    for (int i = 0; i < n; ++i) {
        bool ok = i % 2 ? r.dialog.TestUnitReady(r.dialog.UnitSlots[0]) : r.dialog.GetDeviceStatus(r.dialog.UnitSlots[0], b);
        failed += ok ? 0 : 1;
    }
    double s = seconds_since(t);
    if (failed) {
        std::fprintf(stderr, "bench_ravix: %d of %d commands failed\n", failed, n);
        std::exit(1);
    }
    r.dialog.CloseDevices();
    return n / s;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint32_t mib = argc > 1 ? static_cast<std::uint32_t>(std::atoi(argv[1])) : 256;
    std::string dir = (fs::temp_directory_path() / ("nv-bench-ravix-" + std::to_string(::getpid()))).string();
    std::string error;
    if (!nv::sim::CreatePreset(dir, "ravix-healthy", &error)) {
        std::fprintf(stderr, "bench_ravix: %s\n", error.c_str());
        return 1;
    }
    ::setenv("NORVALYN_SIM", dir.c_str(), 1);

    double pt = commands_per_second(false, 20000);
    double aspi = commands_per_second(true, 5000);
    std::printf("commands per second into the simulator: pass-through %.0f, ASPI %.0f (ASPI/pass-through %.2f)\n", pt,
                aspi, aspi / pt);

    // 64 KiB sequential writes through the wrappers.
    Run r;
    r.dialog.OpenDevice();
    std::vector<std::uint8_t> chunk(64 * 1024, 0x5A);
    std::uint32_t writes = mib * 16;
    auto t = Clock::now();
    for (std::uint32_t i = 0; i < writes; ++i)
        if (!r.dialog.WriteSectors(r.dialog.UnitSlots[0], 128, i * 128, chunk)) {
            std::fprintf(stderr, "bench_ravix: write %u failed\n", i);
            return 1;
        }
    double ours = seconds_since(t);
    r.dialog.CloseDevices();

    // dd writing the same image file with the same block size.
    std::string image = nv::sim::ravix::DriveDir(dir, "1-1") + "/lun0.img";
    std::string dd = "dd if=/dev/zero of=" + image + " bs=64k count=" + std::to_string(writes) +
                     " conv=notrunc status=none";
    t = Clock::now();
    if (std::system(dd.c_str()) != 0) {
        std::fprintf(stderr, "bench_ravix: dd failed\n");
        return 1;
    }
    double peer = seconds_since(t);
    std::printf("sequential 64 KiB writes, %u MiB: transport into the simulator %.1f MiB/s, dd %.1f MiB/s "
                "(simulator/dd %.2f)\n",
                mib, mib / ours, mib / peer, peer / ours);
    fs::remove_all(dir);
    return 0;
}
