#include "sim/ravix_controller.h"

#include "shared/byte_order.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using nv::platform::ScsiCommand;
using nv::platform::ScsiResult;

namespace nv::sim::ravix {
namespace {

constexpr std::size_t kBlock = 512;
constexpr std::uint8_t kDefaultSpareEntry = 25;  // 100 blocks a group

// Sense keys and codes the model answers with.
constexpr std::uint8_t kNotReady = 0x02, kMediumError = 0x03, kIllegalRequest = 0x05;

ScsiResult good() {
    ScsiResult r;
    r.delivered = true;
    r.status = platform::kStatusGood;
    return r;
}

// Copies a reply into the command's buffer; the rest of the buffer is zero.
ScsiResult reply(ScsiCommand& c, std::span<const std::uint8_t> bytes) {
    std::fill(c.data.begin(), c.data.end(), 0);
    std::copy_n(bytes.begin(), std::min(bytes.size(), c.data.size()), c.data.begin());
    return good();
}

std::uint8_t spare_entry(const ControllerState& s, std::size_t chip, std::size_t group) {
    std::size_t i = chip * 16 + group;
    return i < s.spares.size() ? s.spares[i] : kDefaultSpareEntry;
}

std::string hex(std::span<const std::uint8_t> b) {
    static const char* d = "0123456789ABCDEF";
    std::string out;
    out.reserve(b.size() * 2);
    for (auto v : b) {
        out.push_back(d[v >> 4]);
        out.push_back(d[v & 15]);
    }
    return out;
}

std::vector<std::uint8_t> unhex(const std::string& s) {
    std::vector<std::uint8_t> out;
    auto nib = [](char ch) -> int {
        if (ch >= '0' && ch <= '9') return ch - '0';
        if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
        if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
        return 0;
    };
    for (std::size_t i = 0; i + 1 < s.size(); i += 2) out.push_back(static_cast<std::uint8_t>(nib(s[i]) * 16 + nib(s[i + 1])));
    return out;
}

template <std::size_t N>
void unhex_into(const nlohmann::json& j, const char* key, std::array<std::uint8_t, N>& a) {
    a.fill(0);
    if (!j.contains(key)) return;
    auto v = unhex(j[key].get<std::string>());
    std::copy_n(v.begin(), std::min(v.size(), N), a.begin());
}

std::uint8_t descriptor_check(std::span<const std::uint8_t> d) {
    unsigned sum = 0;
    for (unsigned i = 0; i < 48; ++i) {
        if (i == 13) continue;
        sum += d[i] == 0 ? i + 1 : d[i] + i;
    }
    return static_cast<std::uint8_t>(sum);
}

}  // namespace

ScsiResult CheckCondition(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    ScsiResult r;
    r.delivered = true;
    r.status = platform::kStatusCheckCondition;
    r.sense[0] = 0x70;
    r.sense[2] = key;
    r.sense[7] = 10;
    r.sense[12] = asc;
    r.sense[13] = ascq;
    r.senseLength = 18;
    return r;
}

// --- derived views -----------------------------------------------------------

std::uint32_t TotalSectors(const ControllerState& s) {
    if (s.capacityOverride) return s.capacityOverride;
    std::uint64_t blocks = 0;
    for (std::size_t c = 0; c < s.chips.size(); ++c)
        for (std::size_t g = 0; g < s.zoneGroups; ++g) {
            std::uint32_t spare = 4u * spare_entry(s, c, g);
            if (spare < s.blocksPerGroup) blocks += s.blocksPerGroup - spare;
        }
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(blocks * s.sectorsPerBlock, 0xFFFFFFFFu));
}

std::uint32_t FirstAreaSectors(const ControllerState& s) {
    std::uint32_t total = TotalSectors(s);
    return s.secondAreaSectors > 0 && s.secondAreaSectors < total ? total - s.secondAreaSectors : 0;
}

std::uint32_t AreaCount(const ControllerState& s) { return FirstAreaSectors(s) ? 2 : 1; }

std::uint32_t AreaSectors(const ControllerState& s, std::uint32_t area) {
    std::uint32_t first = FirstAreaSectors(s);
    if (!first) return area == 0 ? TotalSectors(s) : 0;
    return area == 0 ? first : (area == 1 ? TotalSectors(s) - first : 0);
}

