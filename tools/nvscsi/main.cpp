// nvscsi: runs a sequence of SCSI commands on the attached Ravix drive
// through the Ravix program's own transport (pass-through on the NT family,
// the ASPI layer on 9x; NORVALYN_OS_VERSION picks) and prints one line per
// command. On a real machine the commands go through SG_IO; with
// NORVALYN_SIM they reach the simulated controller.
//
//   nvscsi inquiry capacity tur read:0:1 write:8:2:5 verify:8:2:5 vendor:9a
//
// Steps:
//   tur | inquiry | capacity            the standard commands
//   read:LBA:COUNT                      READ(10); prints an FNV-1a sum of the data
//   save:LBA:COUNT:FILE                 READ(10) into a file
//   write:LBA:COUNT:SEED                WRITE(10) of a pattern made from SEED
//   verify:LBA:COUNT:SEED               READ(10) and compare with that pattern
//   vendor:OP                           a vendor block read (512 bytes) with opcode OP (hex)
//   vwrite:OP:LEN:SEED                  a vendor write of LEN bytes (a pattern from SEED)
//   vin:C0,..,C5:LEN                    a vendor command reading LEN bytes (CDB bytes in hex)
//   fin:CDB:COUNT                       a flash sequence reading COUNT sectors (CDB in hex, ',')
//   fout:CDB:COUNT:SEED                 a flash sequence writing COUNT sectors
//   wwrite:C0,..,C8:COUNT:SEED          the 16-byte wrapped sector write
//   unit:N                              later commands go to unit N (0 or 1)
//   reopen                              the program's own OpenDevice again (after a re-plug)
//   signal:FILE | await:FILE            create a file / wait (60 s at most) for one,
//                                       to line a sequence up with an outside event
//   pause:MS                            sleep
// A failed command prints its SCSI status and sense data when the drive
// answered; --timing adds each step's duration. Exit status: 0 when every step succeeded, 1 otherwise, 2 on a
// usage error or when no drive was found.
#include "platform/clock.h"
#include "platform/crt_random.h"
#include "ravix/recovery_dialog.h"
#include "sim/scsi_port.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace nv;

// Passes every call through and keeps what the drive answered to the last
// command (status and sense), which the wrappers reduce to true or false.
class RecordingPort final : public platform::ScsiPort {
public:
    explicit RecordingPort(platform::ScsiPort& inner) : inner_(inner) {}

    bool PassThroughDirect(std::uint32_t handle, std::span<std::uint8_t, 80> block,
                           std::span<std::uint8_t> data) override {
        bool ok = inner_.PassThroughDirect(handle, block, data);
        answered = ok;
        status = block[platform::ptd::kScsiStatus];
        // As much sense as the request asked for, as its caller would see.
        std::size_t n = std::min<std::size_t>(block[platform::ptd::kSenseInfoLength], 32);
        sense.assign(block.begin() + platform::ptd::kSenseArea, block.begin() + platform::ptd::kSenseArea + n);
        return ok;
    }
    std::uint8_t SendAspiCommand(std::span<std::uint8_t> srb, std::span<std::uint8_t> data,
                                 platform::CompletionEvent* event) override {
        std::uint8_t rc = inner_.SendAspiCommand(srb, data, event);
        if (srb.size() >= platform::srb::kSize && srb[platform::srb::kCmd] == platform::srb::kScExecScsiCmd) {
            // SRB_Status is final once the event is set (the port completes
            // before it returns); an error with a target status is an answer.
            status = srb[platform::srb::kTargStat];
            answered = srb[platform::srb::kStatus] == platform::kSsComp || status != 0;
            std::size_t n = std::min<std::size_t>(srb[platform::srb::kSenseLen], 16);
            sense.assign(srb.begin() + platform::srb::kSenseArea, srb.begin() + platform::srb::kSenseArea + n);
        }
        return rc;
    }
    bool LoadAspi() override { return inner_.LoadAspi(); }
    void FreeAspi() override { inner_.FreeAspi(); }
    std::uint32_t GetAspiSupportInfo() override { return inner_.GetAspiSupportInfo(); }
    std::unique_ptr<platform::CompletionEvent> CreateCompletionEvent() override {
        return inner_.CreateCompletionEvent();
    }
    std::uint32_t OpenUnit(const std::string& path) override { return inner_.OpenUnit(path); }
    void CloseHandle(std::uint32_t handle) override { inner_.CloseHandle(handle); }

    void Forget() {
        answered = false;
        status = 0;
        sense.clear();
    }

    bool answered = false;
    std::uint8_t status = 0;
    std::vector<std::uint8_t> sense;

private:
    platform::ScsiPort& inner_;
};

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::stringstream ss(s);
    std::string p;
    while (std::getline(ss, p, sep)) parts.push_back(p);
    return parts;
}

std::string hex(const std::uint8_t* p, std::size_t n) {
    std::string s;
    char b[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, i ? " %02x" : "%02x", p[i]);
        s += b;
    }
    return s;
}

