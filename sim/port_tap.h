// A ScsiPort decorator that hands every pass-through command to a listener
// after the port below has run it: tests keep a log of what went out, the
// benchmarks count the bytes written.
#pragma once

#include "platform/scsi.h"

#include <functional>
#include <memory>

namespace nv::sim {

struct TappedCommand {
    std::uint32_t handle = 0;
    std::array<std::uint8_t, 16> cdb{};
    std::uint8_t cdbLength = 0;
    std::size_t length = 0;  // bytes moved
    bool ok = false;
};

class PortTap final : public platform::ScsiPort {
public:
    using Listener = std::function<void(const TappedCommand&)>;
    PortTap(std::unique_ptr<platform::ScsiPort> inner, Listener listener)
        : inner_(std::move(inner)), listener_(std::move(listener)) {}

    bool PassThroughDirect(std::uint32_t handle, std::span<std::uint8_t, 80> block,
                           std::span<std::uint8_t> data) override;
    bool LoadAspi() override { return inner_->LoadAspi(); }
    void FreeAspi() override { inner_->FreeAspi(); }
    std::uint32_t GetAspiSupportInfo() override { return inner_->GetAspiSupportInfo(); }
    std::uint8_t SendAspiCommand(std::span<std::uint8_t> srb, std::span<std::uint8_t> data,
                                 platform::CompletionEvent* event) override {
        return inner_->SendAspiCommand(srb, data, event);
    }
    std::unique_ptr<platform::CompletionEvent> CreateCompletionEvent() override {
        return inner_->CreateCompletionEvent();
    }
    std::uint32_t OpenUnit(const std::string& path) override { return inner_->OpenUnit(path); }
    void CloseHandle(std::uint32_t handle) override { inner_->CloseHandle(handle); }

private:
    std::unique_ptr<platform::ScsiPort> inner_;
    Listener listener_;
};

}  // namespace nv::sim