bool ConfigValid(const ControllerState& s) {
    const auto& b = s.config;
    if (b[126] != 0x3C || b[127] != 0xC3 || b[128] != 0x12 || b[129] != 0x03) return false;
    unsigned sum = 0;
    for (int i = 128; i <= 145; ++i) sum += b[i];
    return static_cast<std::uint8_t>(sum) == b[146];
}

Identity InquiryIdentity(const ControllerState& s) {
    if (ConfigValid(s)) return {"Norvalyn", "Flash Disk", "8.07"};
    return {"Generic", "Flash Disk", "7.76"};
}

std::string UsbSerial(const ControllerState& s) {
    if (!ConfigValid(s)) return s.factorySerial;
    std::string serial;
    for (int k = 0; k < 8; ++k) serial.push_back(static_cast<char>(s.config[130 + 2 * k]));
    return serial;
}

namespace {
// Bad blocks of zones [from, to): a dead zone counts all its 256 blocks.
std::uint32_t bad_in_zones(const Chip& chip, std::uint32_t from, std::uint32_t to) {
    std::uint32_t n = 0;
    for (std::uint32_t z = from; z < to; ++z) {
        if (chip.deadZones.count(static_cast<int>(z))) {
            n += 256;
            continue;
        }
        auto it = chip.badBlocks.find(static_cast<int>(z));
        if (it != chip.badBlocks.end()) n += static_cast<std::uint32_t>(it->second.size());
    }
    return n;
}
}  // namespace

std::uint32_t BadBlockCount(const Chip& chip, std::uint32_t zonesPerChip) { return bad_in_zones(chip, 0, zonesPerChip); }

std::uint32_t GroupBadCount(const Chip& chip, std::uint32_t group) { return bad_in_zones(chip, 4 * group, 4 * group + 4); }

std::array<std::uint8_t, 512> MakeConfigBlock(const ControllerState& s, const std::string& serial8) {
    std::array<std::uint8_t, 512> b{};
    for (int i = 0; i < 126; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + s.code);
    b[126] = 0x3C;
    b[127] = 0xC3;
    b[128] = 0x12;
    b[129] = 0x03;
    for (int k = 0; k < 8; ++k) b[130 + 2 * k] = static_cast<std::uint8_t>(k < static_cast<int>(serial8.size()) ? serial8[k] : 'A');
    unsigned sum = 0;
    for (int i = 128; i <= 145; ++i) sum += b[i];
    b[146] = static_cast<std::uint8_t>(sum);
    b[212] = 0x5A;
    b[213] = 'V';
    b[214] = 'X';
    b[215] = 'K';
    if (s.code == 0xAE) {
        // Maker 1, 8 Gbit packages, series 6: a part the program knows.
        std::uint8_t* d = &b[353];
        d[0] = 1;
        d[1] = 1;
        d[2] = 'O';
        d[3] = 6;
        d[13] = descriptor_check({d, 48});
    }
    return b;
}

// --- persistence -------------------------------------------------------------

std::string DriveDir(const std::string& worldDir, const std::string& usbName) {
    return (fs::path(worldDir) / "ravix" / usbName).string();
}

