// nvbot: puts a simulated Ravix drive on a real USB bus. It serves the
// mass-storage Bulk-Only Transport on a FunctionFS instance (usb_f_fs) of a
// configfs gadget and hands every command block to the drive's simulated
// controller, so the kernel's usb-storage, sd and sg drivers talk to the
// simulator as to a flash drive.
//
//   nvbot --world DIR --device 1-1 --ffs /dev/ffs-bot [--ready FILE]
//
// It writes the interface's descriptors to ep0 and then creates FILE: the
// gadget may be bound to its UDC from then on. It runs until killed.
#include "sim/bot_target.h"
#include "sim/ravix_controller.h"

#include "shared/byte_order.h"

#include <CLI/CLI.hpp>

#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace nv;

void put_interface(std::vector<std::uint8_t>& d) {
    d.insert(d.end(), {9, USB_DT_INTERFACE, 0, 0, 2, 0x08, 0x06, 0x50, 1});
}

void put_endpoint(std::vector<std::uint8_t>& d, std::uint8_t address, std::uint16_t maxPacket) {
    d.insert(d.end(), {7, USB_DT_ENDPOINT, address, USB_ENDPOINT_XFER_BULK, static_cast<std::uint8_t>(maxPacket),
                       static_cast<std::uint8_t>(maxPacket >> 8), 0});
}