std::string text(const std::uint8_t* p, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += (p[i] >= 0x20 && p[i] < 0x7F) ? static_cast<char>(p[i]) : '.';
    return s;
}

std::uint32_t fnv1a(std::span<const std::uint8_t> d) {
    std::uint32_t h = 2166136261u;
    for (auto b : d) h = (h ^ b) * 16777619u;
    return h;
}

// Bytes that differ from sector to sector and from seed to seed, so a write
// that landed at the wrong LBA or not at all shows in the read-back.
std::vector<std::uint8_t> pattern(std::uint32_t lba, std::uint32_t count, std::uint32_t seed) {
    std::vector<std::uint8_t> d(static_cast<std::size_t>(count) * 512);
    for (std::size_t i = 0; i < d.size(); ++i)
        d[i] = static_cast<std::uint8_t>((seed * 131u) ^ (lba + i / 512) * 7u ^ (i * 13u));
    return d;
}

std::uint32_t number(const std::string& s, int base = 0) { return static_cast<std::uint32_t>(std::stoul(s, nullptr, base)); }

// "95,00,01" as bytes; throws on a byte that is not hex or too many bytes.
std::array<std::uint8_t, 16> cdb_bytes(const std::string& s, std::size_t max) {
    std::array<std::uint8_t, 16> cdb{};
    auto parts = split(s, ',');
    if (parts.size() > max) throw std::invalid_argument("CDB too long");
    for (std::size_t i = 0; i < parts.size(); ++i) {
        auto v = number(parts[i], 16);
        if (v > 0xFF) throw std::invalid_argument("not a byte");
        cdb[i] = static_cast<std::uint8_t>(v);
    }
    return cdb;
}

std::string sum_text(std::span<const std::uint8_t> b) {
    char sum[16];
    std::snprintf(sum, sizeof sum, "%08x", fnv1a(b));
    return std::string("head ") + hex(b.data(), std::min<std::size_t>(16, b.size())) + " sum " + sum;
}

class Runner {
public:
    Runner(ravix::RecoveryDialog& dialog, RecordingPort& port) : d_(dialog), port_(port) {}