namespace {

nlohmann::json to_json(const ControllerState& s) {
    nlohmann::json j;
    j["format"] = 1;
    j["code"] = s.code;
    j["revision"] = s.revision;
    j["zoneGroups"] = s.zoneGroups;
    j["blocksPerGroup"] = s.blocksPerGroup;
    j["sectorsPerBlock"] = s.sectorsPerBlock;
    j["spares"] = s.spares;
    j["secondAreaSectors"] = s.secondAreaSectors;
    j["capacityOverride"] = s.capacityOverride;
    j["reservedSectors26"] = s.reservedSectors26;
    j["info17"] = s.info17;
    j["info30"] = s.info30;
    j["module"] = {s.module36, s.module41, s.module42, s.module44};
    j["config"] = hex(s.config);
    j["page2"] = hex(s.page2);
    j["page3"] = hex(s.page3);
    j["mode"] = s.mode;
    j["state"] = s.state;
    j["notReadyCount"] = s.notReadyCount;
    j["modeFixPending"] = s.modeFixPending;
    if (s.pendingSecondArea) j["pendingSecondArea"] = *s.pendingSecondArea;
    j["sparesPending"] = s.sparesPending;
    j["pendingSpares"] = s.pendingSpares;
    j["preset"] = s.preset;
    j["moduleHeader"] = hex(s.moduleHeader);
    j["moduleData"] = hex(s.moduleData);
    j["moduleCommitted"] = s.moduleCommitted;
    j["areaWindow"] = s.areaWindow;
    j["factorySerial"] = s.factorySerial;
    j["erasedBlocks"] = s.erasedBlocks;
    j["markedBlocks"] = s.markedBlocks;
    j["chips"] = nlohmann::json::array();
    for (const auto& c : s.chips) {
        nlohmann::json jc;
        jc["code"] = c.code;
        jc["id"] = c.id;
        jc["idEcho"] = c.idEcho;
        jc["deadZones"] = c.deadZones;
        nlohmann::json bad = nlohmann::json::object();
        for (const auto& [z, list] : c.badBlocks) bad[std::to_string(z)] = list;
        jc["badBlocks"] = bad;
        j["chips"].push_back(jc);
    }
    nlohmann::json f;
    if (s.faults.failOpcode) f["failOpcode"] = *s.faults.failOpcode;
    if (s.faults.checkOpcode) f["checkOpcode"] = *s.faults.checkOpcode;
    if (s.faults.failAfter) f["failAfter"] = *s.faults.failAfter;
    f["pulled"] = s.faults.pulled;
    j["faults"] = f;
    return j;
}

ControllerState from_json(const nlohmann::json& j) {
    ControllerState s;
    s.code = j.value("code", s.code);
    s.revision = j.value("revision", s.revision);
    s.zoneGroups = j.value("zoneGroups", s.zoneGroups);
    s.blocksPerGroup = j.value("blocksPerGroup", s.blocksPerGroup);
    s.sectorsPerBlock = j.value("sectorsPerBlock", s.sectorsPerBlock);
    s.spares = j.value("spares", std::vector<std::uint8_t>{});
    s.secondAreaSectors = j.value("secondAreaSectors", 0u);
    s.capacityOverride = j.value("capacityOverride", 0u);
    s.reservedSectors26 = j.value("reservedSectors26", 0u);
    s.info17 = j.value("info17", std::uint8_t{0});
    s.info30 = j.value("info30", std::uint8_t{0});
    if (j.contains("module")) {
        auto m = j["module"].get<std::vector<std::uint8_t>>();
        if (m.size() == 4) std::tie(s.module36, s.module41, s.module42, s.module44) = std::tie(m[0], m[1], m[2], m[3]);
    }
    unhex_into(j, "config", s.config);
    unhex_into(j, "page2", s.page2);
    unhex_into(j, "page3", s.page3);
    s.mode = j.value("mode", s.mode);
    s.state = j.value("state", s.state);
    s.notReadyCount = j.value("notReadyCount", 0u);
    s.modeFixPending = j.value("modeFixPending", false);
    if (j.contains("pendingSecondArea")) s.pendingSecondArea = j["pendingSecondArea"].get<std::uint32_t>();
    s.sparesPending = j.value("sparesPending", false);
    s.pendingSpares = j.value("pendingSpares", std::vector<std::uint8_t>{});
    s.preset = j.value("preset", std::uint8_t{0});
    s.moduleHeader = unhex(j.value("moduleHeader", std::string{}));
    s.moduleData = unhex(j.value("moduleData", std::string{}));
    s.moduleCommitted = j.value("moduleCommitted", false);
    s.areaWindow = j.value("areaWindow", std::uint8_t{0});
    s.factorySerial = j.value("factorySerial", s.factorySerial);
    s.erasedBlocks = j.value("erasedBlocks", std::uint64_t{0});
    s.markedBlocks = j.value("markedBlocks", std::uint64_t{0});
    s.chips.clear();
    for (const auto& jc : j.value("chips", nlohmann::json::array())) {
        Chip c;
        c.code = jc.value("code", c.code);
        c.id = jc.value("id", c.id);
        c.idEcho = jc.value("idEcho", true);
        c.deadZones = jc.value("deadZones", std::set<int>{});
        nlohmann::json bad = jc.value("badBlocks", nlohmann::json::object());
        for (const auto& [z, list] : bad.items()) c.badBlocks[std::stoi(z)] = list.get<std::vector<std::uint8_t>>();
        s.chips.push_back(c);
    }
    if (j.contains("faults")) {
        const auto& f = j["faults"];
        if (f.contains("failOpcode")) s.faults.failOpcode = f["failOpcode"].get<std::uint8_t>();
        if (f.contains("checkOpcode")) s.faults.checkOpcode = f["checkOpcode"].get<std::uint8_t>();
        if (f.contains("failAfter")) s.faults.failAfter = f["failAfter"].get<std::uint32_t>();
        s.faults.pulled = f.value("pulled", false);
    }
    return s;
}

}  // namespace