// Full- and high-speed sets: one interface (mass storage, SCSI, Bulk-Only),
// bulk IN as ep1 and bulk OUT as ep2.
std::vector<std::uint8_t> descriptors() {
    std::vector<std::uint8_t> d(12 + 8);
    for (auto [maxPacket, unused] : {std::pair<std::uint16_t, int>{64, 0}, {512, 0}}) {
        (void)unused;
        put_interface(d);
        put_endpoint(d, USB_DIR_IN | 1, maxPacket);
        put_endpoint(d, USB_DIR_OUT | 2, maxPacket);
    }
    bytes::put_le32(&d[0], FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    bytes::put_le32(&d[4], static_cast<std::uint32_t>(d.size()));
    bytes::put_le32(&d[8], FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    bytes::put_le32(&d[12], 3);  // full-speed descriptors
    bytes::put_le32(&d[16], 3);  // high-speed descriptors
    return d;
}

std::vector<std::uint8_t> strings() {
    const char name[] = "Bulk-Only Transport";
    std::vector<std::uint8_t> d(16);
    bytes::put_le32(&d[0], FUNCTIONFS_STRINGS_MAGIC);
    bytes::put_le32(&d[8], 1);   // strings
    bytes::put_le32(&d[12], 1);  // languages
    d.push_back(0x09);
    d.push_back(0x04);
    d.insert(d.end(), name, name + sizeof name);
    bytes::put_le32(&d[4], static_cast<std::uint32_t>(d.size()));
    return d;
}

bool write_all(int fd, const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

bool read_all(int fd, std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        ssize_t r = ::read(fd, p, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<std::size_t>(r);
    }
    return true;
}

struct Link {
    std::mutex m;
    std::condition_variable cv;
    bool enabled = false;
    std::atomic<bool> reset{false};
};

// ep0: the function's events and the two class requests of the transport.
void control_loop(int ep0, sim::bot::Target& target, std::mutex& targetLock, Link& usb) {
    for (;;) {
        usb_functionfs_event e;
        ssize_t n = ::read(ep0, &e, sizeof e);
        if (n < 0 && errno == EINTR) continue;
        if (n != sizeof e) return;
        switch (e.type) {
        case FUNCTIONFS_ENABLE: {
            std::lock_guard l(usb.m);
            usb.enabled = true;
            usb.cv.notify_all();
            break;
        }
        case FUNCTIONFS_DISABLE:
        case FUNCTIONFS_UNBIND: {
            std::lock_guard l(usb.m);
            usb.enabled = false;
            break;
        }
        case FUNCTIONFS_SETUP: {
            const auto& s = e.u.setup;
            bool in = (s.bRequestType & USB_DIR_IN) != 0;
            bool klass = (s.bRequestType & USB_TYPE_MASK) == USB_TYPE_CLASS;
            if (klass && s.bRequest == sim::bot::kRequestGetMaxLun && in && s.wLength >= 1) {
                std::uint8_t maxLun = target.MaxLun();
                (void)!::write(ep0, &maxLun, 1);
            } else if (klass && s.bRequest == sim::bot::kRequestReset && !in) {
                {
                    std::lock_guard l(targetLock);
                    target.Reset();
                }
                usb.reset = true;
                (void)!::read(ep0, nullptr, 0);  // status stage
            } else if (in) {
                (void)!::read(ep0, nullptr, 0);  // a read in the IN direction stalls
            } else {
                (void)!::write(ep0, nullptr, 0);  // a write in the OUT direction stalls
            }
            break;
        }
        default: break;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Serves a simulated Ravix drive as a USB Bulk-Only Transport gadget on FunctionFS"};
    std::string world, device = "1-1", ffs, ready;
    app.add_option("--world", world, "simulated world holding the drive")->required();
    app.add_option("--device", device, "the drive's USB device name in the world");
    app.add_option("--ffs", ffs, "mount point of the FunctionFS instance")->required();
    app.add_option("--ready", ready, "file created once the descriptors are in place");
    CLI11_PARSE(app, argc, argv);

    auto state = sim::ravix::LoadState(sim::ravix::DriveDir(world, device));
    if (!state) {
        std::cerr << "nvbot: no Ravix drive " << device << " in " << world << "\n";
        return 2;
    }
    int luns = static_cast<int>(sim::ravix::AreaCount(*state));

    int ep0 = ::open((ffs + "/ep0").c_str(), O_RDWR);
    if (ep0 < 0) {
        std::cerr << "nvbot: " << ffs << "/ep0: " << std::strerror(errno) << "\n";
        return 2;
    }
    auto d = descriptors();
    auto s = strings();
    if (!write_all(ep0, d.data(), d.size()) || !write_all(ep0, s.data(), s.size())) {
        std::cerr << "nvbot: the descriptors were refused: " << std::strerror(errno) << "\n";
        return 2;
    }
    int in = ::open((ffs + "/ep1").c_str(), O_RDWR);
    int out = ::open((ffs + "/ep2").c_str(), O_RDWR);
    if (in < 0 || out < 0) {
        std::cerr << "nvbot: endpoint files: " << std::strerror(errno) << "\n";
        return 2;
    }

    sim::SimExecutor executor(world);
    sim::bot::Target target(executor, device, luns);
    std::mutex targetLock;
    Link link;
    std::thread control(control_loop, ep0, std::ref(target), std::ref(targetLock), std::ref(link));
    control.detach();
    if (!ready.empty()) std::ofstream(ready).put('\n');

    std::vector<std::uint8_t> buffer;
    for (;;) {
        {
            std::unique_lock l(link.m);
            link.cv.wait(l, [&] { return link.enabled; });
        }
        // A wrapper comes as one short packet; read a whole high-speed
        // packet so the endpoint never holds a remainder.
        std::uint8_t raw[512];
        ssize_t n = ::read(out, raw, sizeof raw);
        if (n < 0) {
            // Not configured yet, or the host let go: wait for it to come back.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        auto cbw = sim::bot::ParseCbw({raw, static_cast<std::size_t>(n)});
        if (!cbw) continue;  // not a wrapper: the host recovers with a reset
        buffer.assign(cbw->length, 0);
        if (!cbw->dataIn && cbw->length > 0 && !read_all(out, buffer.data(), buffer.size())) continue;
        std::uint8_t status;
        {
            std::lock_guard l(targetLock);
            status = target.Execute(*cbw, buffer);
        }
        // All data-in the host asked for goes back, padded: the residue is
        // then 0, and the host never waits for a packet that does not come.
        if (cbw->dataIn && cbw->length > 0 && !write_all(in, buffer.data(), buffer.size())) continue;
        auto csw = sim::bot::MakeCsw(cbw->tag, 0, status);
        write_all(in, csw.data(), csw.size());
    }
}