    // One step; false when it failed (the line says why).
    bool Step(const std::string& step) {
        auto a = split(step, ':');
        const std::string& op = a[0];
        auto ref = d_.CurrentRef;
        port_.Forget();
        if (op == "tur") return report(step, d_.TestUnitReady(ref), "");
        if (op == "inquiry") {
            std::vector<std::uint8_t> b(512);
            bool ok = d_.Inquiry(ref, b);
            return report(step, ok,
                          ok ? "type " + hex(&b[0], 1) + " removable " + std::to_string(b[1] >> 7) + " \"" +
                                   text(&b[8], 8) + "\" \"" + text(&b[16], 16) + "\" \"" + text(&b[32], 4) + "\""
                             : "");
        }
        if (op == "capacity") {
            std::vector<std::uint8_t> b(512);
            bool ok = d_.ReadCapacity(ref, b);
            std::uint32_t last = b[0] << 24 | b[1] << 16 | b[2] << 8 | b[3];
            std::uint32_t size = b[4] << 24 | b[5] << 16 | b[6] << 8 | b[7];
            return report(step, ok, ok ? "last-lba " + std::to_string(last) + " block " + std::to_string(size) : "");
        }
        if ((op == "read" && a.size() == 3) || (op == "verify" && a.size() == 4)) {
            std::uint32_t lba = number(a[1]), count = number(a[2]);
            std::vector<std::uint8_t> b(static_cast<std::size_t>(count) * 512);
            bool ok = d_.ReadSectors(ref, count, lba, b);
            if (!ok || op == "read") {
                char sum[16];
                std::snprintf(sum, sizeof sum, "%08x", fnv1a(b));
                return report(step, ok, ok ? std::string("sum ") + sum : "");
            }
            auto want = pattern(lba, count, number(a[3]));
            auto diff = std::mismatch(b.begin(), b.end(), want.begin());
            if (diff.first == b.end()) return report(step, true, "same");
            std::cout << step << " differs at byte " << (diff.first - b.begin());
            return false;
        }
        if (op == "write" && a.size() == 4) {
            std::uint32_t lba = number(a[1]), count = number(a[2]);
            auto b = pattern(lba, count, number(a[3]));
            return report(step, d_.WriteSectors(ref, count, lba, b), "");
        }
        if (op == "vendor" && a.size() == 2) {
            std::vector<std::uint8_t> b(512);
            bool ok = d_.VendorReadBlock(ref, static_cast<std::uint8_t>(number(a[1], 16)), b);
            return report(step, ok, ok ? sum_text(b) : "");
        }
        if (op == "vwrite" && a.size() == 4) {
            std::uint32_t len = number(a[2]);
            auto b = pattern(0, (len + 511) / 512, number(a[3]));
            return report(step, d_.VendorWrite(ref, static_cast<std::uint8_t>(number(a[1], 16)), len, b), "");
        }
        if (op == "vin" && a.size() == 3) {
            auto c = cdb_bytes(a[1], 6);
            std::uint32_t len = number(a[2]);
            // ASPI rounds the transfer up to whole sectors.
            std::vector<std::uint8_t> b((len + 511) / 512 * 512 + 512);
            bool ok = d_.VendorCommandIn(ref, c[0], c[1], c[2], c[3], c[4], c[5], len, b);
            return report(step, ok, ok ? sum_text(std::span(b).first(len)) : "");
        }
        if (op == "fin" && a.size() == 3) {
            std::uint32_t count = number(a[2]);
            std::vector<std::uint8_t> b(static_cast<std::size_t>(count) * 512);
            bool ok = d_.FlashSequenceIn(ref, cdb_bytes(a[1], 16), count, b);
            return report(step, ok, ok ? sum_text(b) : "");
        }
        if (op == "fout" && a.size() == 4) {
            std::uint32_t count = number(a[2]);
            auto b = pattern(0, count, number(a[3]));
            return report(step, d_.FlashSequenceOut(ref, cdb_bytes(a[1], 16), count, b), "");
        }
        if (op == "wwrite" && a.size() == 4) {
            auto c = cdb_bytes(a[1], 9);
            std::uint32_t count = number(a[2]);
            auto b = pattern(0, count, number(a[3]));
            return report(step, d_.WrappedWriteSectors(ref, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], count, b),
                          "");
        }
        if (op == "reopen") {
            d_.OpenDevice();
            std::cout << step << " units " << d_.UnitCount;
            return d_.UnitCount > 0;
        }
        if (op == "unit" && a.size() == 2) {
            std::uint32_t n = number(a[1]);
            bool ok = n < d_.UnitCount;
            if (ok) d_.CurrentRef = d_.UnitSlots[n];
            std::cout << step << (ok ? " ok" : " fail: no such unit");
            return ok;
        }
        if (op == "save" && a.size() == 4) {
            std::uint32_t lba = number(a[1]), count = number(a[2]);
            std::vector<std::uint8_t> b(static_cast<std::size_t>(count) * 512);
            bool ok = d_.ReadSectors(ref, count, lba, b);
            if (ok) std::ofstream(a[3], std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
            return report(step, ok, "");
        }
        if (op == "signal" && a.size() == 2) {
            std::ofstream(a[1]).put('\n');
            std::cout << step << " ok";
            return true;
        }
        if (op == "await" && a.size() == 2) {
            for (int i = 0; i < 600 && !std::filesystem::exists(a[1]); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            bool ok = std::filesystem::exists(a[1]);
            std::cout << step << (ok ? " ok" : " fail: not there after 60 s");
            return ok;
        }
        if (op == "pause" && a.size() == 2) {
            std::this_thread::sleep_for(std::chrono::milliseconds(number(a[1])));
            std::cout << step << " ok";
            return true;
        }
        std::cout << step << " fail: unknown step";
        return false;
    }

private:
    bool report(const std::string& step, bool ok, const std::string& detail) {
        std::cout << step << (ok ? " ok" : " fail");
        if (!detail.empty()) std::cout << " " << detail;
        if (!ok) {
            if (port_.answered)
                std::cout << " status " << hex(&port_.status, 1) << " sense " << hex(port_.sense.data(), port_.sense.size());
            else
                std::cout << " (no answer)";
        }
        return ok;
    }

    ravix::RecoveryDialog& d_;
    RecordingPort& port_;
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Runs SCSI commands on the attached Ravix drive through the Ravix transport"};
    std::vector<std::string> steps;
    bool timing = false;
    app.add_flag("--timing", timing, "append each step's duration");
    app.add_option("steps", steps, "tur, inquiry, capacity, read:LBA:COUNT, write:LBA:COUNT:SEED, ...")->required();
    CLI11_PARSE(app, argc, argv);

    auto inner = sim::MakeScsiPort();
    RecordingPort port(*inner);
    platform::SystemClock clock;
    platform::CrtRandom random;
    ravix::RecoveryDialog dialog(port, clock, random);
    if (!dialog.SelectBackEnd()) {
        std::cerr << "nvscsi: the ASPI layer is not there\n";
        return 2;
    }
    dialog.OpenDevice();
    std::cout << "back end " << (dialog.UseAspi ? "aspi" : "pass-through") << " units " << dialog.UnitCount << "\n";
    if (dialog.UnitCount == 0 || ravix::IsNoUnit(dialog.CurrentRef, dialog.UseAspi)) {
        std::cerr << "nvscsi: no Ravix drive found\n";
        return 2;
    }
    Runner runner(dialog, port);
    bool all = true;
    for (const auto& s : steps) {
        auto t0 = std::chrono::steady_clock::now();
        bool ok = false;
        try {
            ok = runner.Step(s);
        } catch (const std::exception&) {
            std::cout << s << " fail: bad argument";
        }
        if (timing) {
            auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
            std::cout << " in " << ms.count() << " ms";
        }
        std::cout << std::endl;
        all = all && ok;
    }
    dialog.CloseDevices();
    return all ? 0 : 1;
}