bool SaveState(const std::string& driveDir, const ControllerState& s) {
    std::error_code ec;
    fs::create_directories(driveDir, ec);
    fs::path tmp = fs::path(driveDir) / "controller.json.tmp";
    {
        std::ofstream out(tmp);
        if (!out) return false;
        out << to_json(s).dump(1) << '\n';
        if (!out) return false;
    }
    fs::rename(tmp, fs::path(driveDir) / "controller.json", ec);
    return !ec;
}

std::optional<ControllerState> LoadState(const std::string& driveDir) {
    std::ifstream in(fs::path(driveDir) / "controller.json");
    if (!in) return std::nullopt;
    auto j = nlohmann::json::parse(in, nullptr, false);
    if (j.is_discarded() || !j.is_object()) return std::nullopt;
    try {
        return from_json(j);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

namespace {
// Media images are as long as their areas (sparse), so that tools reading
// them as a disk see the whole medium.
void size_media(const std::string& driveDir, const ControllerState& s) {
    for (std::uint32_t area = 0; area < 2; ++area) {
        fs::path image = fs::path(driveDir) / ("lun" + std::to_string(area) + ".img");
        std::ofstream(image, std::ios::app).flush();
        std::error_code ec;
        fs::resize_file(image, static_cast<std::uintmax_t>(AreaSectors(s, area)) * kBlock, ec);
    }
}
}  // namespace

bool CreateDrive(const std::string& driveDir, const ControllerState& s) {
    std::error_code ec;
    fs::remove_all(driveDir, ec);
    fs::create_directories(driveDir, ec);
    if (ec) return false;
    size_media(driveDir, s);
    return SaveState(driveDir, s);
}

// --- the controller ----------------------------------------------------------

Controller::Controller(ControllerState& state, std::string driveDir) : s_(state), dir_(std::move(driveDir)) {}

Controller::~Controller() {
    for (auto& [a, fd] : fds_)
        if (fd >= 0) ::close(fd);
}

int Controller::area_fd(std::uint32_t area) {
    auto it = fds_.find(area);
    if (it != fds_.end()) return it->second;
    std::string path = (fs::path(dir_) / ("lun" + std::to_string(area) + ".img")).string();
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    fds_[area] = fd;
    return fd;
}

ScsiResult Controller::media(int lun, ScsiCommand& c, bool write) {
    if (s_.state != 0xC0 || s_.mode != 0x20) return CheckCondition(kNotReady, 0x04, 0x03);
    std::uint32_t lba, count;
    if (c.cdb[0] == 0xFA) {
        lba = bytes::be32(&c.cdb[2]);
        count = c.cdb[8];
    } else {
        lba = bytes::be32(&c.cdb[2]);
        count = bytes::be16(&c.cdb[7]);
    }
    std::uint32_t area = static_cast<std::uint32_t>(lun);
    if (lun == 0 && AreaCount(s_) == 2) area = s_.areaWindow;
    std::uint64_t end = static_cast<std::uint64_t>(lba) + count;
    if (end > AreaSectors(s_, area)) return CheckCondition(kIllegalRequest, 0x21);
    std::size_t length = static_cast<std::size_t>(count) * kBlock;
    if (c.data.size() < length) return CheckCondition(kIllegalRequest, 0x24);
    int fd = area_fd(area);
    if (fd < 0) return CheckCondition(kMediumError, 0x11);
    off_t offset = static_cast<off_t>(lba) * static_cast<off_t>(kBlock);
    if (write) {
        // Zeros over a hole are already there: a format clears gigabytes of
        // FAT and root directory that the sparse image need not store.
        bool zeros = std::all_of(c.data.begin(), c.data.begin() + static_cast<std::ptrdiff_t>(length),
                                 [](std::uint8_t b) { return b == 0; });
        if (zeros) {
            off_t data_at = ::lseek(fd, offset, SEEK_DATA);
            if ((data_at < 0 && errno == ENXIO) || data_at >= offset + static_cast<off_t>(length)) return good();
        }
        if (::pwrite(fd, c.data.data(), length, offset) != static_cast<ssize_t>(length))
            return CheckCondition(kMediumError, 0x0C);
        return good();
    }
    ssize_t got = ::pread(fd, c.data.data(), length, offset);
    if (got < 0) return CheckCondition(kMediumError, 0x11);
    // Past the end of the sparse file the medium reads as zeros.
    std::fill(c.data.begin() + got, c.data.begin() + static_cast<std::ptrdiff_t>(length), 0);
    return good();
}

void Controller::commit() {
    if (s_.modeFixPending) {
        s_.mode = 0x20;
        s_.modeFixPending = false;
    }
    if (s_.sparesPending) {
        s_.spares = s_.pendingSpares;
        s_.sparesPending = false;
        s_.capacityOverride = 0;
    }
    if (s_.pendingSecondArea) {
        s_.secondAreaSectors = *s_.pendingSecondArea;
        s_.pendingSecondArea.reset();
    }
    s_.areaWindow = 0;
    size_media(dir_, s_);
    dirty_ = true;
}

ScsiResult Controller::flash_sequence(ScsiCommand& c) {
    std::size_t chip = c.cdb[1];
    std::array<std::uint8_t, kBlock> r{};
    switch (c.cdb[2]) {
    case 0xF0:  // identification: flash command 90h, one address byte, 4 bytes back
        if (c.cdb[3] != 0x90) break;
        r.fill(0xFF);
        if (chip < s_.chips.size()) {
            const Chip& ch = s_.chips[chip];
            std::copy(ch.id.begin(), ch.id.end(), r.begin());
            if (ch.idEcho) {
                r[128] = ch.id[0];
                r[129] = ch.id[1];
            }
        }
        return reply(c, r);
    case 0xF7:  // preset chosen by the module check
        s_.preset = c.cdb[3];
        dirty_ = true;
        return good();
    case 0xE1:  // probe: the module signature once a header is stored
        if (s_.moduleHeader.empty()) {
            r.fill(0xFF);
        } else {
            r[0] = 0xF7;
            r[1] = 0x03;
        }
        return reply(c, r);
    case 0xE2:  // prepare
    case 0xE6:  // status after a module data write
        return reply(c, r);
    case 0xE3:  // write the header block
        if (c.direction != platform::DataDirection::Out) break;
        s_.moduleHeader.assign(c.data.begin(), c.data.end());
        dirty_ = true;
        return good();
    case 0xE4:  // read the header block back
        return reply(c, s_.moduleHeader);
    case 0xE5: {  // write module data at a sector offset
        if (c.direction != platform::DataDirection::Out) break;
        std::size_t at = static_cast<std::size_t>(bytes::be16(&c.cdb[3])) * kBlock;
        if (s_.moduleData.size() < at + c.data.size()) s_.moduleData.resize(at + c.data.size());
        std::copy(c.data.begin(), c.data.end(), s_.moduleData.begin() + static_cast<std::ptrdiff_t>(at));
        dirty_ = true;
        return good();
    }
    case 0xE7: {  // read module data from a sector offset
        std::size_t at = static_cast<std::size_t>(bytes::be16(&c.cdb[3])) * kBlock;
        std::fill(c.data.begin(), c.data.end(), 0);
        if (at < s_.moduleData.size())
            std::copy_n(s_.moduleData.begin() + static_cast<std::ptrdiff_t>(at),
                        std::min(c.data.size(), s_.moduleData.size() - at), c.data.begin());
        return good();
    }
    default: break;
    }
    return CheckCondition(kIllegalRequest, 0x24);
}

ScsiResult Controller::vendor(int lun, ScsiCommand& c) {
    (void)lun;
    const auto& cdb = c.cdb;
    std::array<std::uint8_t, kBlock> r{};
    bool out = c.direction == platform::DataDirection::Out;
    auto out_block = [&]() -> bool { return out && c.data.size() >= kBlock; };
    switch (cdb[0]) {
    case 0x73:
        if (s_.state == 0xA0) {
            s_.state = 0xC0;
            dirty_ = true;
        }
        return reply(c, r);
    case 0x74:
        if (!out_block()) break;
        if (s_.state == 0xB0 && std::equal(s_.page2.begin(), s_.page2.end(), c.data.begin())) {
            s_.state = 0xA0;
            dirty_ = true;
        }
        return good();
    case 0x75:
        r[126] = s_.mode;
        r[128] = s_.state;
        return reply(c, r);
    case 0x81:
        if (!out_block()) break;
        std::copy_n(c.data.begin(), kBlock, s_.config.begin());
        dirty_ = true;
        return good();
    case 0x82: return reply(c, s_.config);
    case 0x83: return reply(c, r);
    case 0x93: {
        std::size_t n = std::min<std::size_t>(s_.chips.size(), 16);
        for (std::size_t i = 0; i < n; ++i) r[i] = s_.chips[i].code;
        r[n] = 0xAA;
        r[17] = s_.zoneGroups;
        bytes::put_be16(&r[19], s_.blocksPerGroup);
        // Per-group spare entries in force, chip by chip, 16 at most; a
        // damaged capacity setting shows none.
        std::size_t i = 128;
        for (std::size_t ch = 0; ch < s_.chips.size() && i < 144; ++ch)
            for (std::size_t g = 0; g < s_.zoneGroups && i < 144; ++g, ++i)
                r[i] = s_.capacityOverride ? 0 : spare_entry(s_, ch, g);
        return reply(c, r);
    }
    case 0x95: {
        std::size_t chip = cdb[1], zone = cdb[2];
        if (chip >= s_.chips.size() || zone >= 4u * s_.zoneGroups) return CheckCondition(kIllegalRequest, 0x24);
        const Chip& ch = s_.chips[chip];
        if (ch.deadZones.count(static_cast<int>(zone))) {
            r.fill(0xFF);
            return reply(c, r);
        }
        r.fill(0xFF);
        r[0] = 0x00;
        std::size_t at = 1;
        auto it = ch.badBlocks.find(static_cast<int>(zone));
        if (it != ch.badBlocks.end()) {
            std::vector<std::uint8_t> list = it->second;
            std::sort(list.begin(), list.end());
            list.erase(std::unique(list.begin(), list.end()), list.end());
            for (auto b : list) r[at++] = b;
        }
        r[at] = 0xAA;
        r[at + 1] = 0x55;
        return reply(c, r);
    }
    case 0x96:
        commit();
        return reply(c, r);
    case 0x98: {
        std::size_t chip = cdb[1];
        if (chip >= s_.chips.size() || cdb[2] >= 4u * s_.zoneGroups) return CheckCondition(kIllegalRequest, 0x24);
        // Only counted: saved with the next real change or when the unit
        // closes, so an erase of every block does not rewrite the state
        // file thousands of times.
        if (cdb[4] == 0x15)
            ++s_.markedBlocks;
        else
            ++s_.erasedBlocks;
        counted_ = true;
        return reply(c, r);
    }
    case 0x99: {
        if (!out_block()) break;
        bool fixed_form = true;
        for (std::size_t i = 0; i < 20; ++i) fixed_form = fixed_form && c.data[i] == 0;
        if (c.data[20] == 0x01 && !fixed_form) s_.pendingSecondArea = bytes::le32(&c.data[6]);
        dirty_ = true;
        return good();
    }
    case 0x9A: {
        bytes::put_be32(&r[0], TotalSectors(s_));
        r[4] = s_.code;
        r[5] = s_.revision;
        bytes::put_le32(&r[7], FirstAreaSectors(s_));
        bytes::put_le32(&r[12], FirstAreaSectors(s_) ? s_.secondAreaSectors : 0);
        r[17] = s_.info17;
        bytes::put_le32(&r[26], s_.reservedSectors26);
        r[30] = s_.info30;
        r[36] = s_.module36;
        r[41] = s_.module41;
        r[42] = s_.module42;
        r[44] = s_.module44;
        return reply(c, r);
    }
    case 0x9B:
        if (!out_block()) break;
        if (s_.mode == 0x40 && std::all_of(c.data.begin(), c.data.begin() + kBlock, [](auto v) { return v == 0; })) {
            s_.modeFixPending = true;
            dirty_ = true;
        }
        return good();
    case 0x9C:
        if (cdb[1] == 0x09) {
            if (cdb[4] == 1) return reply(c, s_.config);
            if (cdb[4] == 2) return reply(c, s_.page2);
            if (cdb[4] == 3) return reply(c, s_.page3);
            break;
        }
        return reply(c, r);
    case 0xD0: return flash_sequence(c);
    case 0xD2:
        if (!s_.moduleHeader.empty() && !s_.moduleData.empty()) {
            s_.moduleCommitted = true;
            s_.module44 = 1;
            dirty_ = true;
        }
        return good();
    case 0xD3: return good();
    case 0xF5: {
        if (!out_block()) break;
        s_.pendingSpares.assign(s_.chips.size() * 16, 0);
        // The table has rows for 24 chips; chips beyond get no spares.
        for (std::size_t ch = 0; ch < s_.chips.size() && 128 + 16 * (ch + 1) <= kBlock; ++ch)
            for (std::size_t g = 0; g < 16; ++g) s_.pendingSpares[ch * 16 + g] = c.data[128 + 16 * ch + g];
        s_.sparesPending = true;
        dirty_ = true;
        return good();
    }
    case 0xF8: return reply(c, r);
    case 0xFA:
        if (cdb[1] == 0x81) {
            s_.areaWindow = 0;
            dirty_ = true;
        } else if (cdb[1] == 0x80 && cdb[3] == 0x10) {
            s_.areaWindow = 1;
            dirty_ = true;
        }
        return reply(c, r);
    default:
        // As a real device answers an opcode it does not know.
        return CheckCondition(kIllegalRequest, 0x20);
    }
    return CheckCondition(kIllegalRequest, 0x24);
}

ScsiResult Controller::Execute(int lun, ScsiCommand& c) {
    if (lun < 0 || static_cast<std::uint32_t>(lun) >= AreaCount(s_)) return CheckCondition(kIllegalRequest, 0x25);
    switch (c.cdb[0]) {
    case 0x00:
        if (s_.notReadyCount > 0) {
            --s_.notReadyCount;
            dirty_ = true;
            return CheckCondition(kNotReady, 0x04, 0x01);
        }
        return good();
    case 0x12: {
        Identity id = InquiryIdentity(s_);
        std::array<std::uint8_t, 36> q{};
        q[1] = 0x80;  // removable
        q[2] = 0x02;
        q[3] = 0x02;
        q[4] = 31;
        auto put = [&](std::size_t at, std::size_t width, const std::string& text) {
            for (std::size_t i = 0; i < width; ++i) q[at + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
        };
        put(8, 8, id.vendor);
        put(16, 16, id.product);
        put(32, 4, id.rev);
        return reply(c, q);
    }
    case 0x25: {
        std::uint32_t area = static_cast<std::uint32_t>(lun);
        if (lun == 0 && AreaCount(s_) == 2) area = s_.areaWindow;
        std::array<std::uint8_t, 8> cap{};
        bytes::put_be32(&cap[0], AreaSectors(s_, area) - 1);
        bytes::put_be32(&cap[4], kBlock);
        return reply(c, cap);
    }
    case 0x28: return media(lun, c, false);
    case 0x2A:
        if (c.direction != platform::DataDirection::Out) return CheckCondition(kIllegalRequest, 0x24);
        return media(lun, c, true);
    case 0xFA:
        if (c.cdb[1] == 0x2A && c.cdbLength == 16) {
            if (c.direction != platform::DataDirection::Out) return CheckCondition(kIllegalRequest, 0x24);
            return media(lun, c, true);
        }
        return vendor(lun, c);
    default: return vendor(lun, c);
    }
}

// --- faults ------------------------------------------------------------------

namespace {

class Decorator : public Unit {
public:
    explicit Decorator(std::unique_ptr<Unit> next) : next_(std::move(next)) {}

protected:
    std::unique_ptr<Unit> next_;
};

class Forward final : public Unit {
public:
    explicit Forward(Unit& inner) : inner_(inner) {}
    ScsiResult Execute(int lun, ScsiCommand& c) override { return inner_.Execute(lun, c); }

private:
    Unit& inner_;
};

class Pulled final : public Decorator {
public:
    using Decorator::Decorator;
    ScsiResult Execute(int, ScsiCommand&) override { return {}; }
};

class FailOpcode final : public Decorator {
public:
    FailOpcode(std::unique_ptr<Unit> next, std::uint8_t op) : Decorator(std::move(next)), op_(op) {}
    ScsiResult Execute(int lun, ScsiCommand& c) override {
        if (c.cdb[0] == op_) return {};
        return next_->Execute(lun, c);
    }

private:
    std::uint8_t op_;
};

class CheckOpcode final : public Decorator {
public:
    CheckOpcode(std::unique_ptr<Unit> next, std::uint8_t op) : Decorator(std::move(next)), op_(op) {}
    ScsiResult Execute(int lun, ScsiCommand& c) override {
        if (c.cdb[0] == op_) return CheckCondition(kMediumError, 0x11);
        return next_->Execute(lun, c);
    }

private:
    std::uint8_t op_;
};

class FailAfter final : public Decorator {
public:
    FailAfter(std::unique_ptr<Unit> next, std::uint32_t& left, bool& changed)
        : Decorator(std::move(next)), left_(left), changed_(changed) {}
    ScsiResult Execute(int lun, ScsiCommand& c) override {
        if (left_ == 0) return {};
        --left_;
        changed_ = true;
        return next_->Execute(lun, c);
    }

private:
    std::uint32_t& left_;
    bool& changed_;
};

}  // namespace

std::unique_ptr<Unit> WithFaults(Unit& inner, Faults& faults, bool& faultsChanged) {
    std::unique_ptr<Unit> u = std::make_unique<Forward>(inner);
    if (faults.checkOpcode) u = std::make_unique<CheckOpcode>(std::move(u), *faults.checkOpcode);
    if (faults.failOpcode) u = std::make_unique<FailOpcode>(std::move(u), *faults.failOpcode);
    if (faults.failAfter) u = std::make_unique<FailAfter>(std::move(u), *faults.failAfter, faultsChanged);
    if (faults.pulled) u = std::make_unique<Pulled>(std::move(u));
    return u;
}

}  // namespace nv::sim::ravix

namespace nv::sim {

namespace {
// What tells a state file written by another process from the one loaded:
// every save renames a new file into place, so the inode changes along with
// the time (whose granularity is coarse) and usually the size.
struct Stamp {
    struct timespec mtime {};
    ino_t inode = 0;
    off_t size = 0;
};
bool state_stamp(const std::string& dir, Stamp& out) {
    struct stat st;
    if (::stat((dir + "/controller.json").c_str(), &st) != 0) return false;
    out = {st.st_mtim, st.st_ino, st.st_size};
    return true;
}
bool same_stamp(const Stamp& a, const Stamp& b) {
    return a.mtime.tv_sec == b.mtime.tv_sec && a.mtime.tv_nsec == b.mtime.tv_nsec && a.inode == b.inode &&
           a.size == b.size;
}
}  // namespace

struct SimExecutor::Drive {
    std::string dir;
    ravix::ControllerState state;
    std::unique_ptr<ravix::Controller> controller;
    Stamp stamp;
};

SimExecutor::SimExecutor(std::string worldDir) : world_(std::move(worldDir)) {}
SimExecutor::~SimExecutor() = default;

SimExecutor::Drive* SimExecutor::drive_for(const std::string& usbName) {
    std::string dir = ravix::DriveDir(world_, usbName);
    Stamp now;
    if (!state_stamp(dir, now)) {
        drives_.erase(usbName);
        return nullptr;
    }
    auto it = drives_.find(usbName);
    if (it != drives_.end() && same_stamp(it->second->stamp, now)) return it->second.get();
    // First use, or another process changed the drive: load it afresh.
    auto state = ravix::LoadState(dir);
    if (!state) return nullptr;
    auto d = std::make_unique<Drive>();
    d->dir = dir;
    d->state = std::move(*state);
    d->controller = std::make_unique<ravix::Controller>(d->state, dir);
    d->stamp = now;
    Drive* raw = d.get();
    drives_[usbName] = std::move(d);
    return raw;
}

bool SimExecutor::Open(platform::OpenedUnit& unit) {
    Drive* d = drive_for(unit.usbName);
    return d && !d->state.faults.pulled;
}

void SimExecutor::Close(platform::OpenedUnit& unit) {
    auto it = drives_.find(unit.usbName);
    if (it == drives_.end() || !it->second->controller->Counted()) return;
    // Only when nobody else changed the drive meanwhile.
    Stamp now;
    if (state_stamp(it->second->dir, now) && same_stamp(now, it->second->stamp)) {
        ravix::SaveState(it->second->dir, it->second->state);
        state_stamp(it->second->dir, it->second->stamp);
    }
    it->second->controller->ClearDirty();
}

platform::ScsiResult SimExecutor::Execute(platform::OpenedUnit& unit, platform::ScsiCommand& command) {
    Drive* d = drive_for(unit.usbName);
    if (!d) return {};
    bool faultsChanged = false;
    platform::ScsiResult r;
    if (d->state.faults.Any()) {
        auto chain = ravix::WithFaults(*d->controller, d->state.faults, faultsChanged);
        r = chain->Execute(unit.lun, command);
    } else {
        r = d->controller->Execute(unit.lun, command);
    }
    if (d->controller->Dirty() || faultsChanged) {
        ravix::SaveState(d->dir, d->state);
        d->controller->ClearDirty();
        state_stamp(d->dir, d->stamp);
    }
    return r;
}

}  // namespace nv::sim
