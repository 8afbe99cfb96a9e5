// A ScsiPort that records what the transport hands it and answers as told.
#pragma once

#include "platform/clock.h"
#include "platform/scsi.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace nv::test {

class FlagEvent final : public platform::CompletionEvent {
public:
    void Set() override { set = true; }
    void Reset() override { set = false; }
    bool IsSet() override { return set || (setAt && clock && clock->TickMs() >= setAt); }
    bool set = false;
    std::uint64_t setAt = 0;  // completes once the clock reaches this tick
    platform::Clock* clock = nullptr;
};

class RecordingPort final : public platform::ScsiPort {
public:
    struct Sent {
        std::vector<std::uint8_t> record;  // the block or the SRB as handed over
        std::size_t dataSize = 0;
        std::uint32_t handle = 0;
    };
    std::vector<Sent> sent;
    bool passThroughResult = true;
    std::uint8_t scsiStatus = 0;
    bool aspiAvailable = true;
    int aspiLoads = 0;
    // ASPI answers: return value of the send and the SRB_Status it leaves.
    std::uint8_t aspiReturn = platform::kSsPending;
    std::uint8_t aspiStatus = platform::kSsComp;
    // When set, a pending command completes only at this clock tick.
    std::uint64_t completeAtMs = 0;
    bool neverComplete = false;
    platform::Clock* clock = nullptr;

    bool PassThroughDirect(std::uint32_t handle, std::span<std::uint8_t, 80> block,
                           std::span<std::uint8_t> data) override {
        sent.push_back({{block.begin(), block.end()}, data.size(), handle});
        block[2] = scsiStatus;
        return passThroughResult;
    }
    bool LoadAspi() override {
        ++aspiLoads;
        return aspiAvailable;
    }
    void FreeAspi() override {}
    std::uint32_t GetAspiSupportInfo() override { return 0x0101; }
    std::uint8_t SendAspiCommand(std::span<std::uint8_t> srb, std::span<std::uint8_t> data,
                                 platform::CompletionEvent* event) override {
        sent.push_back({{srb.begin(), srb.end()}, data.size(), 0});
        srb[1] = aspiReturn == platform::kSsPending ? aspiStatus : aspiReturn;
        auto* e = static_cast<FlagEvent*>(event);
        if (aspiReturn == platform::kSsPending && !neverComplete) {
            if (completeAtMs) {
                e->setAt = completeAtMs;
                e->clock = clock;
            } else {
                e->Set();
            }
        }
        if (neverComplete) srb[1] = platform::kSsPending;
        return aspiReturn;
    }
    std::unique_ptr<platform::CompletionEvent> CreateCompletionEvent() override {
        return std::make_unique<FlagEvent>();
    }
    std::uint32_t OpenUnit(const std::string&) override { return 0x100; }
    void CloseHandle(std::uint32_t) override {}
};

}  // namespace nv::test
